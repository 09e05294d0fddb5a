// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptydevice.h"

#include "deadlinetimer.h"

#include <QRandomGenerator>

namespace {

constexpr int floodIntervalMs = 10;
// Enough to keep the program busy between two flood ticks without piling up data that a slow
// reader could never catch up with.
constexpr int floodBacklog = 64 * 1024;
// How soon a scheduled flood that found its backlog full looks again.
constexpr qint64 backlogRetryNs = 5 * 1000 * 1000;

} // namespace

PtyDevice::PtyDevice(const QString &name, int number, int vendorId, int productId, QObject *parent)
    : QObject(parent)
    , deviceName(name)
    , number(number)
    , vendor(vendorId)
    , product(productId)
    , pty(new PseudoTerminal(this))
{
    connect(pty, &PseudoTerminal::portOpened, this, &PtyDevice::greet);
    connect(pty, &PseudoTerminal::received, this, &PtyDevice::echoBack);
    // Before the queue is dropped, so that a flood cut short still counts what never went out.
    connect(pty, &PseudoTerminal::portClosed, this, &PtyDevice::stopFlood);
    connect(pty, &PseudoTerminal::portClosed, this, &PtyDevice::portClosed);
    connect(pty, &PseudoTerminal::queueEmptied, this, &PtyDevice::floodWritten);
    floodTimer.setInterval(floodIntervalMs);
    connect(&floodTimer, &QTimer::timeout, this, &PtyDevice::floodTick);
    floodPacer = new DeadlineTimer(this);
    connect(floodPacer, &DeadlineTimer::timeout, this, &PtyDevice::floodOnSchedule);
}

PtyDevice::~PtyDevice()
{
    unplug();
}

bool PtyDevice::plug(QString *error)
{
    return pty->plug(error);
}

void PtyDevice::unplug()
{
    // The flood counts what is still queued as unsent, so it stops before the queue goes.
    stopFlood();
    pty->unplug();
}

void PtyDevice::send(const QByteArray &bytes)
{
    if (pty->isPortOpen())
        pty->write(bytes);
}

void PtyDevice::flood(
    qint64 bytes, qint64 bytesPerSecond, FloodKind kind, int writeSize, const QByteArray &endText)
{
    stopFlood();
    floodRemaining = bytes;
    floodTotal = bytes;
    floodRate = bytesPerSecond;
    floodKind = kind;
    floodWriteSize = qMax(writeSize, 0);
    floodEnd = endText.isEmpty() ? QByteArray() : endText + "\r\n";
    floodStarted = false;
    floodLine = 0;
    floodLineRest.clear();
    if (bytes > 0) {
        flooding = true;
        pty->setWriteLimit(floodWriteSize);
        floodTimer.start();
    }
}

void PtyDevice::greet()
{
    emit portOpened();
    send(QStringLiteral("Solvane simulated device %1 ready\r\n").arg(number).toLatin1());
}

void PtyDevice::echoBack(const QByteArray &bytes)
{
    if (echo)
        send(bytes);
}

void PtyDevice::floodWritten()
{
    if (flooding && floodRemaining == 0)
        stopFlood();
}

void PtyDevice::floodTick()
{
    if (!pty->isPortOpen())
        return;
    if (!floodStarted) {
        floodStarted = true;
        floodClock.start();
        floodStartNs = DeadlineTimer::now();
        emit floodBegan();
        if (floodRate > 0 && floodWriteSize > 0) {
            floodTimer.stop();
            floodOnSchedule();
            return;
        }
    }
    const qint64 sent = floodTotal - floodRemaining;
    qint64 due = floodRemaining;
    if (floodRate > 0)
        due = qMin(due, floodRate * floodClock.elapsed() / 1000 - sent);
    due = qMin(due, qint64(floodBacklog - pty->queuedBytes()));
    if (due > 0)
        queueFlood(due);
}

void PtyDevice::floodOnSchedule()
{
    if (!flooding || !pty->isPortOpen())
        return;
    // Write k (counting from 0) is due k * writeSize / rate seconds after the start.
    const double seconds = double(DeadlineTimer::now() - floodStartNs) / 1e9;
    const qint64 writesDue = qint64(seconds * double(floodRate) / floodWriteSize) + 1;
    const qint64 bytesDue = qMin(floodTotal, writesDue * floodWriteSize);
    qint64 queued = floodTotal - floodRemaining;
    while (flooding && queued < bytesDue && pty->queuedBytes() < floodBacklog) {
        const qint64 count = qMin<qint64>(floodWriteSize, bytesDue - queued);
        queued += count;
        queueFlood(count);
    }
    if (!flooding || floodRemaining == 0)
        return;
    const qint64 nextWrite = queued / floodWriteSize;
    const qint64 deadline = pty->queuedBytes() >= floodBacklog
        ? DeadlineTimer::now() + backlogRetryNs
        : floodStartNs + qint64(double(nextWrite) * floodWriteSize * 1e9 / double(floodRate));
    floodPacer->start(deadline);
}

void PtyDevice::queueFlood(qint64 count)
{
    floodRemaining -= count;
    QByteArray bytes = floodBytes(count);
    if (floodRemaining == 0)
        bytes.append(floodEnd);
    pty->write(bytes);
}

void PtyDevice::stopFlood()
{
    if (!flooding)
        return;
    flooding = false;
    floodTimer.stop();
    floodPacer->stop();
    pty->setWriteLimit(0);
    // What is still queued when a flood is cut short never reached the program; the end text
    // is not part of the count.
    qint64 unsent = pty->queuedBytes();
    if (floodRemaining == 0)
        unsent = qMax<qint64>(0, unsent - floodEnd.size());
    const qint64 sent = qMax<qint64>(0, floodTotal - floodRemaining - unsent);
    floodRemaining = 0;
    emit floodFinished(sent, floodTotal, floodStarted ? floodClock.elapsed() : 0);
}

QByteArray PtyDevice::floodBytes(qint64 count)
{
    QByteArray bytes;
    bytes.reserve(int(count));
    if (floodKind == FloodKind::Binary) {
        while (bytes.size() < count)
            bytes.append(char(QRandomGenerator::global()->bounded(256)));
        return bytes;
    }
    while (bytes.size() < count) {
        if (floodLineRest.isEmpty()) {
            ++floodLine;
            floodLineRest = QByteArray("flood line ")
                + QByteArray::number(floodLine).rightJustified(7, '0')
                + " 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
        }
        const int take = int(qMin<qint64>(count - bytes.size(), floodLineRest.size()));
        bytes.append(floodLineRest.left(take));
        floodLineRest.remove(0, take);
    }
    return bytes;
}
