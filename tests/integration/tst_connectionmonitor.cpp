// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serialport_.h"
#include "device/solvanedeviceinfo_linux.h"
#include "functionkeys/functiondlg.h"
#include "hexview/hexview.h"
#include "logcapture.h"
#include "permissionchecks.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"
#include "verifycall.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

const QString startStatus = QStringLiteral("getting previews settings...");
const QString notFound = QStringLiteral("the Solvane Device was not found.");

QString foundStatus(const QString &path)
{
    return QStringLiteral("the Solvane Device was found. [%1]").arg(path);
}

// The debug lines of one successful or failed open attempt, as qDebug quotes the strings.
QStringList openLines(const QString &path)
{
    return {QStringLiteral("p :  \"%1\"").arg(path),
        QStringLiteral("SerialPort::getBaudRate :  115200"),
        QStringLiteral("MainController serial port:[ \"%1\" ] opening...").arg(path)};
}

QString foundLine(const QString &path)
{
    return QStringLiteral("the Solvane Device was found. [ \"%1\" ]").arg(path);
}

bool sawError(const QSignalSpy &errors, QSerialPort::SerialPortError error)
{
    return std::any_of(errors.cbegin(), errors.cend(), [error](const QList<QVariant> &arguments) {
        return arguments.at(0).value<QSerialPort::SerialPortError>() == error;
    });
}

} // namespace

// Drives the window's once-a-second device check tick by tick against simulated devices: which
// port gets opened, what the status bar and the debug log say, and what happens to the views
// when a device comes and goes.
class tst_ConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noDeviceLeavesEverythingAlone();
    void firstTickOpensTheDevice();
    void openShowsTheHexGroupAsStored_data();
    void openShowsTheHexGroupAsStored();
    void firstListedDeviceWins_data();
    void firstListedDeviceWins();
    void unopenableDeviceFailsOnEveryTick_data();
    void unopenableDeviceFailsOnEveryTick();
    void recognition_data();
    void recognition();
    void onlyRecognisedPortsAreListed();
    void unplugWhileReceiving();
    void replugReconnects_data();
    void replugReconnects();
    void closeWithoutPortClearsAndHides();
    void realTimerFindsTheDevice();

private:
    // A window whose own timer is stopped, so that only the test's ticks run the check.
    SolvaneTerm &makeWindow(bool stopTimer = true);
    SolvaneTermTestAccess access() const { return SolvaneTermTestAccess(*window); }
    QString status() const { return access().ui().statusbar->currentMessage(); }
    void verifyIdle();
    void verifyConnectedTo(const SimulatedDevice &device);

    std::unique_ptr<SolvaneTerm> window;
};

SolvaneTerm &tst_ConnectionMonitor::makeWindow(bool stopTimer)
{
    window = makeTestWindow(stopTimer);
    return *window;
}

void tst_ConnectionMonitor::init()
{
    // Every test starts from "nothing plugged in".
    SimulatedDevice::listFilePath();
    QVERIFY(solvaneDevPorts().isEmpty());
}

void tst_ConnectionMonitor::cleanup()
{
    window.reset();
}

// Checks the state that "no device open" means: no port, both views empty, disabled and hidden.
void tst_ConnectionMonitor::verifyIdle()
{
    const SolvaneTermTestAccess a = access();
    QCOMPARE(a.serialPort(), nullptr);
    QVERIFY(!window->isConnected());
    QVERIFY(a.termView()->toPlainText().isEmpty());
    QVERIFY(a.hexEdit()->data().isEmpty());
    QVERIFY(!a.termView()->isEnabled());
    QVERIFY(!a.hexEdit()->isEnabled());
    QVERIFY(a.termView()->isHidden());
    QVERIFY(a.hexEdit()->isHidden());
}

