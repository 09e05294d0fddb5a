#include "simulateddevice.h"

#include "rawpty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

constexpr int hangUpPollMs = 10;

QList<SimulatedDevice *> &registry()
{
    static QList<SimulatedDevice *> devices;
    return devices;
}

int nextListPosition()
{
    static int next = 0;
    return next++;
}

QElapsedTimer &sharedClock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

QString idText(quint16 id)
{
    return QString::asprintf("%04x", id);
}

} // namespace

SimulatedDevice::SimulatedDevice(quint16 vendorId, quint16 productId, QObject *parent)
    : QObject(parent)
    , vendor(vendorId)
    , product(productId)
    , position(nextListPosition())
{
    sharedClock();
    hangUpTimer.setInterval(hangUpPollMs);
    connect(&hangUpTimer, &QTimer::timeout, this, &SimulatedDevice::watchHangUp);
    registry().append(this);
    openPty();
    writeList();
}

SimulatedDevice::~SimulatedDevice()
{
    registry().removeOne(this);
    unplug();
    writeList();
}

QString SimulatedDevice::listFilePath()
{
    if (!QFile::exists(listPath()))
        writeList();
    return listPath();
}

QString SimulatedDevice::listPath()
{
    static QTemporaryDir directory;
    static const QString path = [] {
        const QString file = directory.filePath(QStringLiteral("devices.list"));
        qputenv("SOLVANE_SIM_DEVICES", QFile::encodeName(file));
        return file;
    }();
    return path;
}

bool SimulatedDevice::isPortOpen() const
{
    return isPlugged() && !ptySlaveHungUp(masterFd);
}

void SimulatedDevice::setUsbIdentity(quint16 vendorId, quint16 productId)
{
    vendor = vendorId;
    product = productId;
    usbIdentity = true;
    writeList();
}

void SimulatedDevice::clearUsbIdentity()
{
    usbIdentity = false;
    writeList();
}

void SimulatedDevice::setListPosition(int listPosition)
{
    position = listPosition;
    writeList();
}

void SimulatedDevice::setListedPath(const QString &path)
{
    listedPath = path;
    writeList();
}

bool SimulatedDevice::write(const QByteArray &bytes)
{
    if (!isPlugged())
        return false;
    pending.append(bytes);
    writePending();
    return true;
}

double SimulatedDevice::smallestGapMs() const
{
    if (receivedChunks.size() < 2)
        return -1;
    qint64 smallest = std::numeric_limits<qint64>::max();
    for (int i = 1; i < receivedChunks.size(); ++i)
        smallest
            = qMin(smallest, receivedChunks.at(i).elapsedNs - receivedChunks.at(i - 1).elapsedNs);
    return double(smallest) / 1e6;
}

void SimulatedDevice::clearReceived()
{
    receivedBytes.clear();
    receivedChunks.clear();
}

void SimulatedDevice::unplug()
{
    if (!isPlugged())
        return;
    const int fd = masterFd;
    masterFd = -1;
    writeList();
    hangUpTimer.stop();
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    pending.clear();
    ::close(fd);
}

bool SimulatedDevice::replug()
{
    // Holding the old slave keeps its number taken, so the new pseudo-terminal cannot get it.
    const int oldSlave = isPlugged()
        ? ::open(QFile::encodeName(slave).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)
        : -1;
    unplug();
    const bool plugged = openPty();
    if (oldSlave >= 0)
        ::close(oldSlave);
    writeList();
    return plugged;
}

bool SimulatedDevice::openPty()
{
    const int fd = openRawPtyMaster(&slave);
    if (fd < 0)
        return false;

    masterFd = fd;
    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &SimulatedDevice::readMaster);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &SimulatedDevice::writePending);
    // While hung up the master is always "readable"; the notifier waits for the program.
    readNotifier->setEnabled(false);
    hangUpTimer.start();
    return true;
}

void SimulatedDevice::readMaster()
{
    char buffer[4096];
    QByteArray chunk;
    for (;;) {
        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count > 0) {
            chunk.append(buffer, int(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EIO) {
            // The program closed the port: wait for the next open without spinning.
            readNotifier->setEnabled(false);
            hangUpTimer.start();
        }
        break;
    }
    if (chunk.isEmpty())
        return;
    receivedBytes.append(chunk);
    receivedChunks.append(Chunk {sharedClock().nsecsElapsed(), chunk});
    if (echo)
        write(chunk);
    emit bytesReceived(chunk);
}

void SimulatedDevice::writePending()
{
    while (!pending.isEmpty()) {
        const ssize_t count = ::write(masterFd, pending.constData(), size_t(pending.size()));
        if (count > 0)
            pending.remove(0, int(count));
        else if (count < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    writeNotifier->setEnabled(!pending.isEmpty());
}

void SimulatedDevice::watchHangUp()
{
    if (ptySlaveHungUp(masterFd))
        return;
    hangUpTimer.stop();
    readNotifier->setEnabled(true);
}

void SimulatedDevice::writeList()
{
    QList<SimulatedDevice *> listed;
    for (SimulatedDevice *device : qAsConst(registry())) {
        if (device->isPlugged())
            listed.append(device);
    }
    std::stable_sort(
        listed.begin(), listed.end(), [](const SimulatedDevice *a, const SimulatedDevice *b) {
            return a->position < b->position;
        });

    QSaveFile file(listPath());
    if (!file.open(QIODevice::WriteOnly))
        qFatal("SimulatedDevice: cannot write the device list: %s", qPrintable(file.errorString()));
    for (const SimulatedDevice *device : qAsConst(listed)) {
        const QString path = device->listedPath.isEmpty() ? device->slave : device->listedPath;
        const QString identity = device->usbIdentity
            ? idText(device->vendor) + QLatin1Char(' ') + idText(device->product)
            : QStringLiteral("-");
        file.write(QString(path + QLatin1Char(' ') + identity + QLatin1Char('\n')).toLocal8Bit());
    }
    if (!file.commit())
        qFatal("SimulatedDevice: cannot write the device list: %s", qPrintable(file.errorString()));
}
