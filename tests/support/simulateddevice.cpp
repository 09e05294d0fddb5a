// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulateddevice.h"

#include "devicelist.h"
#include "pseudoterminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

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

} // namespace

SimulatedDevice::SimulatedDevice(quint16 vendorId, quint16 productId, QObject *parent)
    : QObject(parent)
    , vendor(vendorId)
    , product(productId)
    , position(nextListPosition())
    , pty(new PseudoTerminal(this))
{
    sharedClock();
    connect(pty, &PseudoTerminal::received, this, &SimulatedDevice::collect);
    registry().append(this);
    pty->plug();
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

bool SimulatedDevice::isPlugged() const
{
    return pty->isPlugged();
}

bool SimulatedDevice::isPortOpen() const
{
    return pty->isSlaveHeldOpen();
}

QString SimulatedDevice::slavePath() const
{
    return pty->slavePath();
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
    return pty->write(bytes);
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
    // Unlisted first, as a real device leaves the system's list before its port goes away.
    writeList(this);
    pty->unplug();
}

bool SimulatedDevice::replug()
{
    // Holding the old slave keeps its number taken, so the new pseudo-terminal cannot get it.
    const int oldSlave = isPlugged() ? ::open(QFile::encodeName(slavePath()).constData(),
                             O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)
                                     : -1;
    unplug();
    const bool plugged = pty->plug();
    if (oldSlave >= 0)
        ::close(oldSlave);
    writeList();
    return plugged;
}

void SimulatedDevice::collect(const QByteArray &chunk)
{
    receivedBytes.append(chunk);
    receivedChunks.append(Chunk {sharedClock().nsecsElapsed(), chunk});
    if (echo)
        write(chunk);
    emit bytesReceived(chunk);
}

void SimulatedDevice::writeList(const SimulatedDevice *leaving)
{
    QList<SimulatedDevice *> plugged;
    for (SimulatedDevice *device : qAsConst(registry())) {
        if (device->isPlugged() && device != leaving)
            plugged.append(device);
    }
    std::stable_sort(
        plugged.begin(), plugged.end(), [](const SimulatedDevice *a, const SimulatedDevice *b) {
            return a->position < b->position;
        });

    QVector<ListedDevice> listed;
    for (const SimulatedDevice *device : qAsConst(plugged)) {
        ListedDevice entry;
        entry.path = device->listedPath.isEmpty() ? device->slavePath() : device->listedPath;
        if (device->usbIdentity) {
            entry.vendorId = device->vendor;
            entry.productId = device->product;
        }
        listed.append(entry);
    }
    QString error;
    if (!writeDeviceList(listPath(), listed, &error))
        qFatal("SimulatedDevice: cannot write the device list: %s", qPrintable(error));
}
