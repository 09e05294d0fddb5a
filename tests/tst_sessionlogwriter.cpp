// SPDX-License-Identifier: GPL-3.0-or-later
#include "fatalfaults.h"
#include "permissionchecks.h"
#include "sessionlog/sessionlogwriter.h"
#include "testfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

const int patience = 30000;

// Every byte value, in blocks of random sizes up to `largest`; returns what was handed over.
QByteArray feed(SessionLogWriter &writer, int total, int largest)
{
    QByteArray all(total, Qt::Uninitialized);
    for (int i = 0; i < total; ++i)
        all[i] = char(i ^ (i >> 8));
    QRandomGenerator random {quint32(total)};
    for (int at = 0; at < total;) {
        const int size = qMin(int(random.bounded(1, largest + 1)), total - at);
        writer.append(all.mid(at, size));
        at += size;
    }
    return all;
}

// Reads `count` bytes, or with -1 up to the end, from a non-blocking descriptor.
QByteArray readFrom(int descriptor, int count)
{
    QByteArray received;
    pollfd readable = {descriptor, POLLIN, 0};
    while (count < 0 || received.size() < count) {
        char buffer[65536];
        const size_t wanted
            = count < 0 ? sizeof buffer : qMin(sizeof buffer, size_t(count - received.size()));
        const ssize_t got = ::read(descriptor, buffer, wanted);
        if (got > 0)
            received.append(buffer, int(got));
        else if (got == 0 || errno != EAGAIN || ::poll(&readable, 1, patience) <= 0)
            break;
    }
    return received;
}

// A FIFO at `path` and a reader of it that never waits; -1 when either cannot be had.
int fifoWithReader(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::mkfifo(name.constData(), 0600) == 0
        ? ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
        : -1;
}

} // namespace

// The session log writer against real files and FIFOs: what it records, where, how it fails.
class tst_SessionLogWriter : public QObject
{
    Q_OBJECT

private slots:
    void record_data();
    void record();
    void faults_data();
    void faults();
    void stop_data();
    void stop();
};

void tst_SessionLogWriter::record_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("before");

    const QByteArray earlier("earlier\0record\r\n", 16);
    QTest::newRow("append to a file with content") << QStringLiteral("append") << earlier;
    QTest::newRow("append makes a missing file") << QStringLiteral("append") << QByteArray();
    QTest::newRow("replace a file with content") << QStringLiteral("replace") << earlier;
    QTest::newRow("a new file, two names taken") << QStringLiteral("new") << earlier;
    QTest::newRow("append to a FIFO") << QStringLiteral("fifo") << QByteArray();
}

void tst_SessionLogWriter::record()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, before);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const mode_t previousMask = umask(027);
    const auto restoreMask = qScopeGuard([previousMask] { umask(previousMask); });
    const QDateTime openedAt(QDate(2026, 12, 7), QTime(19, 45, 3));
    const QString stamp = QStringLiteral("solvane-2026-12-07_19-45-03");
    const QStringList taken
        = {directory.filePath(stamp + ".log"), directory.filePath(stamp + "-2.log")};
    QString path = directory.filePath(QStringLiteral("session.log"));
    if (how == QLatin1String("new")) {
        QCOMPARE(directory.filePath(SessionLogWriter::fileNameFor(openedAt)), taken.at(0));
        for (const QString &name : taken)
            QVERIFY(writeFile(name, before));
        path = directory.filePath(stamp + "-3.log");
    } else if (!before.isNull()) {
        QVERIFY(writeFile(path, before));
    }
    SessionLogWriter writer;
    QSignalSpy stopped(&writer, &SessionLogWriter::stopped);
    QSignalSpy failed(&writer, &SessionLogWriter::failed);
    int reader = -1;
    const auto closeReader = qScopeGuard([&reader] { ::close(reader); });
    if (how == QLatin1String("fifo")) {
        reader = fifoWithReader(path);
        QVERIFY(reader >= 0);
    }

    const bool opened = how == QLatin1String("new")
        ? writer.openNewIn(directory.path(), openedAt)
        : writer.open(path,
            how == QLatin1String("replace") ? SessionLogWriter::Mode::Replace
                                            : SessionLogWriter::Mode::Append);
    QVERIFY2(opened, qPrintable(writer.errorString()));
    QCOMPARE(writer.fileName(), path);
    const QByteArray sent = feed(writer, 1 << 20, 4096);
    writer.stop();
    const QByteArray recorded = reader >= 0 ? readFrom(reader, -1) : QByteArray();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, patience);

    const QByteArray expected = (how == QLatin1String("append") ? before : QByteArray()) + sent;
    QCOMPARE(reader >= 0 ? recorded : contents(path), expected);
    QCOMPARE(writer.size(), qint64(expected.size()));
    QCOMPARE(failed.count(), 0);
    if (how == QLatin1String("new")) {
        for (const QString &name : taken)
            QCOMPARE(contents(name), before);
    }
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    if ((how == QLatin1String("append") && before.isNull()) || how == QLatin1String("new"))
        QCOMPARE(status.st_mode & 0777, mode_t(0640));
}

