// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include "devicelist.h"
#include "ptydevice.h"

#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// Scripts read the simulator's output line by line while it runs, so every line goes out at once.
void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void complain(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

// "-" stands for a port with no USB identity; anything else must be a 16-bit hex number.
bool parseId(const QString &text, int *id)
{
    if (text == QLatin1String("-")) {
        *id = -1;
        return true;
    }
    QString digits = text;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok || digits.isEmpty() || digits.size() > 4)
        return false;
    *id = int(value);
    return ok;
}

QString idText(int id)
{
    return id < 0 ? QStringLiteral("-") : QString::asprintf("%04x", id);
}

QString describe(const PtyDevice *device)
{
    const QString identity = device->vendorId() < 0
        ? QStringLiteral("no USB identity")
        : idText(device->vendorId()) + QLatin1Char(':') + idText(device->productId());
    QString state = QStringLiteral("unplugged");
    if (device->isPlugged())
        state = device->slavePath()
            + (device->isPortOpen() ? QStringLiteral(" open") : QStringLiteral(" plugged"));
    if (device->isFlooding())
        state += QStringLiteral(" flooding");
    if (!device->isEchoing())
        state += QStringLiteral(" no-echo");
    return device->name() + QLatin1Char(' ') + identity + QLatin1Char(' ') + state;
}

} // namespace

Simulator::Simulator(const QString &listFile, QObject *parent)
    : QObject(parent)
    , listFile(listFile)
{
    writeListFile();
}

Simulator::~Simulator()
{
    qDeleteAll(devices);
    // A stale list would make the program look for devices that are gone for good.
    QFile::remove(listFile);
}

void Simulator::listenOn(int fd)
{
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, fd] { readCommands(fd); });
    inputs.append(notifier);
}

QString Simulator::nextDeviceName() const
{
    int number = devicesMade + 1;
    while (device(QStringLiteral("dev%1").arg(number)))
        ++number;
    return QStringLiteral("dev%1").arg(number);
}