void tst_ConnectionMonitor::verifyConnectedTo(const SimulatedDevice &device)
{
    const SolvaneTermTestAccess a = access();
    QVERIFY(a.serialPort());
    QCOMPARE(a.serialPort()->portName, device.slavePath());
    QVERIFY(window->isConnected());
    QVERIFY(device.isPortOpen());
    QVERIFY(a.termView()->isEnabled());
    QVERIFY(a.hexEdit()->isEnabled());
    QVERIFY(a.termView()->isVisible());
    QVERIFY(!a.hexEdit()->isHidden());
}

void tst_ConnectionMonitor::noDeviceLeavesEverythingAlone()
{
    makeWindow();
    QCOMPARE(status(), startStatus);
    LogCapture log;
    access().checkConnection();
    QCOMPARE(status(), notFound);

    // Later ticks without a device write nothing.
    window->statusMsg(QStringLiteral("before tick"));
    access().checkConnection();
    access().checkConnection();
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(status(), QStringLiteral("before tick"));
    QVERIFY(!access().deviceFound());
    QVERIFY(!access().deviceWasFound());
    VERIFY_CALL(verifyIdle());
}

void tst_ConnectionMonitor::firstTickOpensTheDevice()
{
    SimulatedDevice device;
    makeWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(!window->isConnected());
    QVERIFY(!device.isPortOpen());

    LogCapture log;
    access().checkConnection();

    const QString path = device.slavePath();
    QVERIFY(path.startsWith(QLatin1String("/dev/pts/")));
    QCOMPARE(log.lines(), openLines(path) << foundLine(path));
    QCOMPARE(status(), foundStatus(path));
    VERIFY_CALL(verifyConnectedTo(device));
    QVERIFY(access().termView()->hasFocus());
    QVERIFY(access().deviceWasFound());

    // While the port stays listed, further ticks are silent.
    log.clear();
    access().checkConnection();
    access().checkConnection();
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(status(), foundStatus(path));
    VERIFY_CALL(verifyConnectedTo(device));
}

void tst_ConnectionMonitor::openShowsTheHexGroupAsStored_data()
{
    QTest::addColumn<bool>("hexaView");
    QTest::newRow("hexa view on") << true;
    QTest::newRow("hexa view off") << false;
}

void tst_ConnectionMonitor::openShowsTheHexGroupAsStored()
{
    QFETCH(bool, hexaView);
    SimulatedDevice device;
    makeWindow();
    access().ui().actionHexa_Mode->setChecked(hexaView);
    // The group follows the flag even while no device is open: an empty frame.
    QCOMPARE(access().ui().hexaGroup->isVisible(), hexaView);
    QVERIFY(access().hexEdit()->isHidden());

    LogCapture log;
    access().checkConnection();
    VERIFY_CALL(verifyConnectedTo(device));
    QCOMPARE(access().hexamode(), hexaView);
    QCOMPARE(access().ui().hexaGroup->isVisible(), hexaView);
    QCOMPARE(access().hexEdit()->isVisible(), hexaView);
}

void tst_ConnectionMonitor::firstListedDeviceWins_data()
{
    QTest::addColumn<bool>("listedInReverse");
    QTest::newRow("listed in creation order") << false;
    QTest::newRow("second created listed first") << true;
}

