// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/bytefinder.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

constexpr int chunk = int(ByteFinder::ChunkSize);

// A finder over a history of kept bytes that the test appends to and drops from.
struct Fixture
{
    Fixture(const QByteArray &bytes, qint64 droppedBefore)
        : kept(bytes)
        , dropped(droppedBefore)
    {
        finder.setHistory([this] { return kept; }, [this] { return dropped; });
    }

    void drop(int bytes)
    {
        kept.remove(0, bytes);
        dropped += bytes;
    }
    bool waitForCount() const
    {
        return QTest::qWaitFor([this] { return finder.countingDone(); });
    }
    // Every start in the kept bytes below `offset`, overlaps included.
    int straightCount(int offset = -1) const
    {
        const QByteArray needle = finder.bytes();
        const int to = offset < 0 ? kept.size() : offset;
        int found = 0;
        for (int at = 0; at < to && at + needle.size() <= kept.size(); ++at)
            found += std::equal(needle.begin(), needle.end(), kept.constBegin() + at) ? 1 : 0;
        return found;
    }

    QByteArray kept;
    qint64 dropped;
    ByteFinder finder;
};

QByteArray bytesAt(const QList<int> &offsets, char byte, int size)
{
    QByteArray bytes(size, '.');
    for (const int offset : offsets)
        bytes[offset] = byte;
    return bytes;
}

} // namespace

class tst_ByteFinder : public QObject
{
    Q_OBJECT

private slots:
    void stepping_data();
    void stepping();
    void followsTheHistory_data();
    void followsTheHistory();
    void slicedCountIsStraightCount_data();
    void slicedCountIsStraightCount();
};

void tst_ByteFinder::stepping_data()
{
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<qint64>("dropped");
    QTest::addColumn<QByteArray>("needle");
    // n: next, p: previous, r: search again for `refined`.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArray>("refined");
    // The current match's offset before the first step and after each one.
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<int>("count");

    QTest::newRow("overlapping") << QByteArray("aaaa") << qint64(0) << QByteArray("aa") << "nnn"
                                 << QByteArray() << QList<int> {0, 1, 2, 0}
                                 << QList<int> {0, 1, 2, 0} << 3;
    QTest::newRow("previous wraps")
        << QByteArray("xabxabx") << qint64(0) << QByteArray("ab") << "ppn" << QByteArray()
        << QList<int> {1, 4, 1, 4} << QList<int> {0, 1, 0, 1} << 2;
    QTest::newRow("first and last bytes")
        << QByteArray("ab.ab") << qint64(7) << QByteArray("ab") << "nnp" << QByteArray()
        << QList<int> {0, 3, 0, 3} << QList<int> {0, 1, 0, 1} << 2;
    QTest::newRow("one match") << QByteArray("..ab..") << qint64(0) << QByteArray("ab") << "np"
                               << QByteArray() << QList<int> {2, 2, 2} << QList<int> {0, 0, 0} << 1;
    QTest::newRow("none") << QByteArray("abc") << qint64(0) << QByteArray("ac") << "np"
                          << QByteArray() << QList<int> {-1, -1, -1} << QList<int> {-1, -1, -1}
                          << 0;
    QTest::newRow("longer than the bytes")
        << QByteArray("ab") << qint64(0) << QByteArray("abc") << "n" << QByteArray()
        << QList<int> {-1, -1} << QList<int> {-1, -1} << 0;
    QTest::newRow("typing on from the current match")
        << QByteArray("ab.abc.abc") << qint64(0) << QByteArray("ab") << "nrnr" << QByteArray("abc")
        << QList<int> {0, 3, 3, 7, 7} << QList<int> {0, 1, 0, 1, 1} << 3;
    QTest::newRow("the same bytes again")
        << QByteArray("abab") << qint64(0) << QByteArray("ab") << "nr" << QByteArray("ab")
        << QList<int> {0, 2, 2} << QList<int> {0, 1, 1} << 2;
    // The kept bytes start inside a chunk, and matches lie on both sides of chunk borders.
    const QList<int> spread {0, 2, 3, chunk + 2, chunk + 3, 2 * chunk + 10};
    QTest::newRow("across chunks")
        << bytesAt(spread, 'x', 2 * chunk + 11) << qint64(chunk - 3) << QByteArray("x") << "pppnn"
        << QByteArray() << QList<int> {0, spread[5], spread[4], spread[3], spread[4], spread[5]}
        << QList<int> {0, 5, 4, 3, 4, 5} << 6;
}

