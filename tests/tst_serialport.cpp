// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serialport_.h"
#include "logcapture.h"
#include "pseudoterminal.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The device end: the wrapper opens the slave by its name, and the test writes and reads the
// bytes on the master.
class Device : public PseudoTerminal
{
    Q_DISABLE_COPY(Device)

public:
    Device()
    {
        // Collected from the event loop, so waiting for it never reads inside a retried check.
        connect(this, &PseudoTerminal::received, this,
            [this](const QByteArray &bytes) { receivedBytes += bytes; });
        plug();
    }

    // "pts/N", the form the wrapper completes with "/dev/".
    QString slaveName() const { return slavePath().mid(5); }
    QByteArray received() const { return receivedBytes; }

private:
    QByteArray receivedBytes;
};

QList<unsigned char> queueOf(const QByteArray &bytes)
{
    QList<unsigned char> queue;
    for (const char byte : bytes)
        queue.append(static_cast<unsigned char>(byte));
    return queue;
}

QSerialPort *innerPort(SerialPort &wrapper)
{
    return wrapper.findChild<QSerialPort *>();
}

// Opens the wrapper on the device; the open's debug lines are not the test's concern.
bool openQuietly(SerialPort &wrapper, const Device &device)
{
    LogCapture openLines;
    return wrapper.open(device.slavePath());
}

// Takes every byte the wrapper announces, the way the window does.
void collectEveryByte(SerialPort &wrapper, QByteArray &collected)
{
    QObject::connect(&wrapper, &SerialPort::readComm, &wrapper, [&wrapper, &collected] {
        for (const unsigned char byte : qAsConst(wrapper.receiveQueue))
            collected.append(char(byte));
        wrapper.receiveQueue.clear();
    });
}

QByteArray numberedBytes(int size)
{
    QByteArray bytes;
    for (int line = 0; bytes.size() < size; ++line)
        bytes += QByteArray::number(line).rightJustified(9, '0') + ' '
            + QByteArray(53, 'a' + line % 26) + '\n';
    bytes.truncate(size);
    return bytes;
}

// A read of the descriptor named here fails once with EIO, as a flaky USB link's can, while the
// device stays connected.
std::atomic<int> failNextReadOf {-1};

} // namespace

extern "C" ssize_t read(int descriptor, void *buffer, size_t count)
{
    using Read = ssize_t (*)(int, void *, size_t);
    static const auto systemRead = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    int failing = descriptor;
    if (descriptor >= 0 && failNextReadOf.compare_exchange_strong(failing, -1)) {
        errno = EIO;
        return -1;
    }
    return systemRead(descriptor, buffer, count);
}

Q_DECLARE_METATYPE(QSerialPort::DataBits)
Q_DECLARE_METATYPE(QSerialPort::Parity)
Q_DECLARE_METATYPE(QSerialPort::StopBits)
Q_DECLARE_METATYPE(QSerialPort::FlowControl)

// The serial port wrapper: its translation of line settings, the rules that keep data and stop
// bits consistent, and the real open, write and receive paths on a pseudo-terminal.
class tst_SerialPort : public QObject
{
    Q_OBJECT

private slots:
    void baudRate_data();
    void baudRate();
    void dataBits_data();
    void dataBits();
    void parity_data();
    void parity();
    void stopBits_data();
    void stopBits();
    void flowControl_data();
    void flowControl();

    void defaultsReachPort();
    void pairing_data();
    void pairing();

    void openByName_data();
    void openByName();
    void failedOpenKeepsName();
    void lineSettingsOnDevice_data();
    void lineSettingsOnDevice();

    void emptyWriteFails();
    void writeReachesDevice();
    void writeWhenClosed_data();
    void writeWhenClosed();
    void receiveQueuesEveryChunk();
    void deviceLoss_data();
    void deviceLoss();
    void heldBytesAtTheEnd_data();
    void heldBytesAtTheEnd();
    void backlogStaysBounded();
};

void tst_SerialPort::baudRate_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rate");

    const int rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
        115200, 128000, 256000};
    for (int type = 0; type < 15; ++type)
        QTest::addRow("%d is %d", type, rates[type]) << type << rates[type];
    QTest::newRow("15 is out of range") << 15 << 0;
}

