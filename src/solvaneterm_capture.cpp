#include "solvaneterm.h"

#include "dovikview.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

void SolvaneTerm::saveCapture()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save Capture File"), tr(""), tr("html Files (*.html);;log Files (*.log)"));
    if (fileName.isEmpty())
        return;

    const QString text
        = fileName.contains(QLatin1String(".html")) ? termView->toHtml() : termView->toPlainText();

    // Written beside the target and renamed over it only when complete, so a failed write never
    // leaves a truncated capture nor destroys the file being replaced.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(window(), tr("save capture file Error!"), tr("Can't Open File"),
            QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    const QByteArray bytes = text.toLatin1();
    // A short capture sits in the file's buffer until flushed; a failure there must be seen
    // before the commit renames the partial file over the old one.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        file.cancelWriting();
        QMessageBox::critical(window(), tr("save capture file Error!"), tr("Can't Write File"),
            QMessageBox::Ok, QMessageBox::NoButton);
    }
}

void SolvaneTerm::about()
{
    QMessageBox::about(
        this, QStringLiteral("About "), tr("<p>") + windtitle + tr("</p><p>by Ostrel</p>"));
}
