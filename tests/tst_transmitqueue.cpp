// SPDX-License-Identifier: GPL-3.0-or-later
#include "permissionchecks.h"
#include "testfiles.h"
#include "transmit/transmitqueue.h"
#include "verifycall.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace {

using Kind = TransmitQueue::Kind;

const int patience = 60000;

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7) ^ (i >> 9));
    return bytes;
}

// Takes or refuses each write, remembering what and when, and can act from inside the n-th.
struct Port
{
    QList<QByteArray> writes;
    QList<qint64> writtenAtNs;
    int attempts = 0;
    // From this write on, or only this one with refuseOnce; 0 refuses none.
    int refuseFrom = 0;
    bool refuseOnce = false;
    int actAt = 0;
    std::function<void()> act;
    qint64 held = 0;
    std::function<qint64()> backlog = [] { return qint64(0); };
    // Writes handed over while the port held more than the queue may leave in it.
    int overruns = 0;
    QElapsedTimer clock;

    explicit Port(TransmitQueue &queue)
    {
        clock.start();
        queue.setPort(
            [this](const QByteArray &bytes) { return take(bytes); }, [this] { return backlog(); });
    }
    bool take(const QByteArray &bytes)
    {
        ++attempts;
        if (refuseFrom > 0 && (refuseOnce ? attempts == refuseFrom : attempts >= refuseFrom))
            return false;
        overruns += backlog() > TransmitQueue::backlogLimit ? 1 : 0;
        writtenAtNs << clock.nsecsElapsed();
        // As a port whose error handler abandons the queue, then looks at what it was given.
        if (attempts == actAt && act)
            act();
        held += bytes.size();
        writes << bytes;
        return true;
    }
};

// What the queue reported: busy changes, and failures as "Paste" or "name: sent of total".
struct Reports
{
    QList<bool> busy;
    QStringList failures;

    explicit Reports(TransmitQueue &queue)
    {
        QObject::connect(&queue, &TransmitQueue::busyChanged, [this](bool now) { busy << now; });
        QObject::connect(&queue, &TransmitQueue::writeFailed,
            [this](Kind kind) { failures << QMetaEnum::fromType<Kind>().valueToKey(int(kind)); });
        QObject::connect(&queue, &TransmitQueue::fileFailed,
            [this](const QString &path, const QString &reason, qint64 sent, qint64 total) {
                failures << QStringLiteral("%1: %2 of %3%4")
                                .arg(QFileInfo(path).fileName())
                                .arg(sent)
                                .arg(total)
                                .arg(reason.isEmpty() ? ", no reason given" : "");
            });
    }
};

// Each write but the last is followed by at least `leastAfter` ms of quiet.
void verifyPauses(const Port &port, const QList<int> &leastAfter)
{
    QCOMPARE(leastAfter.size(), port.writes.size());
    for (int i = 0; i + 1 < port.writes.size(); ++i) {
        const qint64 gapUs = (port.writtenAtNs.at(i + 1) - port.writtenAtNs.at(i)) / 1000;
        QVERIFY2(gapUs >= (leastAfter.at(i) - 1) * 1000,
            qPrintable(QStringLiteral("%1 µs after write %2").arg(gapUs).arg(i)));
    }
}

// Items are written "Kind bytes", or "File name bytes" for a file of those bytes.
Kind kindOf(const QString &item)
{
    return Kind(QMetaEnum::fromType<Kind>().keyToValue(qPrintable(item.section(' ', 0, 0))));
}

QByteArray bytesOf(const QString &item)
{
    return item.section(' ', kindOf(item) == Kind::File ? 2 : 1).toLatin1();
}

// Returns why a file was refused, or nothing.
QString give(TransmitQueue &queue, const QString &item, const QTemporaryDir &directory)
{
    if (kindOf(item) != Kind::File) {
        queue.send(kindOf(item), bytesOf(item));
        return QString();
    }
    const QString path = directory.filePath(item.section(' ', 1, 1));
    QString error;
    if (!writeFile(path, bytesOf(item)) || !queue.sendFile(path, &error))
        return path + QStringLiteral(": ") + error;
    return QString();
}

} // namespace

class tst_TransmitQueue : public QObject
{
    Q_OBJECT

private slots:
    void order_data();
    void order();
    void interruption_data();
    void interruption();
    void file_data();
    void file();
    void backlogHoldsWritesBack();
    void refusedFile_data();
    void refusedFile();
    void readErrorMidSend();
    void progress();

private:
    QTemporaryDir directory;
};