void tst_SerialPort::baudRate()
{
    QFETCH(int, type);
    QFETCH(int, rate);

    SerialPort wrapper;
    LogCapture log;
    QCOMPARE(wrapper.getBaudRate(static_cast<BaudRateType>(type)), rate);
    QCOMPARE(log.lines(), QStringList(QStringLiteral("SerialPort::getBaudRate :  %1").arg(rate)));
}

void tst_SerialPort::dataBits_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QSerialPort::DataBits>("bits");

    QTest::newRow("0 is 5") << 0 << QSerialPort::Data5;
    QTest::newRow("1 is 6") << 1 << QSerialPort::Data6;
    QTest::newRow("2 is 7") << 2 << QSerialPort::Data7;
    QTest::newRow("3 is 8") << 3 << QSerialPort::Data8;
    QTest::newRow("7 is 8") << 7 << QSerialPort::Data8;
}

void tst_SerialPort::dataBits()
{
    QFETCH(int, type);
    QFETCH(QSerialPort::DataBits, bits);

    SerialPort wrapper;
    LogCapture log;
    QCOMPARE(wrapper.getDataBits(static_cast<DataBitsType>(type)), bits);
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::parity_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QSerialPort::Parity>("parity");

    QTest::newRow("0 is none") << 0 << QSerialPort::NoParity;
    QTest::newRow("1 is odd") << 1 << QSerialPort::OddParity;
    QTest::newRow("2 is even") << 2 << QSerialPort::EvenParity;
    QTest::newRow("3 is mark") << 3 << QSerialPort::MarkParity;
    QTest::newRow("4 is space") << 4 << QSerialPort::SpaceParity;
    QTest::newRow("5 is none") << 5 << QSerialPort::NoParity;
    QTest::newRow("7 is none") << 7 << QSerialPort::NoParity;
}

void tst_SerialPort::parity()
{
    QFETCH(int, type);
    QFETCH(QSerialPort::Parity, parity);

    SerialPort wrapper;
    LogCapture log;
    QCOMPARE(wrapper.getParity(static_cast<ParityType>(type)), parity);
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::stopBits_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");

    QTest::newRow("0 is one") << 0 << QSerialPort::OneStop;
    QTest::newRow("1 is one and a half") << 1 << QSerialPort::OneAndHalfStop;
    QTest::newRow("2 is two") << 2 << QSerialPort::TwoStop;
    QTest::newRow("3 is one") << 3 << QSerialPort::OneStop;
}

void tst_SerialPort::stopBits()
{
    QFETCH(int, type);
    QFETCH(QSerialPort::StopBits, stopBits);

    SerialPort wrapper;
    LogCapture log;
    QCOMPARE(wrapper.getStopBits(static_cast<StopBitsType>(type)), stopBits);
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::flowControl_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QSerialPort::FlowControl>("flow");

    QTest::newRow("0 is none") << 0 << QSerialPort::NoFlowControl;
    QTest::newRow("1 is hardware") << 1 << QSerialPort::HardwareControl;
    QTest::newRow("2 is software") << 2 << QSerialPort::SoftwareControl;
    QTest::newRow("3 is none") << 3 << QSerialPort::NoFlowControl;
}

void tst_SerialPort::flowControl()
{
    QFETCH(int, type);
    QFETCH(QSerialPort::FlowControl, flow);

    SerialPort wrapper;
    LogCapture log;
    QCOMPARE(wrapper.getFlowControl(static_cast<FlowType>(type)), flow);
    QVERIFY(log.lines().isEmpty());
}

// The stored settings are handed to the port at every open, even one that fails, so a failed
// open shows them on the port without needing a device.
void tst_SerialPort::defaultsReachPort()
{
    SerialPort wrapper;
    QVERIFY(!wrapper.opened);
    QVERIFY(wrapper.portName.isEmpty());
    QVERIFY(wrapper.receiveQueue.isEmpty());

    LogCapture log;
    QVERIFY(!wrapper.open(QStringLiteral("no-such-solvane-port")));
    QSerialPort *port = innerPort(wrapper);
    QVERIFY(port);
    QCOMPARE(port->baudRate(QSerialPort::Input), 9600);
    QCOMPARE(port->baudRate(QSerialPort::Output), 9600);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
}

