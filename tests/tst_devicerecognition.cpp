// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/solvanedeviceinfo_linux.h"
#include "simulateddevice.h"

#include <QTest>

// Which USB identities count as a Solvane device, decided once on the bare identifiers and once
// through the machine's port listing, where a pseudo-terminal poses with the same identifiers.
class tst_DeviceRecognition : public QObject
{
    Q_OBJECT

private slots:
    void isSolvaneDevice_data();
    void isSolvaneDevice();
    void listedPorts_data();
    void listedPorts();
    void listedPortsKeepEnumerationOrder();
};

void tst_DeviceRecognition::isSolvaneDevice_data()
{
    QTest::addColumn<quint16>("vendor");
    QTest::addColumn<quint16>("product");
    QTest::addColumn<bool>("recognised");

    QTest::newRow("04D8:000A") << quint16(0x04D8) << quint16(0x000A) << true;
    QTest::newRow("04D8:00DF") << quint16(0x04D8) << quint16(0x00DF) << true;
    QTest::newRow("04D8:000B") << quint16(0x04D8) << quint16(0x000B) << false;
    QTest::newRow("04D8:0000") << quint16(0x04D8) << quint16(0x0000) << false;
    // The product test of this vendor looks for "2B" at any of the three positions.
    QTest::newRow("239A:802B") << quint16(0x239A) << quint16(0x802B) << true;
    QTest::newRow("239A:12B4") << quint16(0x239A) << quint16(0x12B4) << true;
    QTest::newRow("239A:002B") << quint16(0x239A) << quint16(0x002B) << true;
    QTest::newRow("239A:2B00") << quint16(0x239A) << quint16(0x2B00) << true;
    QTest::newRow("239A:0B2C") << quint16(0x239A) << quint16(0x0B2C) << false;
    QTest::newRow("239A:000A") << quint16(0x239A) << quint16(0x000A) << false;
    // Products of one vendor do not count for the other.
    QTest::newRow("04D8:802B") << quint16(0x04D8) << quint16(0x802B) << false;
    QTest::newRow("04D9:000A") << quint16(0x04D9) << quint16(0x000A) << false;
    QTest::newRow("0239:A02B") << quint16(0x0239) << quint16(0xA02B) << false;
    QTest::newRow("no USB identity 0:0") << quint16(0) << quint16(0) << false;
}

void tst_DeviceRecognition::isSolvaneDevice()
{
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);
    QFETCH(bool, recognised);

    QCOMPARE(::isSolvaneDevice(vendor, product), recognised);
}

void tst_DeviceRecognition::listedPorts_data()
{
    isSolvaneDevice_data();
}

void tst_DeviceRecognition::listedPorts()
{
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);
    QFETCH(bool, recognised);

    SimulatedDevice device(vendor, product);
    QVERIFY(device.isPlugged());
    if (vendor == 0 && product == 0)
        device.clearUsbIdentity();

    const QStringList expected = recognised ? QStringList {device.slavePath()} : QStringList();
    QCOMPARE(solvaneDevPorts(), expected);
}

void tst_DeviceRecognition::listedPortsKeepEnumerationOrder()
{
    SimulatedDevice second(0x239A, 0x802B);
    SimulatedDevice stranger(0x1234, 0x5678);
    SimulatedDevice first(0x04D8, 0x000A);
    second.setListPosition(2);
    stranger.setListPosition(1);
    first.setListPosition(0);
    QVERIFY(second.isPlugged() && stranger.isPlugged() && first.isPlugged());

    QCOMPARE(solvaneDevPorts(), (QStringList {first.slavePath(), second.slavePath()}));
}

QTEST_GUILESS_MAIN(tst_DeviceRecognition)
#include "tst_devicerecognition.moc"