void tst_TransmitQueue::order_data()
{
    // Each item given this many ms after the first.
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("bytePause");
    QTest::addColumn<int>("linePause");

    QTest::newRow("typed into a paste")
        << QStringList {"0 Paste hello", "15 Typed ls -l\r"} << 10 << 0;
    QTest::newRow("paste, key and typed behind a paste")
        << QStringList {"0 Paste abcdef", "12 Paste XYZ", "12 FunctionKey \x1bOP", "30 Typed q"}
        << 8 << 0;
    QTest::newRow("file among typed text and a key") << QStringList {"0 Paste abc", "10 Typed T",
        "10 File lines one\ntwo\n", "20 Typed U", "20 FunctionKey K"}
                                                     << 5 << 15;
    QTest::newRow("file first, a second file last") << QStringList {"0 File first a\nb\r\nc",
        "10 Typed x", "10 Paste y\nz", "25 File last end\n"}
                                                    << 10 << 20;
    QTest::newRow("typed first, while idle")
        << QStringList {"0 Typed go\r", "0 FunctionKey \x1b[11~", "5 Typed now", "5 Paste later"}
        << 20 << 0;
}

void tst_TransmitQueue::order()
{
    QFETCH(QStringList, items);
    QFETCH(int, bytePause);
    QFETCH(int, linePause);

    QList<QByteArray> expected;
    QList<int> leastAfter;
    for (const QString &given : qAsConst(items)) {
        const QString item = given.section(' ', 1);
        const bool typed = kindOf(item) == Kind::Typed;
        const bool file = kindOf(item) == Kind::File;
        const QByteArray bytes = bytesOf(item);
        for (int i = 0; i < (typed ? 1 : bytes.size()); ++i) {
            expected << (typed ? bytes : bytes.mid(i, 1));
            leastAfter << (typed ? 0 : bytePause + (file && bytes.at(i) == '\n' ? linePause : 0));
        }
    }

    TransmitQueue queue;
    Port port(queue);
    Reports reports(queue);
    queue.setPauses([bytePause] { return bytePause; }, [linePause] { return linePause; });
    QStringList refused {give(queue, items.first().section(' ', 1), directory)};
    QCOMPARE(port.writes.size(), 1);
    // Timers of the same interval fire in the order they were started.
    for (const QString &given : items.mid(1)) {
        const int at = given.section(' ', 0, 0).toInt();
        const QString item = given.section(' ', 1);
        if (at == 0)
            refused << give(queue, item, directory);
        else
            QTimer::singleShot(at, &queue, [&, item] { refused << give(queue, item, directory); });
    }
    QTRY_VERIFY_WITH_TIMEOUT(refused.size() == items.size() && !queue.isBusy(), patience);

    QCOMPARE(refused.join(QString()), QString());
    QCOMPARE(port.writes, expected);
    VERIFY_CALL(verifyPauses(port, leastAfter));
    QCOMPARE(reports.failures, QStringList());
}

void tst_TransmitQueue::interruption_data()
{
    QTest::addColumn<QStringList>("items");
    // "stop|abandon in|after N": inside the N-th write, or from a timer it starts;
    // "refuse from|at N": the N-th write and all after it, or that one alone.
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QStringList>("failures");

    const QStringList paste {"Paste abcdef", "Typed T", "FunctionKey K"};
    const QStringList file {"File six abcdef", "Typed T"};
    const QStringList typed {"Paste ab", "Typed T", "FunctionKey K", "Paste z"};
    const QStringList none;

    QTest::newRow("stop inside write 3") << paste << "stop in 3" << QByteArray("abc") << 3 << none;
    QTest::newRow("stop from a timer") << paste << "stop after 3" << QByteArray("abc") << 3 << none;
    QTest::newRow("abandon inside write 3")
        << paste << "abandon in 3" << QByteArray("abc") << 3 << QStringList {"Paste"};
    QTest::newRow("abandon from a timer")
        << paste << "abandon after 3" << QByteArray("abc") << 3 << QStringList {"Paste"};
    QTest::newRow("abandon inside a typed write")
        << typed << "abandon in 3" << QByteArray("abT") << 3 << QStringList {"Typed"};
    QTest::newRow("abandon in the last pause")
        << paste << "abandon after 6" << QByteArray("abcdef") << 6 << none;
    QTest::newRow("paste refused")
        << paste << "refuse from 3" << QByteArray("ab") << 3 << QStringList {"Paste"};
    QTest::newRow("typed refused, the rest goes on")
        << typed << "refuse at 3" << QByteArray("abKz") << 5 << QStringList {"Typed"};
    QTest::newRow("typed refused, then the key") << typed << "refuse from 3" << QByteArray("ab")
                                                 << 4 << QStringList {"Typed", "FunctionKey"};
    QTest::newRow("file stopped") << file << "stop in 2" << QByteArray("ab") << 2 << none;
    QTest::newRow("file abandoned") << file << "abandon after 2" << QByteArray("ab") << 2
                                    << QStringList {"File", "six: 2 of 6"};
    QTest::newRow("file abandoned in its last pause")
        << file << "abandon after 6" << QByteArray("abcdef") << 6 << none;
    QTest::newRow("file refused") << file << "refuse from 4" << QByteArray("abc") << 4
                                  << QStringList {"File", "six: 3 of 6"};
}

