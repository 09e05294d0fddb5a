// SPDX-License-Identifier: GPL-3.0-or-later
#include "verifycall.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int patienceMs = 10000;
const QByteArray greeting("Solvane simulated device 1 ready\r\n");

// What a text flood of that many bytes carries: numbered lines, cut off wherever the count ends.
QByteArray floodText(int size)
{
    QByteArray text;
    for (int line = 1; text.size() < size; ++line)
        text += "flood line " + QByteArray::number(line).rightJustified(7, '0')
            + " 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
    return text.left(size);
}

} // namespace

// Runs solvane-sim as the demo does, with a device and a command pipe, and plays the program's
// part: finds the device in the list file, opens its pseudo-terminal and talks to it.
class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void demoSession();
    void flood_data();
    void flood();

private:
    void command(const QByteArray &line);
    bool saw(const QString &line) const { return output.contains(line); }
    QStringList listed() const;
    // The pseudo-terminal the list file gives for the named device.
    QString pathOf(const QString &name) const;
    // Opens the device as the program would and waits for its greeting.
    void openPort(const QString &name);

    QTemporaryDir directory;
    QString listFile;
    QString commandPipe;
    std::unique_ptr<QProcess> simulator;
    QStringList output;
    std::unique_ptr<QSerialPort> port;
    QByteArray received;
};

void tst_Simulator::init()
{
    QVERIFY(directory.isValid());
    listFile = directory.filePath(QStringLiteral("devices.list"));
    commandPipe = directory.filePath(QStringLiteral("commands"));
    output.clear();
    received.clear();

    simulator = std::make_unique<QProcess>();
    simulator->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(simulator.get(), &QProcess::readyReadStandardOutput, this, [this] {
        while (simulator->canReadLine())
            output.append(QString::fromUtf8(simulator->readLine()).trimmed());
    });
    simulator->start(QStringLiteral(SOLVANE_SIM_PATH),
        {"--device", "demo=04d8:000a", "--device", "bare=-", "--list-file", listFile, "--commands",
            commandPipe});
    QVERIFY(simulator->waitForStarted(patienceMs));
    QTRY_VERIFY_WITH_TIMEOUT(output.size() >= 3, patienceMs);
}

void tst_Simulator::cleanup()
{
    port.reset();
    if (simulator->state() != QProcess::NotRunning) {
        simulator->terminate();
        if (!simulator->waitForFinished(patienceMs))
            simulator->kill();
    }
    simulator.reset();
}

void tst_Simulator::command(const QByteArray &line)
{
    // The simulator holds the pipe open for reading, so opening it to write never blocks.
    QFile pipe(commandPipe);
    QVERIFY(pipe.open(QIODevice::WriteOnly));
    QCOMPARE(pipe.write(line + '\n'), qint64(line.size() + 1));
}

QStringList tst_Simulator::listed() const
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no list file>")};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString tst_Simulator::pathOf(const QString &name) const
{
    for (const QString &line : listed()) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.last() == name)
            return fields.first();
    }
    return QString();
}

void tst_Simulator::openPort(const QString &name)
{
    port = std::make_unique<QSerialPort>(pathOf(name));
    connect(port.get(), &QSerialPort::readyRead, this, [this] { received += port->readAll(); });
    QVERIFY(port->open(QIODevice::ReadWrite));
    QTRY_VERIFY_WITH_TIMEOUT(saw(name + QStringLiteral(" opened by the program")), patienceMs);
    QTRY_COMPARE_WITH_TIMEOUT(received, greeting, patienceMs);
    received.clear();
}