bool Simulator::addDevice(const QString &name, const QString &vendor, const QString &product)
{
    // The name doubles as the serial number in the list file, which splits on white space and
    // keeps slashes for paths.
    static const QRegularExpression validName(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (!validName.match(name).hasMatch()) {
        complain(
            QStringLiteral("bad device name '%1': use letters, digits, '_', '.', '-'").arg(name));
        return false;
    }
    if (device(name)) {
        complain(QStringLiteral("there is already a device named %1").arg(name));
        return false;
    }
    int vendorId = 0;
    int productId = 0;
    if (!parseId(vendor, &vendorId) || (vendorId >= 0 && !parseId(product, &productId))) {
        complain(QStringLiteral("bad USB identity '%1 %2': give hex ids like 04d8 000a, or -")
                     .arg(vendor, product));
        return false;
    }
    if (vendorId < 0)
        productId = -1;

    auto *added = new PtyDevice(name, ++devicesMade, vendorId, productId, this);
    connect(added, &PtyDevice::portOpened, this,
        [added] { say(added->name() + QStringLiteral(" opened by the program")); });
    connect(added, &PtyDevice::portClosed, this,
        [added] { say(added->name() + QStringLiteral(" closed by the program")); });
    connect(added, &PtyDevice::floodBegan, this,
        [added] { say(added->name() + QStringLiteral(" flood started")); });
    connect(added, &PtyDevice::floodFinished, this, [added](qint64 sent, qint64 total, qint64 ms) {
        const qint64 rate = ms > 0 ? sent * 1000 / ms : 0;
        say(QStringLiteral("%1 flood ended: %2 of %3 bytes in %4 ms (%5 bytes/s)")
                .arg(added->name())
                .arg(sent)
                .arg(total)
                .arg(ms)
                .arg(rate));
    });
    devices.append(added);
    return plugDevice(added);
}

void Simulator::execute(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return;
    const QString command = words.first().toLower();
    const int arguments = words.size() - 1;

    if (command == QLatin1String("quit") || command == QLatin1String("exit")) {
        emit quitRequested();
        return;
    }
    if (command == QLatin1String("help")) {
        printHelp();
        return;
    }
    if (command == QLatin1String("list")) {
        printList();
        return;
    }
    if (command == QLatin1String("add")) {
        if (arguments < 2 || (words.at(2) != QLatin1String("-") && arguments < 3)) {
            complain(QStringLiteral("usage: add NAME VID PID  (or: add NAME -)"));
            return;
        }
        addDevice(words.at(1), words.at(2), arguments >= 3 ? words.at(3) : QString());
        return;
    }

    if (arguments < 1) {
        complain(QStringLiteral("unknown command or missing device name: %1 (try help)").arg(line));
        return;
    }
    PtyDevice *target = device(words.at(1));
    if (!target) {
        complain(QStringLiteral("no device named %1").arg(words.at(1)));
        return;
    }

    if (command == QLatin1String("unplug")) {
        target->unplug();
        writeListFile();
        say(target->name() + QStringLiteral(" unplugged"));
    } else if (command == QLatin1String("plug")) {
        if (target->isPlugged())
            complain(QStringLiteral("%1 is already plugged in").arg(target->name()));
        else
            plugDevice(target);
    } else if (command == QLatin1String("send")) {
        static const QRegularExpression textAfterName(QStringLiteral("^\\s*\\S+\\s+\\S+\\s?(.*)$"));
        if (!target->isPortOpen())
            complain(QStringLiteral("%1: the program has not opened the port").arg(target->name()));
        target->send(textAfterName.match(line).captured(1).toUtf8() + "\r\n");
    } else if (command == QLatin1String("echo")) {
        if (arguments < 2
            || (words.at(2) != QLatin1String("on") && words.at(2) != QLatin1String("off"))) {
            complain(QStringLiteral("usage: echo NAME on|off"));
            return;
        }
        target->setEcho(words.at(2) == QLatin1String("on"));
    } else if (command == QLatin1String("flood")) {
        QStringList values;
        int writeSize = 0;
        QByteArray endText;
        bool ok = true;
        for (int i = 2; i < words.size(); ++i) {
            const QString &word = words.at(i);
            if (word.startsWith(QLatin1String("write=")))
                writeSize = word.mid(6).toInt(&ok);
            else if (word.startsWith(QLatin1String("end=")))
                endText = word.mid(4).toUtf8();
            else
                values.append(word);
            if (!ok)
                break;
        }
        bool bytesOk = false;
        bool rateOk = true;
        const qint64 bytes = values.value(0).toLongLong(&bytesOk);
        const qint64 rate = values.size() >= 2 ? values.at(1).toLongLong(&rateOk) : 0;
        const QString kind = values.size() >= 3 ? values.at(2).toLower() : QStringLiteral("text");
        if (!ok || writeSize < 0 || !bytesOk || bytes <= 0 || !rateOk || rate < 0
            || values.size() > 3
            || (kind != QLatin1String("text") && kind != QLatin1String("binary"))) {
            complain(QStringLiteral("usage: flood NAME BYTES [RATE [text|binary]] [write=N] "
                                    "[end=TEXT]  (RATE in bytes/s, 0 = as fast as possible)"));
            return;
        }
        target->flood(bytes, rate,
            kind == QLatin1String("binary") ? PtyDevice::FloodKind::Binary
                                            : PtyDevice::FloodKind::Text,
            writeSize, endText);
        if (!target->isPortOpen())
            say(target->name() + QStringLiteral(" flood waits for the program to open the port"));
    } else {
        complain(QStringLiteral("unknown command: %1 (try help)").arg(command));
    }
}

void Simulator::readCommands(int fd)
{
    char buffer[4096];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        // End of input is no reason to pull the devices out: a background simulator keeps
        // running until it is told to quit or is stopped by a signal.
        for (QSocketNotifier *notifier : qAsConst(inputs)) {
            if (notifier->socket() == fd)
                notifier->setEnabled(false);
        }
        return;
    }
    QByteArray &partial = partialLines[fd];
    partial.append(buffer, int(count));
    int end;
    while ((end = partial.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(partial.left(end)).trimmed();
        partial.remove(0, end + 1);
        execute(line);
    }
}

PtyDevice *Simulator::device(const QString &name) const
{
    for (PtyDevice *candidate : devices) {
        if (candidate->name() == name)
            return candidate;
    }
    return nullptr;
}

bool Simulator::plugDevice(PtyDevice *device)
{
    QString error;
    if (!device->plug(&error)) {
        complain(
            QStringLiteral("%1: cannot make a pseudo-terminal: %2").arg(device->name(), error));
        return false;
    }
    writeListFile();
    say(describe(device));
    return true;
}

void Simulator::writeListFile()
{
    QVector<ListedDevice> listed;
    for (const PtyDevice *device : qAsConst(devices)) {
        if (device->isPlugged())
            listed.append(
                {device->slavePath(), device->vendorId(), device->productId(), device->name()});
    }
    QString error;
    if (!writeDeviceList(listFile, listed, &error))
        complain(QStringLiteral("cannot write the device list %1: %2").arg(listFile, error));
}

void Simulator::printList() const
{
    if (devices.isEmpty())
        say(QStringLiteral("no devices"));
    for (const PtyDevice *device : devices)
        say(describe(device));
}

void Simulator::printHelp() const
{
    say(QStringLiteral(
        "commands:\n"
        "  add NAME VID PID       a new device with these hex USB ids, plugged in at once\n"
        "  add NAME -             a new serial port with no USB identity\n"
        "  unplug NAME            unlist the device and close its pseudo-terminal\n"
        "  plug NAME              plug it in again, on a new pseudo-terminal\n"
        "  send NAME TEXT         send TEXT and CR LF to the program\n"
        "  echo NAME on|off       echo what the program sends (on by default)\n"
        "  flood NAME BYTES [RATE [text|binary]] [write=N] [end=TEXT]\n"
        "                         send BYTES bytes at RATE bytes/s (0 or none: flat out),\n"
        "                         at most N bytes a write, evenly spaced at a rate; then\n"
        "                         TEXT and CR LF\n"
        "  list                   show the devices and their state\n"
        "  quit                   unplug everything and leave"));
}
