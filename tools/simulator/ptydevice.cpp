#include "ptydevice.h"

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

void PtyDevice::flood(qint64 bytes, qint64 bytesPerSecond, FloodKind kind)
{
    stopFlood();
    floodRemaining = bytes;
    floodTotal = bytes;
    floodRate = bytesPerSecond;
    floodKind = kind;
    floodStarted = false;
    floodLine = 0;
    floodLineRest.clear();
    if (bytes > 0)
        floodTimer.start();
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
        const ssize_t count = ::write(masterFd, pending.constData(), size_t(pending.size()));
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
    }
    const qint64 sent = floodTotal - floodRemaining;
    qint64 due = floodRemaining;
    if (floodRate > 0)
        due = qMin(due, floodRate * floodClock.elapsed() / 1000 - sent);
    due = qMin(due, qint64(floodBacklog - pending.size()));
    if (due > 0) {
        floodRemaining -= due;
        send(floodBytes(due));
    }
    if (floodRemaining == 0 && pending.isEmpty())
        stopFlood();
}

void PtyDevice::stopFlood()
{
    if (!floodTimer.isActive())
        return;
    floodTimer.stop();
    const qint64 sent = floodTotal - floodRemaining - pending.size();
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