void tst_Simulator::demoSession()
{
    // Listed as given, the device's name doubling as its serial number; the simulator says the
    // same pseudo-terminal.
    const QStringList lines = listed();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(QRegularExpression(QStringLiteral("^/dev/pts/\\d+ 04d8 000a demo$"))
                 .match(lines.at(0))
                 .hasMatch(),
        qPrintable(lines.at(0)));
    QVERIFY2(QRegularExpression(QStringLiteral("^/dev/pts/\\d+ - - bare$"))
                 .match(lines.at(1))
                 .hasMatch(),
        qPrintable(lines.at(1)));
    const QString first = pathOf(QStringLiteral("demo"));
    QVERIFY(saw(QStringLiteral("demo 04d8:000a %1 plugged").arg(first)));
    QVERIFY(saw(QStringLiteral("bare no USB identity %1 plugged").arg(pathOf("bare"))));

    VERIFY_CALL(openPort(QStringLiteral("demo")));
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));
    QCOMPARE(port->write(everyByte), qint64(everyByte.size()));
    QTRY_COMPARE_WITH_TIMEOUT(received, everyByte, patienceMs);

    command("echo demo off");
    // The pipe and the port are separate ways in: only once the simulator has answered a later
    // command is the echo surely off.
    const int answered = output.size();
    command("list");
    QTRY_VERIFY_WITH_TIMEOUT(output.size() > answered, patienceMs);
    QCOMPARE(port->write("not echoed"), qint64(10));
    command("send demo hello from the device");
    QTRY_COMPARE_WITH_TIMEOUT(received, everyByte + "hello from the device\r\n", patienceMs);

    command("unplug demo");
    QTRY_VERIFY_WITH_TIMEOUT(saw(QStringLiteral("demo unplugged")), patienceMs);
    QCOMPARE(listed().size(), 1);
    QCOMPARE(pathOf(QStringLiteral("demo")), QString());
    port.reset();
    QVERIFY(!saw(QStringLiteral("demo closed by the program")));

    command("plug demo");
    QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 2, patienceMs);
    // The echo stays off across the replug. The new pseudo-terminal may reuse the old number,
    // so only the echo state tells this line from the first one.
    QTRY_VERIFY_WITH_TIMEOUT(
        saw(QStringLiteral("demo 04d8:000a %1 plugged no-echo").arg(pathOf("demo"))), patienceMs);
    received.clear();
    VERIFY_CALL(openPort(QStringLiteral("demo")));
    port.reset();
    QTRY_VERIFY_WITH_TIMEOUT(saw(QStringLiteral("demo closed by the program")), patienceMs);

    command("quit");
    QVERIFY(simulator->waitForFinished(patienceMs));
    QCOMPARE(simulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator->exitCode(), 0);
    QVERIFY(!QFile::exists(listFile));
}

void tst_Simulator::flood_data()
{
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("end");
    // The writes are spaced on a schedule, so the flood takes at least as long as its last
    // write is due after the first.
    QTest::addColumn<int>("leastMs");

    QTest::newRow("text, flat out") << QByteArray("5000") << 5000 << false << QByteArray() << 0;
    QTest::newRow("text, end marker")
        << QByteArray("3001 0 text end=DONE") << 3001 << false << QByteArray("DONE") << 0;
    QTest::newRow("binary at 20000 bytes/s in 64-byte writes, end marker")
        << QByteArray("2000 20000 binary write=64 end=END") << 2000 << true << QByteArray("END")
        << 99;
}

void tst_Simulator::flood()
{
    QFETCH(QByteArray, arguments);
    QFETCH(int, bytes);
    QFETCH(bool, binary);
    QFETCH(QByteArray, end);
    QFETCH(int, leastMs);

    VERIFY_CALL(openPort(QStringLiteral("demo")));
    command("flood demo " + arguments);
    const QRegularExpression ended(
        QStringLiteral("^demo flood ended: %1 of %1 bytes in (\\d+) ms").arg(bytes));
    QString endLine;
    QTRY_VERIFY_WITH_TIMEOUT(!(endLine = output.filter(ended).value(0)).isEmpty(), patienceMs);
    QVERIFY(saw(QStringLiteral("demo flood started")));
    QVERIFY2(ended.match(endLine).captured(1).toInt() >= leastMs, qPrintable(endLine));

    const QByteArray marker = end.isEmpty() ? QByteArray() : end + "\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), bytes + marker.size(), patienceMs);
    QVERIFY(received.endsWith(marker));
    if (!binary)
        QCOMPARE(received.left(bytes), floodText(bytes));
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"
