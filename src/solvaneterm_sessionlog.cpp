// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "sessionlog/sessionlogwriter.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace {

void stopWriter(QPointer<SessionLogWriter> &writer)
{
    if (!writer)
        return;
    // It syncs and closes on its own thread; the window goes on meanwhile.
    QObject::connect(writer, &SessionLogWriter::stopped, writer, &QObject::deleteLater);
    writer->stop();
    writer.clear();
}

QString describeWriter(const SessionLogWriter *writer)
{
    return QFileInfo(writer->fileName()).fileName() + QLatin1Char(' ')
        + QLocale().formattedDataSize(writer->size());
}

} // namespace

bool SolvaneTerm::startSessionLog(const QString &path, bool replace)
{
    stopWriter(fileLog);
    // A writer still closing on the same file would add its last bytes after the new writer's
    // first, or after a replaced file's new start.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (SessionLogWriter *closing : findChildren<SessionLogWriter *>()) {
        if (!canonical.isEmpty() && QFileInfo(closing->fileName()).canonicalFilePath() == canonical)
            closing->finish();
    }
    sessionLogProblem.clear();
    auto writer = std::make_unique<SessionLogWriter>();
    if (!writer->open(
            path, replace ? SessionLogWriter::Mode::Replace : SessionLogWriter::Mode::Append)) {
        ui.actionSession_Log->setChecked(false);
        reportSessionLogProblem(
            tr("The session log cannot be opened"), path, writer->errorString());
        return false;
    }
    adoptSessionLog(std::move(writer), fileLog, ui.actionSession_Log);
    ui.actionSession_Log->setChecked(true);
    return true;
}

void SolvaneTerm::chooseSessionLog(bool on)
{
    if (!on) {
        stopWriter(fileLog);
        showSessionLogState();
        return;
    }
    // Checked again once a file is logging.
    ui.actionSession_Log->setChecked(false);
    const QString path = QFileDialog::getSaveFileName(this, tr("Session Log"), QString(),
        tr("log Files (*.log);;All Files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;

    bool replace = false;
    if (QFileInfo::exists(path)) {
        QMessageBox question(QMessageBox::Question, tr("Session Log"),
            tr("%1 exists already. Add to its end, or replace what it holds?").arg(path),
            QMessageBox::NoButton, this);
        QPushButton *append = question.addButton(tr("Append"), QMessageBox::AcceptRole);
        QPushButton *replacing = question.addButton(tr("Replace"), QMessageBox::DestructiveRole);
        question.addButton(QMessageBox::Cancel);
        question.setDefaultButton(append);
        question.exec();
        if (question.clickedButton() != append && question.clickedButton() != replacing)
            return;
        replace = question.clickedButton() == replacing;
    }
    startSessionLog(path, replace);
}

void SolvaneTerm::chooseSessionLogFolder(bool on)
{
    if (!on) {
        sessionLogFolder.clear();
        stopWriter(folderLog);
        showSessionLogState();
        return;
    }
    ui.actionSession_Log_Folder->setChecked(false);
    const QString folder
        = QFileDialog::getExistingDirectory(this, tr("Session Log Folder"), sessionLogFolder);
    if (folder.isEmpty())
        return;
    sessionLogFolder = folder;
    sessionLogProblem.clear();
    ui.actionSession_Log_Folder->setChecked(true);
    // The connection that is open now gets its file from here on.
    if (serialPort)
        startFolderLog();
}

void SolvaneTerm::startFolderLog()
{
    stopWriter(folderLog);
    if (sessionLogFolder.isEmpty())
        return;
    auto writer = std::make_unique<SessionLogWriter>();
    if (!writer->openNewIn(sessionLogFolder, QDateTime::currentDateTime())) {
        const QString folder = sessionLogFolder;
        sessionLogFolder.clear();
        ui.actionSession_Log_Folder->setChecked(false);
        reportSessionLogProblem(
            tr("No session log can be made in the folder"), folder, writer->errorString());
        return;
    }
    adoptSessionLog(std::move(writer), folderLog, ui.actionSession_Log_Folder);
}

void SolvaneTerm::stopFolderLog()
{
    stopWriter(folderLog);
    showSessionLogState();
}

void SolvaneTerm::adoptSessionLog(
    std::unique_ptr<SessionLogWriter> opened, QPointer<SessionLogWriter> &slot, QAction *action)
{
    SessionLogWriter *writer = opened.release();
    writer->setParent(this);
    slot = writer;
    connect(writer, &SessionLogWriter::failed, this, [this, writer, action](const QString &reason) {
        const QString path = writer->fileName();
        // A writer the user has already stopped leaves the entry to the log that followed it.
        if (writer == folderLog) {
            sessionLogFolder.clear();
            folderLog.clear();
            action->setChecked(false);
        } else if (writer == fileLog) {
            fileLog.clear();
            action->setChecked(false);
        }
        connect(writer, &SessionLogWriter::stopped, writer, &QObject::deleteLater);
        writer->stop();
        reportSessionLogProblem(tr("The session log stopped"), path, reason);
    });
    if (!sessionLogClock) {
        sessionLogClock = new QTimer(this);
        connect(sessionLogClock, &QTimer::timeout, this, &SolvaneTerm::showSessionLogState);
    }
    sessionLogClock->start(1000);
    showSessionLogState();
}

void SolvaneTerm::logReceived(const QByteArray &block)
{
    if (block.isEmpty())
        return;
    if (fileLog)
        fileLog->append(block);
    if (folderLog)
        folderLog->append(block);
}

void SolvaneTerm::showSessionLogState()
{
    QStringList logs;
    if (fileLog)
        logs.append(describeWriter(fileLog));
    if (folderLog)
        logs.append(describeWriter(folderLog));
    if (logs.isEmpty() && sessionLogClock)
        sessionLogClock->stop();
    // A failure stays in view until the user starts a log again.
    QStringList shown;
    if (!sessionLogProblem.isEmpty())
        shown.append(sessionLogProblem);
    if (!logs.isEmpty())
        shown.append(tr("Logging: %1").arg(logs.join(QLatin1String(", "))));
    if (shown.isEmpty()) {
        if (sessionLogStatus)
            sessionLogStatus->hide();
        return;
    }
    permanentLabel(sessionLogStatus, QStringLiteral("sessionLogStatus"))
        ->setText(shown.join(QStringLiteral(" \u2014 ")));
    permanentLabel(sessionLogStatus, QStringLiteral("sessionLogStatus"))->show();
}

void SolvaneTerm::reportSessionLogProblem(
    const QString &what, const QString &where, const QString &why)
{
    // Beside the device state, which stays where it is.
    sessionLogProblem = QStringLiteral("%1: %2 [%3]").arg(what, why, where);
    showSessionLogState();
    showProblemSoon(tr("Session Log"), QStringLiteral("%1: %2\n%3").arg(what, why, where));
}