void tst_ConnectionMonitor::firstListedDeviceWins()
{
    QFETCH(bool, listedInReverse);
    SimulatedDevice created1;
    SimulatedDevice created2(0x239A, 0x802B);
    if (listedInReverse)
        created2.setListPosition(created1.listPosition() - 1);
    SimulatedDevice &first = listedInReverse ? created2 : created1;
    SimulatedDevice &second = listedInReverse ? created1 : created2;
    QCOMPARE(solvaneDevPorts(), QStringList({first.slavePath(), second.slavePath()}));

    makeWindow();
    LogCapture log;
    access().checkConnection();
    VERIFY_CALL(verifyConnectedTo(first));
    QVERIFY(!second.isPortOpen());
    SerialPort *const openPort = access().serialPort();

    // The other device may come and go without disturbing the open one.
    second.unplug();
    log.clear();
    access().checkConnection();
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(access().serialPort(), openPort);
    VERIFY_CALL(verifyConnectedTo(first));
    QVERIFY(second.replug());
    access().checkConnection();
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(access().serialPort(), openPort);
    QCOMPARE(status(), foundStatus(first.slavePath()));
    QVERIFY(!second.isPortOpen());

    // Losing the open device closes it and clears what it sent; the other one waits for the
    // next tick.
    QVERIFY(first.write("from the first device"));
    QTRY_COMPARE(access().hexEdit()->data(), QByteArray("from the first device"));
    QCOMPARE(access().termView()->toPlainText(), QStringLiteral("from the first device"));
    log.clear();
    first.unplug();
    access().checkConnection();
    QCOMPARE(log.lines(), QStringList({notFound}));
    QCOMPARE(status(), notFound);
    VERIFY_CALL(verifyIdle());
    QVERIFY(!second.isPortOpen());

    log.clear();
    access().checkConnection();
    QCOMPARE(log.lines(), openLines(second.slavePath()) << foundLine(second.slavePath()));
    QCOMPARE(status(), foundStatus(second.slavePath()));
    VERIFY_CALL(verifyConnectedTo(second));
}

void tst_ConnectionMonitor::unopenableDeviceFailsOnEveryTick_data()
{
    QTest::addColumn<bool>("missingNode");
    QTest::addColumn<int>("error");

    QTest::newRow("no such node") << true << ENOENT;
    QTest::newRow("no permission") << false << EACCES;
}

void tst_ConnectionMonitor::unopenableDeviceFailsOnEveryTick()
{
    QFETCH(bool, missingNode);
    QFETCH(int, error);

    SimulatedDevice device;
    QString path = device.slavePath();
    if (missingNode) {
        path = QStringLiteral("/dev/solvane-test-no-such-port");
        QVERIFY(!QFile::exists(path));
        device.setListedPath(path);
    } else {
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    }
    QCOMPARE(solvaneDevPorts(), QStringList({path}));
    const QString unopenable = QStringLiteral("the Solvane Device was found but cannot be opened. "
                                              "[%1] %2: see \"Permissions\" in the README.")
                                   .arg(path, qt_error_string(error));

    makeWindow();
    // Root opens any node whatever its mode; on this thread it now may not.
    PermissionChecks permissionChecks;
    QVERIFY(permissionChecks.isActive());
    LogCapture log;
    for (int tick = 0; tick < 3; ++tick) {
        // A stale message would hide a tick that wrote none.
        window->statusMsg(QStringLiteral("before tick"));
        log.clear();
        access().checkConnection();
        QCOMPARE(log.lines(), openLines(path) << QStringLiteral("exit") << notFound);
        QCOMPARE(status(), unopenable);
        VERIFY_CALL(verifyIdle());
        QVERIFY(!access().deviceWasFound());
        QVERIFY(!device.isPortOpen());
    }
}

void tst_ConnectionMonitor::recognition_data()
{
    QTest::addColumn<bool>("usbIdentity");
    QTest::addColumn<quint16>("vendor");
    QTest::addColumn<quint16>("product");
    QTest::addColumn<bool>("recognised");

    QTest::newRow("04D8:000A") << true << quint16(0x04D8) << quint16(0x000A) << true;
    QTest::newRow("04D8:00DF") << true << quint16(0x04D8) << quint16(0x00DF) << true;
    QTest::newRow("04D8:000B") << true << quint16(0x04D8) << quint16(0x000B) << false;
    QTest::newRow("239A:802B") << true << quint16(0x239A) << quint16(0x802B) << true;
    QTest::newRow("239A:12B4") << true << quint16(0x239A) << quint16(0x12B4) << true;
    QTest::newRow("239A:2B00") << true << quint16(0x239A) << quint16(0x2B00) << true;
    QTest::newRow("239A:0B2C") << true << quint16(0x239A) << quint16(0x0B2C) << false;
    QTest::newRow("239A:00B2") << true << quint16(0x239A) << quint16(0x00B2) << false;
    QTest::newRow("000A:04D8 swapped") << true << quint16(0x000A) << quint16(0x04D8) << false;
    QTest::newRow("no USB identity") << false << quint16(0) << quint16(0) << false;
}