void tst_TransmitQueue::interruption()
{
    QFETCH(QStringList, items);
    QFETCH(QString, action);
    QFETCH(QByteArray, written);
    QFETCH(int, attempts);
    QFETCH(QStringList, failures);

    const int pause = 20;
    TransmitQueue queue;
    Port port(queue);
    Reports reports(queue);
    queue.setPauses([] { return pause; }, [] { return pause; });
    const QString verb = action.section(' ', 0, 0);
    const QString when = action.section(' ', 1, 1);
    const int n = action.section(' ', 2, 2).toInt();
    const std::function<void()> interrupt = [&queue, verb] {
        if (verb == QLatin1String("stop"))
            queue.stop();
        else
            queue.abandon();
    };
    if (verb == QLatin1String("refuse")) {
        port.refuseFrom = n;
        port.refuseOnce = when == QLatin1String("at");
    } else if (when == QLatin1String("in")) {
        port.actAt = n;
        port.act = interrupt;
    } else {
        port.actAt = n;
        port.act = [&queue, interrupt] { QTimer::singleShot(0, &queue, interrupt); };
    }
    for (const QString &item : qAsConst(items))
        QCOMPARE(give(queue, item, directory), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!queue.isBusy(), patience);
    // Time for several more writes, had anything been left to write.
    QTest::qWait(5 * pause);

    QCOMPARE(port.writes.join(), written);
    QCOMPARE(port.attempts, attempts);
    QCOMPARE(reports.failures, failures);
    QCOMPARE(reports.busy, QList<bool>({true, false}));
}

void tst_TransmitQueue::file_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("bytePause");
    QTest::addColumn<int>("linePause");
    // Cut, or grown with NULs, to this size inside the first write; -1 leaves it.
    QTest::addColumn<int>("resizeTo");
    QTest::addColumn<QStringList>("failures");

    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte += char(i);
    everyByte += "\r\n";
    const QStringList none;
    QTest::newRow("every byte value, no pauses") << everyByte << 0 << 0 << -1 << none;
    QTest::newRow("every byte value, byte pause") << everyByte << 1 << 0 << -1 << none;
    QTest::newRow("line pause only")
        << QByteArray("first\r\nsecond\nthird\n") << 0 << 30 << -1 << none;
    QTest::newRow("both pauses") << QByteArray("a\nbc\n\n") << 5 << 20 << -1 << none;
    QTest::newRow("several read blocks") << pattern(1024 * 1024 + 3) << 0 << 0 << -1 << none;
    QTest::newRow("empty") << QByteArray() << 0 << 0 << -1 << none;
    QTest::newRow("shrinks while sent")
        << pattern(256 * 1024) << 0 << 0 << 100 * 1024 << QStringList {"file: 102400 of 262144"};
    QTest::newRow("grows while sent") << pattern(256 * 1024) << 0 << 0 << 300 * 1024 << none;
}