void tst_ByteFinder::stepping()
{
    QFETCH(QByteArray, kept);
    QFETCH(qint64, dropped);
    QFETCH(QByteArray, needle);
    QFETCH(QString, steps);
    QFETCH(QByteArray, refined);
    QFETCH(QList<int>, offsets);
    QFETCH(QList<int>, indexes);
    QFETCH(int, count);

    Fixture f(kept, dropped);
    f.finder.setSearch(needle);
    QCOMPARE(f.finder.currentOffset(), offsets[0]);
    QVERIFY(f.waitForCount());
    QCOMPARE(f.finder.count(), count);
    QCOMPARE(f.finder.currentIndex(), indexes[0]);
    for (int i = 0; i < steps.size(); ++i) {
        if (steps[i] == QLatin1Char('n')) {
            f.finder.next();
        } else if (steps[i] == QLatin1Char('p')) {
            f.finder.previous();
        } else {
            const bool same = refined == f.finder.bytes();
            f.finder.setSearch(refined);
            // The same bytes again, as typed on in the field, are not counted again.
            QCOMPARE(f.finder.countingDone(), same);
            QVERIFY(f.waitForCount());
        }
        QCOMPARE(f.finder.currentOffset(), offsets[i + 1]);
        QCOMPARE(f.finder.currentPosition(), offsets[i + 1] < 0 ? -1 : dropped + offsets[i + 1]);
        QCOMPARE(f.finder.currentIndex(), indexes[i + 1]);
    }
    QCOMPARE(f.finder.count(), f.straightCount());
}

void tst_ByteFinder::followsTheHistory_data()
{
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("nextsBefore");
    // Whether the change comes before the first slice of counting or after the last.
    QTest::addColumn<bool>("whileCounting");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("drop");
    QTest::addColumn<QByteArray>("appended");
    // Afterwards: the current match, its index and the count; then where Next and, instead,
    // Previous go.
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("nextOffset");
    QTest::addColumn<int>("previousOffset");

    const QByteArray three("ab.........ab.........ab");
    QTest::newRow("drop keeps the current match")
        << three << QByteArray("ab") << 1 << false << false << 5 << QByteArray() << 6 << 0 << 2
        << 17 << 17;
    QTest::newRow("drop takes the current match")
        << three << QByteArray("ab") << 0 << false << false << 1 << QByteArray() << -1 << -1 << 2
        << 10 << 21;
    QTest::newRow("drop cuts into the current match")
        << three << QByteArray("ab") << 1 << false << false << 12 << QByteArray() << -1 << -1 << 1
        << 10 << 10;
    QTest::newRow("drop while counting") << three << QByteArray("ab") << 0 << true << false << 3
                                         << QByteArray() << -1 << -1 << 2 << 8 << 19;
    QTest::newRow("append straddles the old end")
        << QByteArray("ab.a") << QByteArray("ab") << 0 << false << false << 0 << QByteArray("b")
        << 0 << 0 << 2 << 3 << 3;
    QTest::newRow("append while counting")
        << QByteArray("ab.a") << QByteArray("ab") << 0 << true << false << 0 << QByteArray("bab")
        << 0 << 0 << 3 << 3 << 5;
    QTest::newRow("overlaps across the old end")
        << QByteArray("aaa") << QByteArray("aaa") << 0 << false << false << 0 << QByteArray("aa")
        << 0 << 0 << 3 << 1 << 2;
    QTest::newRow("drop and append at once") << three << QByteArray("ab") << 2 << false << false
                                             << 11 << QByteArray(".ab") << 11 << 1 << 3 << 14 << 0;
    QTest::newRow("a match at byte 0 after none")
        << QByteArray() << QByteArray("ab") << 1 << false << false << 0 << QByteArray("ab.") << -1
        << -1 << 1 << 0 << 0;
    QTest::newRow("reset, then bytes") << three << QByteArray("ab") << 2 << false << true << 0
                                       << QByteArray(".ab..ab") << -1 << -1 << 2 << 1 << 5;
    QTest::newRow("reset to empty") << three << QByteArray("ab") << 1 << false << true << 0
                                    << QByteArray() << -1 << -1 << 0 << -1 << -1;
}