void tst_ConnectionMonitor::recognition()
{
    QFETCH(bool, usbIdentity);
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);
    QFETCH(bool, recognised);

    SimulatedDevice device(vendor, product);
    if (!usbIdentity)
        device.clearUsbIdentity();
    // The port must really be listed as staged, or "not recognised" would pass by itself.
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    const auto listed = std::find_if(infos.cbegin(), infos.cend(),
        [&](const QSerialPortInfo &i) { return i.systemLocation() == device.slavePath(); });
    QVERIFY(listed != infos.cend());
    QCOMPARE(listed->hasVendorIdentifier(), usbIdentity);
    QCOMPARE(listed->vendorIdentifier(), vendor);
    QCOMPARE(listed->productIdentifier(), product);

    makeWindow();
    LogCapture log;
    access().checkConnection();

    QCOMPARE(window->isConnected(), recognised);
    QCOMPARE(device.isPortOpen(), recognised);
    QCOMPARE(status(), recognised ? foundStatus(device.slavePath()) : notFound);
    if (!recognised)
        QVERIFY(log.lines().isEmpty());
}

void tst_ConnectionMonitor::onlyRecognisedPortsAreListed()
{
    // Unrecognised ports in front of and between the recognised ones must not be picked.
    SimulatedDevice builtIn;
    builtIn.clearUsbIdentity();
    SimulatedDevice wrongProduct(0x04D8, 0x000B);
    SimulatedDevice first(0x239A, 0x12B4);
    SimulatedDevice wrongVendor(0x239B, 0x802B);
    SimulatedDevice second(0x04D8, 0x00DF);

    QCOMPARE(solvaneDevPorts(), QStringList({first.slavePath(), second.slavePath()}));

    makeWindow();
    LogCapture log;
    access().checkConnection();
    VERIFY_CALL(verifyConnectedTo(first));
    QVERIFY(!builtIn.isPortOpen());
    QVERIFY(!wrongProduct.isPortOpen());
    QVERIFY(!wrongVendor.isPortOpen());
    QVERIFY(!second.isPortOpen());
}

void tst_ConnectionMonitor::unplugWhileReceiving()
{
    SimulatedDevice device;
    makeWindow();
    LogCapture log;
    access().checkConnection();
    VERIFY_CALL(verifyConnectedTo(device));

    // The device keeps writing from the event loop, so bytes are in flight at the unplug. It
    // stays at most a few chunks ahead of the program so the backlog cannot grow without bound.
    QByteArray line(63, 'x');
    line.append('\n');
    const QByteArray chunk = line.repeated(64);
    qint64 written = 0;
    QTimer flood;
    flood.setInterval(0);
    connect(&flood, &QTimer::timeout, [&] {
        if (written - access().hexEdit()->data().size() < 8 * chunk.size() && device.write(chunk))
            written += chunk.size();
    });
    flood.start();
    QTRY_VERIFY_WITH_TIMEOUT(access().hexEdit()->data().size() >= 64 * 1024, 20000);

    // The port sees the hang-up as read errors (a pty slave reads end-of-file once the master is
    // gone) well before the next tick notices the unplug.
    auto *port = access().serialPort()->findChild<QSerialPort *>();
    QVERIFY(port);
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QVERIFY(errors.isValid());
    device.unplug();
    QVERIFY(!device.write(chunk));
    QTRY_VERIFY(
        sawError(errors, QSerialPort::ReadError) || sawError(errors, QSerialPort::ResourceError));
    QVERIFY(flood.isActive());

    access().checkConnection();
    QCOMPARE(status(), notFound);
    VERIFY_CALL(verifyIdle());
    flood.stop();
}

