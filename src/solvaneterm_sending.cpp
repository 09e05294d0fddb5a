// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "device/serialport_.h"
#include "transmit/transmitqueue.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

namespace {

// Progress is worth a place in the status bar only for a send the user waits for.
constexpr qint64 worthShowingMs = 1000;
constexpr int progressEveryMs = 250;
constexpr int noteShownMs = 5000;

QString timeLeft(qint64 ms)
{
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds < 60)
        return SolvaneTerm::tr("%1 s left").arg(seconds);
    if (seconds < 3600)
        return SolvaneTerm::tr("%1 min %2 s left").arg(seconds / 60).arg(seconds % 60);
    return SolvaneTerm::tr("%1 h %2 min left").arg(seconds / 3600).arg(seconds / 60 % 60);
}

QString whatIsSent(const TransmitQueue::Progress &progress)
{
    switch (progress.kind) {
    case TransmitQueue::Kind::Typed:
        return SolvaneTerm::tr("typed text");
    case TransmitQueue::Kind::Paste:
        return SolvaneTerm::tr("paste");
    case TransmitQueue::Kind::FunctionKey:
        return SolvaneTerm::tr("function key");
    case TransmitQueue::Kind::File:
        return QFileInfo(progress.path).fileName();
    }
    return QString();
}

} // namespace

void SolvaneTerm::setUpTransmitQueue()
{
    transmitQueue = new TransmitQueue(this);
    // The port is looked up at every write: the device may have gone, or come back, meanwhile.
    transmitQueue->setPort(
        [this](const QByteArray &bytes) { return serialPort && serialPort->writeData(bytes); },
        [this] { return serialPort ? serialPort->bytesToWrite() : qint64(0); });
    transmitQueue->setPauses([this] { return delay; }, [this] { return linePause; });
    connect(transmitQueue, &TransmitQueue::busyChanged, this, &SolvaneTerm::showSendingState);
    connect(transmitQueue, &TransmitQueue::writeFailed, this, [this](TransmitQueue::Kind kind) {
        statusMsg(tr("Can't write through the serial port."));
        if (kind == TransmitQueue::Kind::FunctionKey)
            qDebug("Can't write through the serial port.");
    });
    connect(transmitQueue, &TransmitQueue::fileFailed, this, &SolvaneTerm::reportSendFileProblem);
    connect(ui.actionSend_File, &QAction::triggered, this, &SolvaneTerm::chooseFileToSend);
    connect(ui.actionStop_Sending, &QAction::triggered, this, &SolvaneTerm::stopSending);
    sendingClock = new QTimer(this);
    connect(sendingClock, &QTimer::timeout, this, &SolvaneTerm::showSendingState);
}

bool SolvaneTerm::sendFile(const QString &path)
{
    QString error;
    if (transmitQueue->sendFile(path, &error))
        return true;
    QMessageBox::critical(this, tr("Send File"), tr("Can't send %1: %2").arg(path, error),
        QMessageBox::Ok, QMessageBox::NoButton);
    return false;
}

void SolvaneTerm::chooseFileToSend()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Send File"));
    if (!path.isEmpty())
        sendFile(path);
}

void SolvaneTerm::stopSending()
{
    if (!transmitQueue->isBusy())
        return;
    const TransmitQueue::Progress progress = transmitQueue->progress();
    transmitQueue->stop();
    showSendingNote(tr("Stopped sending %1 after %2 of %3 bytes")
                        .arg(whatIsSent(progress), QLocale().toString(progress.sent),
                            QLocale().toString(progress.total)));
}

void SolvaneTerm::showSendingState()
{
    const bool busy = transmitQueue->isBusy();
    ui.actionStop_Sending->setEnabled(busy);
    if (!busy) {
        sendingClock->stop();
        if (sendingNote.isEmpty() && sendingStatus)
            sendingStatus->hide();
        return;
    }
    if (!sendingClock->isActive())
        sendingClock->start(progressEveryMs);

    const TransmitQueue::Progress progress = transmitQueue->progress();
    if (progress.msLeft <= worthShowingMs && progress.elapsedMs < worthShowingMs) {
        if (sendingNote.isEmpty() && sendingStatus)
            sendingStatus->hide();
        return;
    }
    QString text = tr("Sending %1: %2 of %3 bytes")
                       .arg(whatIsSent(progress), QLocale().toString(progress.sent),
                           QLocale().toString(progress.total));
    if (progress.msLeft >= 0)
        text += QStringLiteral(", ") + timeLeft(progress.msLeft);
    if (progress.waiting > 0)
        text += tr(" (%n more waiting)", nullptr, progress.waiting);
    sendingNote.clear();
    permanentLabel(sendingStatus, QStringLiteral("transmitStatus"))->setText(text);
    permanentLabel(sendingStatus, QStringLiteral("transmitStatus"))->show();
}

void SolvaneTerm::showSendingNote(const QString &note)
{
    sendingNote = note;
    permanentLabel(sendingStatus, QStringLiteral("transmitStatus"))->setText(note);
    permanentLabel(sendingStatus, QStringLiteral("transmitStatus"))->show();
    QTimer::singleShot(noteShownMs, this, [this, note] {
        if (sendingNote != note)
            return;
        sendingNote.clear();
        showSendingState();
    });
}

void SolvaneTerm::reportSendFileProblem(
    const QString &path, const QString &reason, qint64 sent, qint64 total)
{
    const QString text
        = tr("Sending %1 stopped after %2 of %3 bytes: %4")
              .arg(path, QLocale().toString(sent), QLocale().toString(total), reason);
    showSendingNote(text);
    showProblemSoon(tr("Send File"), text);
}