void tst_SessionLogWriter::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("openError");
    QTest::addColumn<QString>("reason");
    // How much of what was handed over reaches the file or the FIFO's reader; -1: a prefix.
    QTest::addColumn<int>("written");

    const auto text = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };
    QTest::newRow("file-size limit") << "limit" << 0 << text(EFBIG) << 4096;
    QTest::newRow("disk full") << "full" << 0 << text(ENOSPC) << 0;
    QTest::newRow("FIFO whose reader quits") << "quits" << 0 << text(EPIPE) << 4096;
    QTest::newRow("FIFO whose reader stalls")
        << "stalls" << 0
        << QStringLiteral("More than 32 MiB waiting to be written: the disk does not keep up")
        << -1;
    QTest::newRow("file removed") << "removed" << 0 << text(ENOENT) << -1;
    QTest::newRow("FIFO without a reader") << "no reader" << ENXIO << QString() << 0;
    QTest::newRow("missing folder") << "missing" << ENOENT << QString() << 0;
    QTest::newRow("no permission") << "permission" << EACCES << QString() << 0;
}

void tst_SessionLogWriter::faults()
{
    QFETCH(QString, fault);
    QFETCH(int, openError);
    QFETCH(QString, reason);
    QFETCH(int, written);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QString path = directory.filePath(QStringLiteral("session.log"));
    SessionLogWriter writer;
    QSignalSpy stopped(&writer, &SessionLogWriter::stopped);
    QSignalSpy failed(&writer, &SessionLogWriter::failed);
    // Closed before the writer goes, whose last write may wait for it.
    int reader = -1;
    const auto closeReader = qScopeGuard([&reader] { ::close(reader); });
    std::optional<PermissionChecks> permissionChecks;
    if (fault == QLatin1String("full")) {
        path = QStringLiteral("/dev/full");
    } else if (fault == QLatin1String("missing")) {
        path = directory.filePath(QStringLiteral("missing/session.log"));
    } else if (fault == QLatin1String("permission")) {
        QVERIFY(writeFile(path, "kept"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        permissionChecks.emplace();
        QVERIFY(permissionChecks->isActive());
    } else if (fault != QLatin1String("limit") && fault != QLatin1String("removed")) {
        reader = fifoWithReader(path);
        QVERIFY(reader >= 0);
        if (fault == QLatin1String("no reader"))
            ::close(std::exchange(reader, -1));
    }

    const FatalFaults fatal(fault == QLatin1String("limit") ? 4096 : RLIM_INFINITY);
    QVERIFY(fatal.isActive());
    const bool opened = writer.open(path, SessionLogWriter::Mode::Append);
    permissionChecks.reset();
    if (openError != 0) {
        QVERIFY(!opened);
        QVERIFY(!writer.isOpen());
        QCOMPARE(writer.errorString(), QString::fromLocal8Bit(std::strerror(openError)));
        if (fault == QLatin1String("permission"))
            QCOMPARE(contents(path), QByteArray("kept"));
        return;
    }
    QVERIFY2(opened, qPrintable(writer.errorString()));

    QByteArray sent;
    QByteArray received;
    if (fault == QLatin1String("removed")) {
        sent = feed(writer, 4096, 512);
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size(), qint64(sent.size()), patience);
        // What went into the file after it lost its name is read through this.
        reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(reader >= 0);
        QVERIFY(QFile::remove(path));
        sent += feed(writer, 4096, 512);
    } else if (fault == QLatin1String("quits")) {
        sent = feed(writer, 4096, 512);
        received = readFrom(reader, sent.size());
        ::close(std::exchange(reader, -1));
        sent += feed(writer, 4096, 512);
    } else {
        sent = feed(writer, fault == QLatin1String("stalls") ? 40 << 20 : 65536,
            fault == QLatin1String("stalls") ? 1 << 20 : 4096);
    }
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, patience);
    QCOMPARE(failed.first().first().toString(), reason);
    if (fault == QLatin1String("stalls"))
        received = readFrom(reader, -1);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, patience);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!writer.isOpen());
    QVERIFY(FatalFaults::hasDefaultAction(SIGXFSZ) && FatalFaults::hasDefaultAction(SIGPIPE));

    if (fault == QLatin1String("limit"))
        received = contents(path);
    if (fault == QLatin1String("removed"))
        received = readFrom(reader, -1);
    if (written >= 0)
        QCOMPARE(received.size(), written);
    QCOMPARE(received, sent.left(received.size()));
    QCOMPARE(writer.size(), qint64(received.size()));
}