void tst_SerialPort::pairing_data()
{
    // Each step is D (setDataBits) or S (setStopBits) followed by the wrapper's value.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QSerialPort::DataBits>("dataBits");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");

    QTest::newRow("8 data refuse 1.5 stop")
        << QStringList {"S1"} << QSerialPort::Data8 << QSerialPort::OneStop;
    QTest::newRow("8 data take 2 stop")
        << QStringList {"S2"} << QSerialPort::Data8 << QSerialPort::TwoStop;
    QTest::newRow("7 data refuse 1.5 stop")
        << QStringList {"D2", "S1"} << QSerialPort::Data7 << QSerialPort::OneStop;
    QTest::newRow("2 stop refuse 5 data")
        << QStringList {"S2", "D0"} << QSerialPort::Data8 << QSerialPort::TwoStop;
    QTest::newRow("2 stop take 6 data")
        << QStringList {"S2", "D1"} << QSerialPort::Data6 << QSerialPort::TwoStop;
    QTest::newRow("2 stop refuse 1.5 stop")
        << QStringList {"S2", "S1"} << QSerialPort::Data8 << QSerialPort::TwoStop;
    QTest::newRow("5 data take 1.5 stop")
        << QStringList {"D0", "S1"} << QSerialPort::Data5 << QSerialPort::OneAndHalfStop;
    QTest::newRow("5 data refuse 2 stop")
        << QStringList {"D0", "S2"} << QSerialPort::Data5 << QSerialPort::OneStop;
    QTest::newRow("1.5 stop refuse 8 data")
        << QStringList {"D0", "S1", "D3"} << QSerialPort::Data5 << QSerialPort::OneAndHalfStop;
    QTest::newRow("1.5 stop refuse 6 data")
        << QStringList {"D0", "S1", "D1"} << QSerialPort::Data5 << QSerialPort::OneAndHalfStop;
    QTest::newRow("1.5 stop refuse 2 stop")
        << QStringList {"D0", "S1", "S2"} << QSerialPort::Data5 << QSerialPort::OneAndHalfStop;
    QTest::newRow("1.5 stop back to 1 frees data")
        << QStringList {"D0", "S1", "S0", "D3"} << QSerialPort::Data8 << QSerialPort::OneStop;
    QTest::newRow("2 stop back to 1 frees 5 data")
        << QStringList {"S2", "S0", "D0"} << QSerialPort::Data5 << QSerialPort::OneStop;
}

void tst_SerialPort::pairing()
{
    QFETCH(QStringList, steps);
    QFETCH(QSerialPort::DataBits, dataBits);
    QFETCH(QSerialPort::StopBits, stopBits);

    SerialPort wrapper;
    for (const QString &step : qAsConst(steps)) {
        const int value = step.mid(1).toInt();
        if (step.startsWith(QLatin1Char('D')))
            wrapper.setDataBits(static_cast<DataBitsType>(value));
        else
            wrapper.setStopBits(static_cast<StopBitsType>(value));
    }

    LogCapture log;
    QVERIFY(!wrapper.open(QStringLiteral("no-such-solvane-port")));
    QSerialPort *port = innerPort(wrapper);
    QVERIFY(port);
    QCOMPARE(port->dataBits(), dataBits);
    QCOMPARE(port->stopBits(), stopBits);
}

void tst_SerialPort::openByName_data()
{
    QTest::addColumn<bool>("fullPath");

    QTest::newRow("/dev/pts/N") << true;
    QTest::newRow("pts/N") << false;
}

void tst_SerialPort::openByName()
{
    QFETCH(bool, fullPath);

    Device device;
    QVERIFY(device.isPlugged());
    const QString name = fullPath ? device.slavePath() : device.slaveName();

    SerialPort wrapper;
    LogCapture log;
    QVERIFY(wrapper.open(name));
    QVERIFY(wrapper.opened);
    QCOMPARE(wrapper.portName, name);
    QCOMPARE(innerPort(wrapper)->portName(), device.slavePath().mid(5));
    QVERIFY(innerPort(wrapper)->isOpen());
    QCOMPARE(log.lines(),
        (QStringList {QStringLiteral("SerialPort::getBaudRate :  9600"),
            QStringLiteral("MainController serial port:[ \"%1\" ] opening...").arg(name)}));

    wrapper.close();
    QVERIFY(!wrapper.opened);
    QVERIFY(!innerPort(wrapper)->isOpen());
    QCOMPARE(wrapper.portName, name);
}

