// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulateddevice.h"

#include <QFile>
#include <QHash>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTest>
#include <QTimer>

#include <libudev.h>

#include <memory>

namespace {

QStringList listedLocations()
{
    QStringList locations;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        locations.append(port.systemLocation());
    return locations;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

// The program's line settings. What arrives is appended to received, when given.
std::unique_ptr<QSerialPort> openPort(const QString &path, QByteArray *received = nullptr)
{
    auto port = std::make_unique<QSerialPort>(path);
    port->setBaudRate(QSerialPort::Baud115200);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite))
        return nullptr;
    if (received) {
        QSerialPort *open = port.get();
        QObject::connect(open, &QSerialPort::readyRead, open,
            [open, received] { received->append(open->readAll()); });
    }
    return port;
}

void writeListFile(const QByteArray &content)
{
    QFile file(SimulatedDevice::listFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

} // namespace

// Checks the simulated device through the real serial port module: the udev answering code
// linked into this executable must stand in for libudev, and the pseudo-terminal must carry
// bytes like a raw serial line.
class tst_SimulatedDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void listedWithUsbIds_data();
    void listedWithUsbIds();
    void listedWithoutUsbIdentity();
    void listOrder_data();
    void listOrder();
    void emptyListHidesRealPorts();
    void listFileLines_data();
    void listFileLines();
    void unplugAndReplug();
    void otherCallersSeeRealUdev();

    void rawBytes_data();
    void rawBytes();
    void echo();
    void chunksAreTimestamped();
    void unplugWhileOpen();
    void listedPathThatCannotBeOpened();
};

void tst_SimulatedDevice::initTestCase()
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void tst_SimulatedDevice::cleanup()
{
    writeListFile(QByteArray());
}

void tst_SimulatedDevice::listedWithUsbIds_data()
{
    QTest::addColumn<quint16>("vendor");
    QTest::addColumn<quint16>("product");

    QTest::newRow("04d8:000a") << quint16(0x04D8) << quint16(0x000A);
    QTest::newRow("04d8:00df") << quint16(0x04D8) << quint16(0x00DF);
    QTest::newRow("239a:802b") << quint16(0x239A) << quint16(0x802B);
    QTest::newRow("ffff:0000") << quint16(0xFFFF) << quint16(0x0000);
}

void tst_SimulatedDevice::listedWithUsbIds()
{
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);

    SimulatedDevice device(vendor, product);
    QVERIFY(device.isPlugged());
    QVERIFY(QFile::exists(device.slavePath()));

    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QCOMPARE(ports.size(), 1);
    const QSerialPortInfo &port = ports.first();
    QCOMPARE(port.systemLocation(), device.slavePath());
    QVERIFY(port.hasVendorIdentifier());
    QVERIFY(port.hasProductIdentifier());
    QCOMPARE(port.vendorIdentifier(), vendor);
    QCOMPARE(port.productIdentifier(), product);
    // The port name maps back to the slave when a port is opened by name.
    QCOMPARE(QLatin1String("/dev/") + port.portName(), device.slavePath());
}

void tst_SimulatedDevice::listedWithoutUsbIdentity()
{
    SimulatedDevice device;
    device.clearUsbIdentity();

    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QCOMPARE(ports.size(), 1);
    QCOMPARE(ports.first().systemLocation(), device.slavePath());
    QVERIFY(!ports.first().hasVendorIdentifier());
    QCOMPARE(ports.first().vendorIdentifier(), quint16(0));
    QCOMPARE(ports.first().productIdentifier(), quint16(0));

    device.setUsbIdentity(0x04D8, 0x00DF);
    QCOMPARE(QSerialPortInfo::availablePorts().value(0).productIdentifier(), quint16(0x00DF));
}

void tst_SimulatedDevice::listOrder_data()
{
    QTest::addColumn<QList<int>>("positions");
    QTest::addColumn<QList<int>>("expectedOrder");

    QTest::newRow("creation order") << QList<int> {} << QList<int> {0, 1, 2};
    QTest::newRow("reversed") << QList<int> {30, 20, 10} << QList<int> {2, 1, 0};
    QTest::newRow("last moved first") << QList<int> {1, 2, 0} << QList<int> {2, 0, 1};
    QTest::newRow("ties keep creation order") << QList<int> {5, 1, 5} << QList<int> {1, 0, 2};
}

void tst_SimulatedDevice::listOrder()
{
    QFETCH(QList<int>, positions);
    QFETCH(QList<int>, expectedOrder);

    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    for (int i = 0; i < 3; ++i)
        devices.push_back(std::make_unique<SimulatedDevice>(0x04D8, 0x000A + i));
    for (int i = 0; i < positions.size(); ++i)
        devices.at(size_t(i))->setListPosition(positions.at(i));

    QStringList expected;
    for (int index : expectedOrder)
        expected.append(devices.at(size_t(index))->slavePath());
    QCOMPARE(listedLocations(), expected);
}