void tst_TransmitQueue::file()
{
    QFETCH(QByteArray, content);
    QFETCH(int, bytePause);
    QFETCH(int, linePause);
    QFETCH(int, resizeTo);
    QFETCH(QStringList, failures);

    const QString path = directory.filePath(QStringLiteral("file"));
    QVERIFY(writeFile(path, content));
    TransmitQueue queue;
    Port port(queue);
    Reports reports(queue);
    queue.setPauses([bytePause] { return bytePause; }, [linePause] { return linePause; });
    bool resized = resizeTo < 0;
    if (!resized) {
        port.actAt = 1;
        port.act = [&] {
            resized = QFile::resize(path, resizeTo);
            // A failed file takes what waits behind it along.
            if (resizeTo < content.size())
                queue.send(Kind::Typed, "behind");
        };
    }
    QString error;
    QVERIFY2(queue.sendFile(path, &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(!queue.isBusy(), patience);

    QVERIFY(resized);
    QByteArray expected = resizeTo < 0 ? content : content.left(resizeTo);
    expected.append(QByteArray(qMax(0, resizeTo - content.size()), '\0'));
    QCOMPARE(port.writes.join(), expected);
    const bool paced = bytePause > 0 || linePause > 0;
    QList<int> leastAfter;
    for (const QByteArray &write : qAsConst(port.writes)) {
        QVERIFY2(paced ? write.size() == 1 : write.size() <= TransmitQueue::fileChunk,
            qPrintable(QStringLiteral("a write of %1 bytes").arg(write.size())));
        leastAfter << (paced ? bytePause + (write == "\n" ? linePause : 0) : 0);
    }
    VERIFY_CALL(verifyPauses(port, leastAfter));
    QCOMPARE(reports.failures, failures);
    QCOMPARE(reports.busy, QList<bool>({true, false}));
}

void tst_TransmitQueue::backlogHoldsWritesBack()
{
    const QString path = directory.filePath(QStringLiteral("held"));
    const QByteArray content = pattern(100 * 1024);
    QVERIFY(writeFile(path, content));
    TransmitQueue queue;
    Port port(queue);
    bool draining = false;
    port.backlog = [&] { return draining ? port.held : qint64(1) << 30; };
    QString error;
    QVERIFY2(queue.sendFile(path, &error), qPrintable(error));
    queue.send(Kind::Paste, "pq");
    QTest::qWait(50);

    QCOMPARE(port.attempts, 0);
    const TransmitQueue::Progress progress = queue.progress();
    QCOMPARE(progress.kind, Kind::File);
    QCOMPARE(progress.path, path);
    QCOMPARE(progress.sent, qint64(0));
    QCOMPARE(progress.total, qint64(content.size()));
    QCOMPARE(progress.waiting, 1);

    draining = true;
    QTimer drain;
    drain.callOnTimeout([&port] { port.held = std::max(qint64(0), port.held - 4096); });
    drain.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(!queue.isBusy(), patience);
    QCOMPARE(port.writes.join(), content + "pq");
    QCOMPARE(port.overruns, 0);
}

void tst_TransmitQueue::refusedFile_data()
{
    QTest::addColumn<QString>("what");

    for (const char *what : {"missing", "directory", "fifo", "unreadable"})
        QTest::newRow(what) << QString::fromLatin1(what);
}

void tst_TransmitQueue::refusedFile()
{
    QFETCH(QString, what);

    const QString path = directory.filePath(what);
    std::optional<PermissionChecks> permissionChecks;
    if (what == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (what == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (what == QLatin1String("unreadable")) {
        QVERIFY(writeFile(path, "kept back"));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        permissionChecks.emplace();
        if (!permissionChecks->isActive())
            QSKIP("Running as root, and the permission checks could not be made to apply");
    }
    TransmitQueue queue;
    Port port(queue);
    Reports reports(queue);
    QString error;
    QVERIFY(!queue.sendFile(path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!queue.isBusy());
    QCOMPARE(reports.busy, QList<bool>());
    QCOMPARE(port.attempts, 0);
}

// A file that opens but cannot be read, as a disk that fails does: the kernel refuses to read
// this one at its start.
void tst_TransmitQueue::readErrorMidSend()
{
    TransmitQueue queue;
    Port port(queue);
    Reports reports(queue);
    QString reason;
    QObject::connect(&queue, &TransmitQueue::fileFailed,
        [&reason](const QString &, const QString &why) { reason = why; });
    QString error;
    QVERIFY2(queue.sendFile(QStringLiteral("/proc/self/mem"), &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(!queue.isBusy(), patience);
    QCOMPARE(reports.failures, QStringList {"mem: 0 of 0"});
    QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(EIO)));
    QVERIFY(port.writes.isEmpty());
}

void tst_TransmitQueue::progress()
{
    const int pause = 20;
    TransmitQueue queue;
    Port port(queue);
    queue.setPauses([] { return pause; }, [] { return 0; });
    QCOMPARE(queue.progress().msLeft, qint64(-1));
    TransmitQueue::Progress seen;
    port.actAt = 6;
    port.act = [&] {
        seen = queue.progress();
        queue.stop();
    };
    queue.send(Kind::Paste, QByteArray(100, 'p'));
    queue.send(Kind::Typed, "t");
    queue.send(Kind::FunctionKey, "\x1bOQ");
    QTRY_VERIFY_WITH_TIMEOUT(!queue.isBusy(), patience);

    QCOMPARE(seen.kind, Kind::Paste);
    QCOMPARE(seen.sent, qint64(5));
    QCOMPARE(seen.total, qint64(100));
    QCOMPARE(seen.waiting, 2);
    QVERIFY2(seen.elapsedMs >= 5 * (pause - 1), qPrintable(QString::number(seen.elapsedMs)));
    const qint64 left = (100 - 5) * pause;
    QVERIFY2(seen.msLeft >= left / 2 && seen.msLeft <= left * 3 / 2,
        qPrintable(QString::number(seen.msLeft)));
}

QTEST_GUILESS_MAIN(tst_TransmitQueue)
#include "tst_transmitqueue.moc"