void tst_ConnectionMonitor::replugReconnects_data()
{
    QTest::addColumn<bool>("sameName");
    QTest::addColumn<bool>("otherListedFirst");
    QTest::addColumn<int>("ticks");

    // Back while the program still holds its old port: a new name, noticed as a missing device
    // on one tick and opened on the next.
    QTest::newRow("under a new name") << false << false << 2;
    // A device that resets: the port hangs up and is closed, the name is free and the device
    // comes back under it before the next tick, which reopens it.
    QTest::newRow("under the same name") << true << false << 1;
    // It is that device that is opened again, not whichever comes first in the list.
    QTest::newRow("under the same name, another listed first") << true << true << 1;
}

void tst_ConnectionMonitor::replugReconnects()
{
    QFETCH(bool, sameName);
    QFETCH(bool, otherListedFirst);
    QFETCH(int, ticks);

    SimulatedDevice device;
    makeWindow();
    LogCapture log;
    access().checkConnection();
    VERIFY_CALL(verifyConnectedTo(device));
    const QString oldPath = device.slavePath();
    std::unique_ptr<SimulatedDevice> other;
    if (otherListedFirst) {
        other = std::make_unique<SimulatedDevice>(0x239A, 0x802B);
        other->setListPosition(device.listPosition() - 1);
        QCOMPARE(solvaneDevPorts().first(), other->slavePath());
    }

    if (sameName) {
        device.unplug();
        QTRY_VERIFY(!access().serialPort()->opened);
    }
    QVERIFY(device.replug());
    // The system hands the freed pseudo-terminal out again unless something else took it.
    if (sameName && device.slavePath() != oldPath)
        QSKIP("another process took the freed pseudo-terminal");
    QCOMPARE(device.slavePath() == oldPath, sameName);
    int ticked = 0;
    while (ticked < 3 && !(window->isConnected() && device.isPortOpen())) {
        access().checkConnection();
        ++ticked;
    }
    QCOMPARE(ticked, ticks);
    VERIFY_CALL(verifyConnectedTo(device));
    QCOMPARE(status(), foundStatus(device.slavePath()));
    QCOMPARE(log.lines().mid(log.lines().indexOf(notFound)),
        QStringList(notFound) << openLines(device.slavePath()) << foundLine(device.slavePath()));

    // The new connection carries data.
    QVERIFY(device.write("again"));
    QTRY_COMPARE(access().hexEdit()->data(), QByteArray("again"));
    QCOMPARE(access().termView()->toPlainText(), QStringLiteral("again"));
}

void tst_ConnectionMonitor::closeWithoutPortClearsAndHides()
{
    makeWindow();
    const SolvaneTermTestAccess a = access();
    a.termView()->setEnabled(true);
    a.hexEdit()->setEnabled(true);
    a.termView()->show();
    a.hexEdit()->show();
    a.termView()->insertView("left over");
    a.hexEdit()->setData("left over");

    a.closeSolvaneDevice();
    VERIFY_CALL(verifyIdle());
    QCOMPARE(status(), startStatus);
}

void tst_ConnectionMonitor::realTimerFindsTheDevice()
{
    SimulatedDevice device;
    makeWindow(false);
    LogCapture log;
    // The first check runs as soon as the window is up, well before the timer's first tick.
    QTRY_VERIFY_WITH_TIMEOUT(window->isConnected(), 900);
    QVERIFY(access().connectionTimer()->isActive());
    VERIFY_CALL(verifyConnectedTo(device));
    QCOMPARE(status(), foundStatus(device.slavePath()));
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_ConnectionMonitor)

#include "tst_connectionmonitor.moc"