void tst_SimulatedDevice::emptyListHidesRealPorts()
{
    // Whatever serial ports the machine has, an empty list means none: tests must not depend on
    // the hardware they run on.
    SimulatedDevice::listFilePath();
    QVERIFY(qEnvironmentVariableIsSet("SOLVANE_SIM_DEVICES"));
    QCOMPARE(listedLocations(), QStringList());
}

void tst_SimulatedDevice::listFileLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("locations");
    QTest::addColumn<QList<int>>("vendors");
    QTest::addColumn<QList<int>>("products");
    QTest::addColumn<QStringList>("serials");

    QTest::newRow("comments and blank lines")
        << QByteArray("# a comment\n\n   \n/dev/pts/901 04d8 000a\n")
        << QStringList {"/dev/pts/901"} << QList<int> {0x04D8} << QList<int> {0x000A}
        << QStringList {"SOLVANESIM1"};
    QTest::newRow("upper case and short hex")
        << QByteArray("/dev/pts/902 239A 2b\n") << QStringList {"/dev/pts/902"}
        << QList<int> {0x239A} << QList<int> {0x002B} << QStringList {"SOLVANESIM1"};
    QTest::newRow("serial number")
        << QByteArray("/dev/pts/903 04d8 00df ABC-123\n") << QStringList {"/dev/pts/903"}
        << QList<int> {0x04D8} << QList<int> {0x00DF} << QStringList {"ABC-123"};
    QTest::newRow("no USB identity")
        << QByteArray("/dev/pts/904 -\n") << QStringList {"/dev/pts/904"} << QList<int> {0}
        << QList<int> {0} << QStringList {QString()};
    QTest::newRow("malformed lines skipped") << QByteArray("/dev/pts/905 zz 000a\n"
                                                           "/dev/pts/906 04d8\n"
                                                           "/dev/pts/907 12345 0001\n"
                                                           "relative/path 04d8 000a\n"
                                                           "/dev/pts/908 04d8 000a\n")
                                             << QStringList {"/dev/pts/908"} << QList<int> {0x04D8}
                                             << QList<int> {0x000A} << QStringList {"SOLVANESIM1"};
    QTest::newRow("no final newline")
        << QByteArray("/dev/pts/909 04d8 000a\n/dev/ttyX 04d8 00df")
        << QStringList {"/dev/pts/909", "/dev/ttyX"} << QList<int> {0x04D8, 0x04D8}
        << QList<int> {0x000A, 0x00DF} << QStringList {"SOLVANESIM1", "SOLVANESIM2"};
}

void tst_SimulatedDevice::listFileLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, locations);
    QFETCH(QList<int>, vendors);
    QFETCH(QList<int>, products);
    QFETCH(QStringList, serials);

    writeListFile(content);
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QCOMPARE(ports.size(), locations.size());
    for (int i = 0; i < ports.size(); ++i) {
        QCOMPARE(ports.at(i).systemLocation(), locations.at(i));
        QCOMPARE(int(ports.at(i).vendorIdentifier()), vendors.at(i));
        QCOMPARE(int(ports.at(i).productIdentifier()), products.at(i));
        QCOMPARE(ports.at(i).serialNumber(), serials.at(i));
    }
}

void tst_SimulatedDevice::unplugAndReplug()
{
    SimulatedDevice first(0x04D8, 0x000A);
    SimulatedDevice second(0x04D8, 0x00DF);
    const QString secondPath = second.slavePath();
    QCOMPARE(listedLocations(), QStringList({first.slavePath(), secondPath}));

    first.unplug();
    QVERIFY(!first.isPlugged());
    QCOMPARE(listedLocations(), QStringList {secondPath});

    QVERIFY(first.replug());
    QVERIFY(first.isPlugged());
    QVERIFY(QFile::exists(first.slavePath()));
    // Back at its old place in the list, ahead of the device that stayed.
    QCOMPARE(listedLocations(), QStringList({first.slavePath(), secondPath}));
    auto port = openPort(first.slavePath());
    QVERIFY(port);
    QTRY_VERIFY(first.isPortOpen());

    port.reset();
    QTRY_VERIFY(!first.isPortOpen());
    // With nothing holding the old slave, only the fixture keeps its number from coming back.
    const QString oldPath = first.slavePath();
    QVERIFY(first.replug());
    QVERIFY(first.slavePath() != oldPath);
    QCOMPARE(listedLocations(), QStringList({first.slavePath(), secondPath}));
}