void tst_SerialPort::failedOpenKeepsName()
{
    Device device;
    QVERIFY(device.isPlugged());

    SerialPort wrapper;
    LogCapture log;
    QVERIFY(wrapper.open(device.slaveName()));
    wrapper.close();

    log.clear();
    QVERIFY(!wrapper.open(QStringLiteral("pts/no-such-terminal")));
    QVERIFY(!wrapper.opened);
    QCOMPARE(wrapper.portName, device.slaveName());
    QCOMPARE(log.lines(),
        (QStringList {QStringLiteral("SerialPort::getBaudRate :  9600"),
            QStringLiteral("MainController serial port:[ \"pts/no-such-terminal\" ] opening...")}));

    // A failed open of an open wrapper closes what it had.
    QVERIFY(wrapper.open(device.slavePath()));
    QVERIFY(!wrapper.open(QStringLiteral("/dev/no-such-solvane-port")));
    QVERIFY(!wrapper.opened);
    QVERIFY(!innerPort(wrapper)->isOpen());
    QCOMPARE(wrapper.portName, device.slavePath());
}

void tst_SerialPort::lineSettingsOnDevice_data()
{
    QTest::addColumn<int>("baudType");
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("parityType");
    QTest::addColumn<int>("stopType");
    QTest::addColumn<int>("flowType");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<QSerialPort::DataBits>("dataBits");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<bool>("twoStopBits");
    QTest::addColumn<bool>("hardwareFlow");
    QTest::addColumn<bool>("softwareFlow");

    QTest::newRow("115200 8N1 as the device is opened")
        << 12 << 3 << 0 << 0 << 0 << speed_t(B115200) << QSerialPort::Data8 << QSerialPort::NoParity
        << false << false << false;
    QTest::newRow("9600 7E2") << 6 << 2 << 2 << 2 << 0 << speed_t(B9600) << QSerialPort::Data7
                              << QSerialPort::EvenParity << true << false << false;
    QTest::newRow("110 6O1 hardware flow")
        << 0 << 1 << 1 << 0 << 1 << speed_t(B110) << QSerialPort::Data6 << QSerialPort::OddParity
        << false << true << false;
    QTest::newRow("57600 5N1 software flow")
        << 11 << 0 << 0 << 0 << 2 << speed_t(B57600) << QSerialPort::Data5 << QSerialPort::NoParity
        << false << false << true;
}

