// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogscript.h"
#include "fatalfaults.h"
#include "hexview/hexview.h"
#include "logcapture.h"
#include "sessionlog/sessionlogwriter.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "testfiles.h"
#include "testwindow.h"
#include "verifycall.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every byte value, in an order that a lost, doubled or swapped piece would show.
QByteArray stream(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed * 7 + i / 256) & 0xff);
    return bytes;
}

// Presses the message box button that carries this text.
Step pressButton(const QString &text)
{
    return [text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        const QList<QAbstractButton *> buttons = box ? box->buttons() : QList<QAbstractButton *>();
        for (QAbstractButton *button : buttons) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        modal->close();
    };
}

Step chooseFolder(const QString &folder)
{
    return finish(true, [folder](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog))
            files->setDirectory(folder);
    });
}

} // namespace

// The session log as the window keeps it: every byte received, on disk, across unplugs and
// clears; a file chosen from the menu, appended to or replaced; a file per connection in a
// folder; and a log that fails while the device keeps talking.
class tst_SessionLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsAcrossUnplugAndClear();
    void existingFile_data();
    void existingFile();
    void filePerConnectionInFolder();
    void failureStopsOnlyTheLog_data();
    void failureStopsOnlyTheLog();

private:
    SolvaneTermTestAccess access() const { return SolvaneTermTestAccess(*window); }
    void sendAndLog(
        SimulatedDevice &device, const QByteArray &bytes, const QString &path, qint64 expectedSize);
    void connectWithinTwoTicks();

    QTemporaryDir scratch;
    std::unique_ptr<SolvaneTerm> window;
};

void tst_SessionLog::init()
{
    QVERIFY(scratch.isValid());
    QSettings(QStringLiteral("SolvaneTerm"), windtitle).clear();
}

void tst_SessionLog::cleanup()
{
    LogCapture quiet;
    window.reset();
}

void tst_SessionLog::sendAndLog(
    SimulatedDevice &device, const QByteArray &bytes, const QString &path, qint64 expectedSize)
{
    QVERIFY(device.write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size(), expectedSize, 20000);
}

void tst_SessionLog::connectWithinTwoTicks()
{
    for (int tick = 0; tick < 2 && !window->isConnected(); ++tick)
        access().checkConnection();
    QVERIFY(window->isConnected());
}

void tst_SessionLog::recordsAcrossUnplugAndClear()
{
    SimulatedDevice device;
    window = makeTestWindow();
    LogCapture log;
    QVERIFY(openedWithOneCheck(*window, device));
    const QString path = scratch.filePath(QStringLiteral("record.log"));
    QVERIFY(window->startSessionLog(path));
    QVERIFY(access().ui().actionSession_Log->isChecked());

    QByteArray sent;
    for (int part = 0; part < 4; ++part) {
        const QByteArray bytes = stream(70000 + part, part);
        sent += bytes;
        VERIFY_CALL(sendAndLog(device, bytes, path, sent.size()));
        if (part == 0) {
            // The only log running is in view beside the device state, with its size.
            auto *status = window->findChild<QLabel *>(QStringLiteral("sessionLogStatus"));
            QVERIFY(status);
            QTRY_VERIFY(status->isVisible() && status->text().contains(QLatin1String("record.log"))
                && status->text().contains(QLocale().formattedDataSize(sent.size())));
        }
        if (part == 1)
            access().clearScreen();
        if (part == 2) {
            device.unplug();
            access().checkConnection();
            QVERIFY(!window->isConnected());
            QVERIFY(device.replug());
            VERIFY_CALL(connectWithinTwoTicks());
        }
    }
    QVERIFY(access().ui().actionSession_Log->isChecked());
    window.reset();
    QVERIFY(contents(path) == sent);
}

void tst_SessionLog::existingFile_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("append") << "Append" << QByteArray("before\nafter");
    QTest::newRow("replace") << "Replace" << QByteArray("after");
    QTest::newRow("cancel") << "Cancel" << QByteArray("before\n");
}

void tst_SessionLog::existingFile()
{
    QFETCH(QString, answer);
    QFETCH(QByteArray, expected);

    SimulatedDevice device;
    window = makeTestWindow();
    LogCapture log;
    QVERIFY(openedWithOneCheck(*window, device));
    const QString path = scratch.filePath(QStringLiteral("existing.log"));
    QVERIFY(writeFile(path, "before\n"));

    DialogScript script({saveAs(path), pressButton(answer)});
    access().ui().actionSession_Log->trigger();
    QCOMPARE(script.seen().size(), 2);
    QCOMPARE(script.seen().at(0).title, QStringLiteral("Session Log"));
    QVERIFY(script.seen().at(1).text.contains(path));
    const bool logging = answer != QLatin1String("Cancel");
    QCOMPARE(access().ui().actionSession_Log->isChecked(), logging);

    QVERIFY(device.write("after"));
    QTRY_COMPARE(access().hexEdit()->data(), QByteArray("after"));
    window.reset();
    QCOMPARE(contents(path), expected);
}