void tst_SimulatedDevice::otherCallersSeeRealUdev()
{
    // This executable is not the serial port module, so its own look-ups must reach the real
    // libudev even while the simulated list is in force.
    SimulatedDevice device;
    struct udev *udev = udev_new();
    QVERIFY(udev);
    struct udev_enumerate *enumerate = udev_enumerate_new(udev);
    QVERIFY(enumerate);
    QCOMPARE(udev_enumerate_add_match_subsystem(enumerate, "tty"), 0);
    QCOMPARE(udev_enumerate_scan_devices(enumerate), 0);
    QStringList syspaths;
    for (struct udev_list_entry *entry = udev_enumerate_get_list_entry(enumerate); entry;
         entry = udev_list_entry_get_next(entry))
        syspaths.append(QString::fromLocal8Bit(udev_list_entry_get_name(entry)));
    udev_enumerate_unref(enumerate);
    udev_unref(udev);

    // Real tty devices live in the sysfs class directory, which may be empty in a sandbox.
    if (syspaths.isEmpty())
        QSKIP("this machine exposes no tty devices through sysfs");
    for (const QString &syspath : qAsConst(syspaths)) {
        QVERIFY2(syspath.startsWith(QLatin1String("/sys/")), qPrintable(syspath));
        QVERIFY2(!syspath.contains(QLatin1String("solvane")), qPrintable(syspath));
    }
}

void tst_SimulatedDevice::rawBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("all byte values") << allByteValues();
    QTest::newRow("line ends") << QByteArray("\r\n\n\r\r\n");
    // Bytes that a cooked terminal would turn into signals, flow control or end of file.
    QTest::newRow("control characters") << QByteArray("\x03\x04\x11\x13\x1a\x1c\x7f\x00", 8);
    QTest::newRow("64 KiB block") << allByteValues().repeated(256);
}

void tst_SimulatedDevice::rawBytes()
{
    QFETCH(QByteArray, bytes);

    SimulatedDevice device;
    QByteArray atPort;
    auto port = openPort(device.slavePath(), &atPort);
    QVERIFY(port);
    QTRY_VERIFY(device.isPortOpen());

    QCOMPARE(port->write(bytes), qint64(bytes.size()));
    QTRY_COMPARE(device.received().size(), bytes.size());
    QCOMPARE(device.received(), bytes);

    QVERIFY(device.write(bytes));
    QTRY_COMPARE(atPort.size(), bytes.size());
    QCOMPARE(atPort, bytes);
}

void tst_SimulatedDevice::echo()
{
    SimulatedDevice device;
    QByteArray atPort;
    auto port = openPort(device.slavePath(), &atPort);
    QVERIFY(port);
    QTRY_VERIFY(device.isPortOpen());

    port->write("quiet");
    QTRY_COMPARE(device.received(), QByteArray("quiet"));
    device.setEcho(true);
    port->write("hello");
    QTRY_COMPARE(atPort, QByteArray("hello"));
    QCOMPARE(device.received(), QByteArray("quiethello"));
}

void tst_SimulatedDevice::chunksAreTimestamped()
{
    SimulatedDevice device;
    auto port = openPort(device.slavePath());
    QVERIFY(port);
    QTRY_VERIFY(device.isPortOpen());

    port->write("a");
    QTRY_COMPARE(device.received(), QByteArray("a"));
    QCOMPARE(device.smallestGapMs(), -1.0);
    QTimer::singleShot(120, port.get(), [&port] { port->write("b"); });
    QTRY_COMPARE(device.received(), QByteArray("ab"));

    const QVector<SimulatedDevice::Chunk> chunks = device.chunks();
    QCOMPARE(chunks.size(), 2);
    QCOMPARE(chunks.at(0).bytes, QByteArray("a"));
    QCOMPARE(chunks.at(1).bytes, QByteArray("b"));
    QVERIFY2(device.smallestGapMs() >= 100, qPrintable(QString::number(device.smallestGapMs())));

    device.clearReceived();
    QVERIFY(device.received().isEmpty());
    QVERIFY(device.chunks().isEmpty());
}

void tst_SimulatedDevice::unplugWhileOpen()
{
    SimulatedDevice device;
    auto port = openPort(device.slavePath());
    QVERIFY(port);
    QTRY_VERIFY(device.isPortOpen());
    QHash<int, int> errors;
    connect(port.get(), &QSerialPort::errorOccurred, this,
        [&errors](QSerialPort::SerialPortError error) { ++errors[error]; });

    device.unplug();
    QVERIFY(listedLocations().isEmpty());
    // The port does not close itself: reads fail over and over until the owner closes it, which
    // is why the program has to notice the device is gone from the listing.
    QTRY_VERIFY(errors.value(QSerialPort::ReadError) > 1);
    QVERIFY(port->isOpen());

    // A write is only buffered; pushing it out fails.
    QCOMPARE(port->write("x"), qint64(1));
    QVERIFY(!port->waitForBytesWritten(500));
    QTRY_VERIFY(errors.value(QSerialPort::ResourceError) > 0);
    QVERIFY(port->isOpen());
    port->close();
}

void tst_SimulatedDevice::listedPathThatCannotBeOpened()
{
    SimulatedDevice device;
    const QString missing = device.slavePath() + QLatin1String("-missing");
    device.setListedPath(missing);
    QCOMPARE(listedLocations(), QStringList {missing});

    QSerialPort port(missing);
    QVERIFY(!port.open(QIODevice::ReadWrite));
    QVERIFY(!device.isPortOpen());
}

QTEST_GUILESS_MAIN(tst_SimulatedDevice)
#include "tst_simulateddevice.moc"
