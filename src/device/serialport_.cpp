// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serialport_.h"

#include <QDebug>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include <poll.h>

namespace {

// A stream is shown thirty times a second: smooth enough for text that scrolls by, and each frame
// costs about the same whatever it carries, so fewer frames cost less. Typed characters and their
// echo are not held back (see readData).
constexpr int frameMilliseconds = 33;
// Twice what a full-speed USB device sends in a frame, so a backlog drains; little enough that one
// frame of text layout stays well below what a user notices as lag.
constexpr qint64 maxBytesPerFrame = 64 * 1024;
// Until a frame has carried this much, its blocks are shown as they arrive.
constexpr qint64 smallBytesPerFrame = 64;
constexpr int smallBlocksPerFrame = 8;
// What may wait in the port between the device and the views. When it is full the port stops
// reading, so the kernel and then the device's own flow control hold the rest: a device that
// sends faster than the window shows is slowed to the window's pace, and what is on screen stays
// within about a second of what the device sent, instead of minutes behind it with the whole
// stream in memory.
constexpr qint64 backlogLimit = 1024 * 1024;

const int baudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
    115200, 128000, 256000};

// A device that went away leaves its descriptor hung up for good: reads return nothing and writes
// fail, whether a USB adapter was pulled or the other end of a pseudo-terminal closed. The error
// the port reports for it says little, since a read of nothing carries whatever errno was left
// over, so the descriptor itself is asked.
bool hungUp(int descriptor)
{
    if (descriptor < 0)
        return false;
    pollfd probe {descriptor, 0, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

SerialPort::SerialPort(QObject *parent)
    : QObject(parent)
    , port(new QSerialPort(this))
    , opened(false)
    , baudRate(BAUD9600)
    , dataBits(DATA_8)
    , parity(PAR_NONE)
    , stopBits(STOP_1)
    , flowControl(FLOW_OFF)
    , frameTimer(new QTimer(this))
    , bytesThisFrame(0)
    , blocksThisFrame(0)
    , resumeScheduled(false)
{
    connect(port, SIGNAL(readyRead()), this, SLOT(readData()));
    frameTimer->setSingleShot(true);
    frameTimer->setTimerType(Qt::PreciseTimer);
    connect(frameTimer, &QTimer::timeout, this, &SerialPort::deliverFrame);
    connect(port, &QSerialPort::errorOccurred, this, &SerialPort::closeIfDeviceGone);
    port->setReadBufferSize(backlogLimit);
}

SerialPort::~SerialPort()
{
    // Whoever deletes the wrapper is done with it: nothing held is delivered from here.
    const QSignalBlocker silent(this);
    close();
}

bool SerialPort::open(const QString &name)
{
    if (opened)
        close();

    port->setBaudRate(getBaudRate(baudRate), QSerialPort::AllDirections);
    port->setDataBits(getDataBits(dataBits));
    port->setParity(getParity(parity));
    port->setStopBits(getStopBits(stopBits));
    port->setFlowControl(getFlowControl(flowControl));

    const QString path
        = name.startsWith(QLatin1String("/dev")) ? name : QLatin1String("/dev/") + name;

    qDebug() << "MainController serial port:[" << name << "] opening...";

    port->setPortName(path);
    opened = port->open(QIODevice::ReadWrite);
    if (opened) {
        portName = name;
        port->setDataTerminalReady(true);
    }
    return opened;
}

void SerialPort::close()
{
    // Bytes the frame pacing still holds were read from the device; they are shown (and logged)
    // before the port lets go of them, however the connection ends.
    if (!deliverHeldBytes())
        return;
    opened = false;
    frameTimer->stop();
    port->close();
}

void SerialPort::flush()
{
    if (opened)
        port->flush();
}

bool SerialPort::writeData(const QByteArray &data)
{
    if (!port->isOpen())
        return false;

    if (port->write(data.constData(), data.size()) < 1) {
        qDebug() << "SerialPort write error.[" << portName << "]";
        return false;
    }
    return true;
}

qint64 SerialPort::bytesToWrite() const
{
    return port->isOpen() ? port->bytesToWrite() : 0;
}

void SerialPort::waitForBytesWritten(int msecs)
{
    if (opened)
        port->waitForBytesWritten(msecs);
}

int SerialPort::getBaudRate(BaudRateType baud) const
{
    const unsigned index = static_cast<unsigned>(baud);
    const int rate = index < sizeof(baudRates) / sizeof(baudRates[0]) ? baudRates[index] : 0;
    qDebug() << "SerialPort::getBaudRate : " << rate;
    return rate;
}

QSerialPort::DataBits SerialPort::getDataBits(DataBitsType bits) const
{
    switch (static_cast<unsigned>(bits)) {
    case DATA_5:
        return QSerialPort::Data5;
    case DATA_6:
        return QSerialPort::Data6;
    case DATA_7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

QSerialPort::Parity SerialPort::getParity(ParityType parityType) const
{
    switch (parityType) {
    case PAR_ODD:
        return QSerialPort::OddParity;
    case PAR_EVEN:
        return QSerialPort::EvenParity;
    case PAR_MARK:
        return QSerialPort::MarkParity;
    case PAR_SPACE:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits SerialPort::getStopBits(StopBitsType bits) const
{
    switch (bits) {
    case STOP_1_5:
        return QSerialPort::OneAndHalfStop;
    case STOP_2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

QSerialPort::FlowControl SerialPort::getFlowControl(FlowType flow) const
{
    switch (flow) {
    case FLOW_HARDWARE:
        return QSerialPort::HardwareControl;
    case FLOW_XONXOFF:
        return QSerialPort::SoftwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}

void SerialPort::setBaudRate(BaudRateType baud)
{
    if (baudRate != baud)
        baudRate = baud;
}

// One and a half stop bits go only with five data bits, and two stop bits never do.
void SerialPort::setDataBits(DataBitsType bits)
{
    if (dataBits == bits)
        return;
    if (stopBits == STOP_2 && bits == DATA_5)
        return;
    if (stopBits == STOP_1_5 && bits != DATA_5)
        return;
    dataBits = bits;
}

void SerialPort::setStopBits(StopBitsType bits)
{
    if (stopBits == bits)
        return;
    if (dataBits == DATA_5 && bits == STOP_2)
        return;
    if (dataBits != DATA_5 && bits == STOP_1_5)
        return;
    stopBits = bits;
}

void SerialPort::setParity(ParityType parityType)
{
    if (parity != parityType)
        parity = parityType;
}

void SerialPort::setFlowControl(FlowType flow)
{
    if (flowControl != flow)
        flowControl = flow;
}

void SerialPort::setTimeout(unsigned long sec, unsigned long millisec)
{
    // The wrapper applies no time limits of its own; kept for callers that set one.
    Q_UNUSED(sec)
    Q_UNUSED(millisec)
}

void SerialPort::setDtr(bool on)
{
    port->setDataTerminalReady(on);
}

void SerialPort::setRts(bool on)
{
    port->setRequestToSend(on);
}

unsigned long SerialPort::lineStatus() const
{
    unsigned long status = 0;
    if (port->isRequestToSend())
        status |= 1;
    if (port->isDataTerminalReady())
        status |= 2;
    return status;
}

QString SerialPort::getErrorString() const
{
    return port->errorString();
}

// Blocks go out as they come until the current frame has carried a handful of bytes (typed
// characters and their echo show at once); after that, what arrives waits for the next frame and
// goes out with everything else that arrived meanwhile.
void SerialPort::readData()
{
    if (frameTimer->isActive())
        return;
    startFrameIfDue();
    if (bytesThisFrame >= smallBytesPerFrame || blocksThisFrame >= smallBlocksPerFrame) {
        frameTimer->start(int(qMax<qint64>(0, frameMilliseconds - frameClock.elapsed())));
        return;
    }
    deliverFrame();
}

void SerialPort::startFrameIfDue()
{
    if (frameClock.isValid() && frameClock.elapsed() < frameMilliseconds)
        return;
    frameClock.start();
    bytesThisFrame = 0;
    blocksThisFrame = 0;
}

void SerialPort::deliverFrame()
{
    if (!port->isOpen())
        return;
    startFrameIfDue();
    const QByteArray bytes = port->read(maxBytesPerFrame);
    bytesThisFrame += bytes.size();
    ++blocksThisFrame;
    const QPointer<SerialPort> alive(this);
    queueAndAnnounce(bytes);
    if (!alive)
        return;
    // No new readyRead() comes for bytes already buffered: the next frame must fetch them.
    if (port->bytesAvailable() > 0 && !frameTimer->isActive())
        frameTimer->start(frameMilliseconds);
}

void SerialPort::queueAndAnnounce(const QByteArray &bytes)
{
    receiveQueue.reserve(receiveQueue.size() + bytes.size());
    for (const char byte : bytes)
        receiveQueue.append(static_cast<unsigned char>(byte));
    emit readComm();
}

bool SerialPort::deliverHeldBytes()
{
    const QPointer<SerialPort> alive(this);
    while (port->isOpen() && port->bytesAvailable() > 0) {
        const QByteArray bytes = port->read(maxBytesPerFrame);
        if (bytes.isEmpty())
            break;
        queueAndAnnounce(bytes);
        // Whoever handled the bytes may have closed the port, or deleted it, meanwhile.
        if (!alive)
            return false;
    }
    return true;
}

// Left open, a port whose device has gone reports errors in a tight loop until someone closes it,
// and writes into it still succeed, only to be dropped. Closing it at once stops both: every later
// write fails, and the monitor's next check finds the device missing as usual.
void SerialPort::closeIfDeviceGone(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        if (!port->isOpen())
            break;
        if (hungUp(int(port->handle()))) {
            close();
            break;
        }
        // The serial port module stops reading after some of these errors and never starts
        // again by itself; a device that is still there must not go deaf. A frame later, and
        // once however many errors come meanwhile, so that an error that repeats cannot spin.
        if (!resumeScheduled) {
            resumeScheduled = true;
            QTimer::singleShot(frameMilliseconds, this, &SerialPort::resumeReading);
        }
        break;
    default:
        break;
    }
}

// The module reads on again once its buffer has been read empty. While it still holds bytes, the
// frames are fetching them, and the last of those reads starts it again.
void SerialPort::resumeReading()
{
    resumeScheduled = false;
    if (!port->isOpen() || port->bytesAvailable() > 0)
        return;
    char none;
    port->read(&none, 0);
}
