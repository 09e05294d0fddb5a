#include "ptydevice.h"

#include "deadlinetimer.h"
#include "rawpty.h"

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int watchIntervalMs = 20;
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
{
    watchTimer.setInterval(watchIntervalMs);
    connect(&watchTimer, &QTimer::timeout, this, &PtyDevice::watchPort);
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
    if (isPlugged())
        return true;
    const int fd = openRawPtyMaster(&slave);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }

    masterFd = fd;
    portOpen = false;
    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    readNotifier->setEnabled(false);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyDevice::readMaster);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyDevice::writePending);
    watchTimer.start();
    return true;
}

void PtyDevice::unplug()
{
    if (!isPlugged())
        return;
    watchTimer.stop();
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    ::close(masterFd);
    masterFd = -1;
    portOpen = false;
    stopFlood();
    pending.clear();
}

void PtyDevice::send(const QByteArray &bytes)
{
    if (!portOpen)
        return;
    pending.append(bytes);
    writePending();
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
        floodTimer.start();
    }
}

void PtyDevice::watchPort()
{
    const bool hungUp = ptySlaveHungUp(masterFd);
    if (!portOpen && !hungUp) {
        portOpen = true;
        readNotifier->setEnabled(true);
        emit portOpened();
        send(QStringLiteral("Solvane simulated device %1 ready\r\n").arg(number).toLatin1());
    } else if (portOpen && hungUp) {
        // Drain what the program wrote just before it closed; the read ends in EIO.
        readMaster();
        if (portOpen)
            portWentAway();
    }
}

void PtyDevice::readMaster()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count > 0) {
            if (echo)
                send(QByteArray(buffer, int(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EIO: the last slave descriptor is gone, the program has closed the port.
        if (count < 0 && errno == EIO)
            portWentAway();
        return;
    }
}

void PtyDevice::writePending()
{
    while (!pending.isEmpty() && portOpen) {
        const int size = flooding && floodWriteSize > 0 ? qMin(pending.size(), floodWriteSize)
                                                        : pending.size();
        const ssize_t count = ::write(masterFd, pending.constData(), size_t(size));
        if (count > 0) {
            pending.remove(0, int(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (writeNotifier)
        writeNotifier->setEnabled(portOpen && !pending.isEmpty());
    if (flooding && floodRemaining == 0 && pending.isEmpty())
        stopFlood();
}

void PtyDevice::portWentAway()
{
    portOpen = false;
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    stopFlood();
    pending.clear();
    // Whatever is still queued towards the slave would otherwise greet the next session.
    tcflush(masterFd, TCIOFLUSH);
    emit portClosed();
}

void PtyDevice::floodTick()
{
    if (!portOpen)
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
    due = qMin(due, qint64(floodBacklog - pending.size()));
    if (due > 0)
        queueFlood(due);
}

void PtyDevice::floodOnSchedule()
{
    if (!flooding || !portOpen)
        return;
    // Write k (counting from 0) is due k * writeSize / rate seconds after the start.
    const double seconds = double(DeadlineTimer::now() - floodStartNs) / 1e9;
    const qint64 writesDue = qint64(seconds * double(floodRate) / floodWriteSize) + 1;
    const qint64 bytesDue = qMin(floodTotal, writesDue * floodWriteSize);
    qint64 queued = floodTotal - floodRemaining;
    while (flooding && queued < bytesDue && pending.size() < floodBacklog) {
        const qint64 count = qMin<qint64>(floodWriteSize, bytesDue - queued);
        queued += count;
        queueFlood(count);
    }
    if (!flooding || floodRemaining == 0)
        return;
    const qint64 nextWrite = queued / floodWriteSize;
    const qint64 deadline = pending.size() >= floodBacklog
        ? DeadlineTimer::now() + backlogRetryNs
        : floodStartNs + qint64(double(nextWrite) * floodWriteSize * 1e9 / double(floodRate));
    floodPacer->start(deadline);
}

void PtyDevice::queueFlood(qint64 count)
{
    floodRemaining -= count;
    pending.append(floodBytes(count));
    if (floodRemaining == 0)
        pending.append(floodEnd);
    writePending();
}

void PtyDevice::stopFlood()
{
    if (!flooding)
        return;
    flooding = false;
    floodTimer.stop();
    floodPacer->stop();
    // What is still queued when a flood is cut short never reached the program; the end text
    // is not part of the count.
    qint64 unsent = pending.size();
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