void tst_ByteFinder::followsTheHistory()
{
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, needle);
    QFETCH(int, nextsBefore);
    QFETCH(bool, whileCounting);
    QFETCH(bool, reset);
    QFETCH(int, drop);
    QFETCH(QByteArray, appended);
    QFETCH(int, offset);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(int, nextOffset);
    QFETCH(int, previousOffset);

    for (const bool backward : {false, true}) {
        Fixture f(kept, 1000);
        f.finder.setSearch(needle);
        for (int i = 0; i < nextsBefore; ++i)
            f.finder.next();
        if (!whileCounting)
            QVERIFY(f.waitForCount());
        const qint64 position = f.finder.currentPosition();
        if (reset) {
            f.kept.clear();
            f.dropped = 0;
            f.finder.historyReset();
            QCOMPARE(f.finder.count(), 0);
            QCOMPARE(f.finder.currentPosition(), -1);
        }
        f.drop(drop);
        f.kept += appended;
        f.finder.historyChanged();
        QVERIFY(f.waitForCount());
        QCOMPARE(f.finder.currentOffset(), offset);
        QCOMPARE(f.finder.currentIndex(), index);
        QCOMPARE(f.finder.count(), count);
        QCOMPARE(f.finder.count(), f.straightCount());
        // A kept match stays on the same bytes.
        if (offset >= 0)
            QCOMPARE(f.finder.currentPosition(), position);
        if (backward)
            f.finder.previous();
        else
            f.finder.next();
        QCOMPARE(f.finder.currentOffset(), backward ? previousOffset : nextOffset);
        if (f.finder.currentOffset() >= 0)
            QCOMPARE(f.finder.currentIndex(), f.straightCount(f.finder.currentOffset()));
    }
}

void tst_ByteFinder::slicedCountIsStraightCount_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("size");
    // Bytes drawn from the first `alphabet` letters; fewer letters, denser matches.
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<int>("needleSize");

    QTest::newRow("one letter, runs") << 1u << 3 * chunk << 1 << 2;
    QTest::newRow("two letters, one byte") << 2u << 40 * chunk << 2 << 1;
    QTest::newRow("two letters, three bytes") << 3u << 40 * chunk << 2 << 3;
    QTest::newRow("four letters, five bytes") << 4u << 9 * chunk + 17 << 4 << 5;
    QTest::newRow("sixteen letters, two bytes") << 5u << 40 * chunk << 16 << 2;
    QTest::newRow("sparse, longer than a change") << 6u << 5 * chunk << 26 << 4;
}

// Bytes arrive and go between the slices of counting and after it, as on a full history.
void tst_ByteFinder::slicedCountIsStraightCount()
{
    QFETCH(quint32, seed);
    QFETCH(int, size);
    QFETCH(int, alphabet);
    QFETCH(int, needleSize);

    QRandomGenerator random(seed);
    const auto randomBytes = [&](int count) {
        QByteArray bytes(count, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char('a' + random.bounded(alphabet));
        return bytes;
    };
    Fixture f(randomBytes(size), random.bounded(3 * chunk));
    // Taken from the bytes, so that it is found at least once.
    const int at = random.bounded(size - needleSize);
    f.finder.setSearch(f.kept.mid(at, needleSize));
    QVERIFY(f.finder.currentOffset() >= 0);
    for (int change = 0; change < 60; ++change) {
        // Changes of up to a chunk and a half, now and then many chunks at once.
        const int most = change % 10 == 9 ? 5 * chunk : 3 * chunk / 2;
        f.kept += randomBytes(random.bounded(most));
        f.drop(qMin(random.bounded(most), f.kept.size() - needleSize));
        if (change % 3 == 0)
            f.finder.historyChanged();
        if (change % 4 == 0)
            f.finder.next();
        if (change % 2 == 0)
            QTest::qWait(0);
    }
    // Told of only some changes, it notices the others when it next counts or steps; the
    // getters cannot.
    f.finder.historyChanged();
    QVERIFY(f.waitForCount());
    QCOMPARE(f.finder.count(), f.straightCount());
    if (f.finder.currentOffset() < 0)
        f.finder.previous();
    QVERIFY(f.finder.currentOffset() >= 0);
    QCOMPARE(f.finder.currentIndex(), f.straightCount(f.finder.currentOffset()));
}

QTEST_GUILESS_MAIN(tst_ByteFinder)
#include "tst_bytefinder.moc"