void tst_SessionLogWriter::stop_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("stop()") << "stop";
    QTest::newRow("destructor") << "destroy";
    QTest::newRow("destructor, FIFO whose reader stalls") << "stalled";
    QTest::newRow("finish(), then another writer replaces the file") << "finish";
}

void tst_SessionLogWriter::stop()
{
    QFETCH(QString, how);
    const bool stalledReader = how == QLatin1String("stalled");

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("session.log"));
    int reader = -1;
    const auto closeReader = qScopeGuard([&reader] { ::close(reader); });
    if (stalledReader) {
        reader = fifoWithReader(path);
        QVERIFY(reader >= 0);
    }
    auto writer = std::make_unique<SessionLogWriter>();
    QSignalSpy stopped(writer.get(), &SessionLogWriter::stopped);
    QVERIFY(writer->open(path, SessionLogWriter::Mode::Replace));
    const QByteArray sent = feed(*writer, stalledReader ? 1 << 20 : 16 << 20, 65536);
    if (stalledReader) {
        // Should the writer wait for the reader for good, this reads, so the test fails instead
        // of hanging.
        std::atomic<bool> destroyed {false};
        std::atomic<bool> rescued {false};
        std::thread watchdog([&] {
            for (int waitedMs = 0; !destroyed && waitedMs < patience; waitedMs += 10)
                QThread::msleep(10);
            if (!destroyed) {
                rescued = true;
                readFrom(reader, sent.size());
            }
        });
        writer.reset();
        destroyed = true;
        watchdog.join();
        QVERIFY(!rescued);
        const QByteArray received = readFrom(reader, -1);
        QVERIFY(received.size() < sent.size());
        QCOMPARE(received, sent.left(received.size()));
        return;
    }
    if (how == QLatin1String("destroy")) {
        writer.reset();
        QCOMPARE(contents(path), sent);
        return;
    }
    if (how == QLatin1String("finish")) {
        writer->finish();
        QVERIFY(!writer->isOpen());
        SessionLogWriter replacing;
        QVERIFY(replacing.open(path, SessionLogWriter::Mode::Replace));
        replacing.append("new");
        replacing.finish();
        QCOMPARE(contents(path), QByteArray("new"));
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, patience);
        return;
    }

    writer->stop();
    QVERIFY(!writer->isOpen());
    writer->append("ignored");
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, patience);
    QCOMPARE(contents(path), sent);
    QCOMPARE(writer->size(), qint64(sent.size()));

    // Stopped, the writer can log again.
    QVERIFY(writer->open(path, SessionLogWriter::Mode::Append));
    QCOMPARE(writer->size(), qint64(sent.size()));
    writer->append("more");
    writer->stop();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, patience);
    QCOMPARE(contents(path), sent + "more");
}

QTEST_GUILESS_MAIN(tst_SessionLogWriter)

#include "tst_sessionlogwriter.moc"
