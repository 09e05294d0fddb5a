// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "captureencoding.h"
#include "capturefile.h"
#include "view/dovikview.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTextDocument>

#include <memory>

void SolvaneTerm::saveCapture()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save Capture File"), tr(""), tr("html Files (*.html);;log Files (*.log)"));
    if (fileName.isEmpty())
        return;

    // Plain text goes out in UTF-8, the encoding the device's bytes were decoded from.
    const std::unique_ptr<QTextDocument> stamped = termView->shownDocument();
    const QTextDocument *shown = stamped ? stamped.get() : termView->document();
    const QByteArray bytes = fileName.contains(QLatin1String(".html"))
        ? htmlCaptureBytes(shown->toHtml())
        : shown->toPlainText().toUtf8();

    switch (writeCaptureFile(fileName, bytes)) {
    case CaptureFileResult::Written:
        break;
    case CaptureFileResult::NotOpened:
        QMessageBox::critical(window(), tr("save capture file Error!"), tr("Can't Open File"),
            QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case CaptureFileResult::NotWritten:
        QMessageBox::critical(window(), tr("save capture file Error!"), tr("Can't Write File"),
            QMessageBox::Ok, QMessageBox::NoButton);
        break;
    }
}

void SolvaneTerm::about()
{
    QMessageBox::about(
        this, QStringLiteral("About "), tr("<p>") + windtitle + tr("</p><p>by Ostrel</p>"));
}