// Chosen while connected, the folder takes the connection from then on; every later connection,
// also after a restart, gets a file of its own from its first byte; a name that is taken is never
// written over.
void tst_SessionLog::filePerConnectionInFolder()
{
    const QString folder = scratch.filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(folder));
    // Whatever second the connections open in, the first name is taken.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int second = -1; second < 120; ++second) {
        const QString name = SessionLogWriter::fileNameFor(now.addSecs(second));
        QVERIFY(writeFile(QDir(folder).filePath(name), name.toUtf8()));
        taken.append(name);
    }
    // Those the program made, oldest first.
    const auto made = [&folder, &taken] {
        QStringList names = QDir(folder).entryList(QDir::Files, QDir::Time | QDir::Reversed);
        for (const QString &name : qAsConst(taken))
            names.removeAll(name);
        return names;
    };

    SimulatedDevice device;
    window = makeTestWindow();
    LogCapture log;
    QVERIFY(openedWithOneCheck(*window, device));
    DialogScript script({chooseFolder(folder)});
    access().ui().actionSession_Log_Folder->trigger();
    QCOMPARE(script.seen().size(), 1);
    QVERIFY(access().ui().actionSession_Log_Folder->isChecked());

    QList<QByteArray> sent;
    for (int connection = 0; connection < 3; ++connection) {
        if (connection == 1) {
            device.unplug();
            access().checkConnection();
            QVERIFY(device.replug());
        } else if (connection == 2) {
            // Closing stores the folder, and the next start takes it up again.
            window->close();
            window = makeTestWindow();
            QVERIFY(access().ui().actionSession_Log_Folder->isChecked());
        }
        VERIFY_CALL(connectWithinTwoTicks());
        QCOMPARE(made().size(), connection + 1);
        sent.append(stream(5000, connection));
        VERIFY_CALL(sendAndLog(device, sent.last(), QDir(folder).filePath(made().last()), 5000));
    }

    // Unchecked, it stops, and the next start has no folder.
    access().ui().actionSession_Log_Folder->trigger();
    QVERIFY(!access().ui().actionSession_Log_Folder->isChecked());
    window->close();
    window.reset();
    QVERIFY(
        !QSettings(QStringLiteral("SolvaneTerm"), windtitle).contains(QStringLiteral("logfolder")));

    QCOMPARE(made().size(), 3);
    for (int connection = 0; connection < 3; ++connection)
        QVERIFY(contents(QDir(folder).filePath(made().at(connection))) == sent.at(connection));
    for (const QString &name : qAsConst(taken))
        QCOMPARE(contents(QDir(folder).filePath(name)), name.toUtf8());
}

void tst_SessionLog::failureStopsOnlyTheLog_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");

    QTest::newRow("file-size limit") << "limit"
                                     << "File too large";
    QTest::newRow("FIFO whose reader quits") << "fifo"
                                             << "Broken pipe";
}

// A log that cannot go on says why and where, keeps what it wrote, and the device goes on being
// shown. The signals such failures raise end a program by default; they must not end this one.
void tst_SessionLog::failureStopsOnlyTheLog()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);

    SimulatedDevice device;
    window = makeTestWindow();
    LogCapture log;
    QVERIFY(openedWithOneCheck(*window, device));
    const QString path = scratch.filePath(QStringLiteral("failing.log"));
    QFile::remove(path);
    int readEnd = -1;
    if (fault == QLatin1String("fifo")) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        readEnd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(readEnd >= 0);
    }
    QVERIFY(window->startSessionLog(path));

    const QByteArray first = stream(1000, 1);
    QVERIFY(device.write(first));
    QTRY_COMPARE(access().hexEdit()->data(), first);

    QByteArray kept;
    std::unique_ptr<FatalFaults> fatal;
    if (fault == QLatin1String("limit")) {
        QTRY_COMPARE(QFileInfo(path).size(), qint64(first.size()));
        fatal = std::make_unique<FatalFaults>(first.size() + 100);
    } else {
        char buffer[4096];
        for (ssize_t got = 0; kept.size() < first.size(); got = ::read(readEnd, buffer, 4096)) {
            if (got > 0)
                kept.append(buffer, int(got));
            else
                QTest::qWait(10);
        }
        ::close(readEnd);
        fatal = std::make_unique<FatalFaults>();
    }
    QVERIFY(fatal->isActive());

    DialogScript script({press(QMessageBox::Ok)});
    const QByteArray second = stream(20000, 2);
    QVERIFY(device.write(second));
    QTRY_COMPARE_WITH_TIMEOUT(script.seen().size(), 1, 10000);
    fatal.reset();

    QCOMPARE(script.seen().at(0).title, QStringLiteral("Session Log"));
    QVERIFY2(script.seen().at(0).text.contains(reason), qPrintable(script.seen().at(0).text));
    QVERIFY(script.seen().at(0).text.contains(path));
    QCOMPARE(script.seen().at(0).icon, QMessageBox::Critical);
    QVERIFY(!access().ui().actionSession_Log->isChecked());
    auto *status = window->findChild<QLabel *>(QStringLiteral("sessionLogStatus"));
    QVERIFY(status && status->isVisible());
    QVERIFY(status->text().contains(reason) && status->text().contains(path));
    QCOMPARE(access().ui().statusbar->currentMessage(),
        QStringLiteral("the Solvane Device was found. [%1]").arg(device.slavePath()));

    // Still receiving, and what the log holds is what came first.
    QTRY_COMPARE(access().hexEdit()->data(), first + second);
    QVERIFY(device.write("more"));
    QTRY_VERIFY(access().hexEdit()->data().endsWith("more"));
    if (fault == QLatin1String("limit")) {
        const QByteArray written = contents(path);
        QVERIFY(written.size() >= first.size());
        QVERIFY(written.size() <= first.size() + 100);
        QVERIFY((first + second).startsWith(written));
    } else {
        QVERIFY((first + second).startsWith(kept));
    }
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_SessionLog)

#include "tst_sessionlog.moc"