void tst_SerialPort::lineSettingsOnDevice()
{
    QFETCH(int, baudType);
    QFETCH(int, dataType);
    QFETCH(int, parityType);
    QFETCH(int, stopType);
    QFETCH(int, flowType);
    QFETCH(speed_t, speed);
    QFETCH(QSerialPort::DataBits, dataBits);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(bool, twoStopBits);
    QFETCH(bool, hardwareFlow);
    QFETCH(bool, softwareFlow);

    Device device;
    QVERIFY(device.isPlugged());

    // The order in which the connection monitor sets up the port.
    SerialPort wrapper;
    wrapper.setBaudRate(static_cast<BaudRateType>(baudType));
    wrapper.setFlowControl(static_cast<FlowType>(flowType));
    wrapper.setParity(static_cast<ParityType>(parityType));
    wrapper.setDataBits(static_cast<DataBitsType>(dataType));
    wrapper.setStopBits(static_cast<StopBitsType>(stopType));

    LogCapture log;
    QVERIFY(wrapper.open(device.slavePath()));

    termios settings {};
    QVERIFY(device.lineSettings(&settings));
    QCOMPARE(cfgetospeed(&settings), speed);
    QCOMPARE(cfgetispeed(&settings), speed);
    QCOMPARE(bool(settings.c_cflag & CSTOPB), twoStopBits);
    QCOMPARE(bool(settings.c_cflag & CRTSCTS), hardwareFlow);
    QCOMPARE(settings.c_iflag & (IXON | IXOFF), softwareFlow ? tcflag_t(IXON | IXOFF) : 0);
    // Raw: bytes pass unchanged in both directions.
    QCOMPARE(settings.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(settings.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(settings.c_iflag & (ICRNL | INLCR | IGNCR), tcflag_t(0));

    // A pseudo-terminal always reports eight data bits and no parity, whatever it was given, so
    // those two are read from the port the wrapper set up; on the device 8N1 shows as such.
    QCOMPARE(innerPort(wrapper)->dataBits(), dataBits);
    QCOMPARE(innerPort(wrapper)->parity(), parity);
    if (dataBits == QSerialPort::Data8 && parity == QSerialPort::NoParity) {
        QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(settings.c_cflag & PARENB, tcflag_t(0));
    }
}

void tst_SerialPort::emptyWriteFails()
{
    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    LogCapture log;
    QVERIFY(wrapper.open(device.slaveName()));

    log.clear();
    QVERIFY(!wrapper.writeData(QByteArray()));
    QCOMPARE(log.lines(),
        QStringList(QStringLiteral("SerialPort write error.[ \"%1\" ]").arg(device.slaveName())));
}

void tst_SerialPort::writeReachesDevice()
{
    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    LogCapture log;
    QVERIFY(wrapper.open(device.slavePath()));

    log.clear();
    const QByteArray first("AT\r\n");
    const QByteArray second("\x00\x7f\x80\xff\x1b", 5);
    QVERIFY(wrapper.writeData(first));
    QVERIFY(wrapper.writeData(second));
    QTRY_COMPARE(device.received(), first + second);
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::writeWhenClosed_data()
{
    QTest::addColumn<bool>("openedBefore");

    QTest::newRow("never opened") << false;
    QTest::newRow("closed after open") << true;
}

void tst_SerialPort::writeWhenClosed()
{
    QFETCH(bool, openedBefore);

    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    if (openedBefore) {
        LogCapture openLines;
        QVERIFY(wrapper.open(device.slavePath()));
        wrapper.close();
    }

    LogCapture log;
    QVERIFY(!wrapper.writeData(QByteArrayLiteral("x")));
    QVERIFY(!wrapper.writeData(QByteArray()));
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::receiveQueuesEveryChunk()
{
    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    QVERIFY(openQuietly(wrapper, device));
    QSignalSpy readComm(&wrapper, SIGNAL(readComm()));
    QVERIFY(readComm.isValid());

    const QByteArray first("hello");
    const QByteArray second("\x00\xfe\r\n", 4);
    QVERIFY(device.write(first));
    QTRY_COMPARE(readComm.count(), 1);
    QCOMPARE(wrapper.receiveQueue, queueOf(first));

    QVERIFY(device.write(second));
    QTRY_COMPARE(readComm.count(), 2);
    QCOMPARE(wrapper.receiveQueue, queueOf(first + second));
}

void tst_SerialPort::deviceLoss_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("closes");

    QTest::newRow("device gone") << QStringLiteral("hang-up") << true;
    QTest::newRow("device gone, then a write") << QStringLiteral("hang-up, write") << true;
    QTest::newRow("read error on a live device") << QStringLiteral("read error") << false;
    QTest::newRow("resource error on a live device") << QStringLiteral("resource error") << false;
    QTest::newRow("timeout on a live device") << QStringLiteral("timeout") << false;
    // The serial port module stops reading after this one.
    QTest::newRow("failed read on a live device") << QStringLiteral("failed read") << false;
}

void tst_SerialPort::deviceLoss()
{
    QFETCH(QString, event);
    QFETCH(bool, closes);

    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    QVERIFY(openQuietly(wrapper, device));
    QSerialPort *port = innerPort(wrapper);
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QVERIFY(errors.isValid());
    QByteArray received;
    collectEveryByte(wrapper, received);
    LogCapture log;

    if (event.startsWith(QLatin1String("hang-up")))
        device.unplug();
    // Before the event loop has run, a write cannot know yet; it is the last one to succeed.
    if (event.endsWith(QLatin1String("write")))
        QVERIFY(wrapper.writeData(QByteArrayLiteral("w")));
    if (event == QLatin1String("read error"))
        emit port->errorOccurred(QSerialPort::ReadError);
    else if (event == QLatin1String("resource error"))
        emit port->errorOccurred(QSerialPort::ResourceError);
    else if (event == QLatin1String("timeout"))
        emit port->errorOccurred(QSerialPort::TimeoutError);
    if (event == QLatin1String("failed read")) {
        failNextReadOf = int(port->handle());
        QVERIFY(device.write("before"));
        QTRY_COMPARE(failNextReadOf.load(), -1);
        QTRY_VERIFY(!errors.isEmpty());
    }

    if (closes) {
        QTRY_VERIFY(!port->isOpen());
        QVERIFY(!wrapper.opened);
        // A port left open would keep reporting the same error many thousand times a second.
        const int reported = errors.count();
        QTest::qWait(50);
        QCOMPARE(errors.count(), reported);
        QVERIFY(!wrapper.writeData(QByteArrayLiteral("x")));
    } else {
        QTest::qWait(20);
        QVERIFY(port->isOpen());
        QVERIFY(wrapper.opened);
        QVERIFY(wrapper.writeData(QByteArrayLiteral("x")));
        QTRY_COMPARE(device.received(), QByteArray("x"));
        // It goes on receiving, also what was waiting when the error came.
        const QByteArray before = event == QLatin1String("failed read") ? "before" : "";
        QVERIFY(device.write("after"));
        QTRY_COMPARE(received, before + "after");
    }
    QVERIFY(log.lines().isEmpty());
}

void tst_SerialPort::heldBytesAtTheEnd_data()
{
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<QString>("end");

    // The first write is shown at once, the second waits for the next frame.
    const QList<int> small {100, 24};
    // Far more than a frame carries: most of it waits in the port.
    const QList<int> burst {1024 * 1024};
    QTest::newRow("124 bytes, hang-up") << small << QStringLiteral("hang-up");
    QTest::newRow("1 MiB burst, hang-up") << burst << QStringLiteral("hang-up");
    QTest::newRow("1 MiB burst, close") << burst << QStringLiteral("close");
    // Whoever deletes the wrapper is done with it: nothing is announced from its destructor.
    QTest::newRow("1 MiB burst, delete") << burst << QStringLiteral("delete");
}

// What the wrapper has read from the device is announced before the port closes, also when the
// device hangs up with most of it still held back by the frame pacing.
void tst_SerialPort::heldBytesAtTheEnd()
{
    QFETCH(QList<int>, writes);
    QFETCH(QString, end);

    Device device;
    QVERIFY(device.isPlugged());
    QByteArray received;
    QPointer<SerialPort> wrapper = new SerialPort;
    QVERIFY(openQuietly(*wrapper, device));
    QSerialPort *port = innerPort(*wrapper);
    collectEveryByte(*wrapper, received);

    int total = 0;
    for (const int size : qAsConst(writes))
        total += size;
    const QByteArray sent = numberedBytes(total);
    int offset = 0;
    for (const int size : qAsConst(writes)) {
        QVERIFY(device.write(sent.mid(offset, size)));
        offset += size;
        QTRY_COMPARE(received.size() + port->bytesAvailable(), qint64(offset));
    }
    // Nothing may run between this check and the end, or the next frame would take it all.
    const int announced = received.size();
    QVERIFY(announced < sent.size());

    if (end == QLatin1String("delete")) {
        delete wrapper;
        QCOMPARE(received.size(), announced);
        return;
    }
    if (end == QLatin1String("close"))
        wrapper->close();
    else
        device.unplug();
    QTRY_VERIFY(!port->isOpen());
    QVERIFY(!wrapper->opened);
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
    delete wrapper;
}

// A device that sends faster than the window takes is held back by the kernel: what waits in the
// port stays bounded, and every byte still arrives once, in order.
void tst_SerialPort::backlogStaysBounded()
{
    Device device;
    QVERIFY(device.isPlugged());
    SerialPort wrapper;
    QVERIFY(openQuietly(wrapper, device));
    QSerialPort *port = innerPort(wrapper);
    QVERIFY(port->readBufferSize() > 0);
    QVERIFY(port->readBufferSize() <= 4 * 1024 * 1024);
    // Looks at each announcement before the collector below empties the queue.
    int mostQueued = 0;
    connect(&wrapper, &SerialPort::readComm, this,
        [&] { mostQueued = qMax(mostQueued, wrapper.receiveQueue.size()); });
    QByteArray received;
    collectEveryByte(wrapper, received);

    const QByteArray sent = numberedBytes(6 * 1024 * 1024);
    QVERIFY(device.write(sent));
    // Half-way through, the device still holds most of the rest: nobody took it off its hands.
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= sent.size() / 2, 60000);
    QVERIFY2(
        device.queuedBytes() > sent.size() / 4, qPrintable(QString::number(device.queuedBytes())));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), sent.size(), 60000);
    QVERIFY(received == sent);
    QVERIFY(mostQueued > 0);
    QVERIFY2(mostQueued <= 64 * 1024, qPrintable(QString::number(mostQueued)));
}

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"
