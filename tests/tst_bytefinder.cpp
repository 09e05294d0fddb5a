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

} // namespace

class tst_ByteFinder : public QObject
{
    Q_OBJECT

private slots:
    void script_data();
    void script();
    void slicedCountIsStraightCount_data();
    void slicedCountIsStraightCount();
};

// One step a word: "?ab" searches for ab; "n" and "p" step; "-5" drops 5 bytes and "+ab" appends
// ab, both unannounced; "*" tells the finder of them; "0" resets to nothing; "~" and "!" expect
// counting to go on or to be done; "=6/0/2", once counted, expects the current match at offset
// 6, its index 0 and 2 matches.
void tst_ByteFinder::script_data()
{
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<qint64>("dropped");
    QTest::addColumn<QString>("steps");

    const QByteArray three("ab.........ab.........ab");
    QTest::newRow("overlapping") << QByteArray("aaaa") << qint64(0)
                                 << "?aa =0/0/3 n =1/1/3 n =2/2/3 n =0/0/3";
    QTest::newRow("previous wraps")
        << QByteArray("xabxabx") << qint64(0) << "?ab =1/0/2 p =4/1/2 p =1/0/2 n =4/1/2";
    QTest::newRow("none") << QByteArray("abc") << qint64(0)
                          << "?ac ! =-1/-1/0 n =-1/-1/0 p =-1/-1/0";
    QTest::newRow("typing on from the current match") << QByteArray(
        "ab.abc.abc") << qint64(0) << "?ab n =3/1/3 ?abc ~ =3/0/2 n =7/1/2 ?abc ! =7/1/2";
    // The kept bytes start inside a chunk, and matches lie on both sides of chunk borders.
    QByteArray spread(2 * chunk + 11, '.');
    for (const int at : {0, 2, 3, chunk + 2, chunk + 3, 2 * chunk + 10})
        spread[at] = 'x';
    QTest::newRow("across chunks")
        << spread << qint64(chunk - 3)
        << QStringLiteral("?x =0/0/6 p =%1/5/6 p =%2/4/6 p =%3/3/6 n n =%1/5/6 n =0/0/6")
               .arg(2 * chunk + 10)
               .arg(chunk + 3)
               .arg(chunk + 2);
    QTest::newRow("drop keeps the current match")
        << three << qint64(1000) << "?ab n =11/1/3 -5 * =6/0/2 p =17/1/2";
    QTest::newRow("drop takes the current match, next")
        << three << qint64(1000) << "?ab =0/0/3 -1 * =-1/-1/2 n =10/0/2";
    QTest::newRow("drop takes the current match, previous")
        << three << qint64(1000) << "?ab =0/0/3 -1 * =-1/-1/2 p =21/1/2";
    QTest::newRow("drop cuts into the current match")
        << three << qint64(1000) << "?ab n =11/1/3 -12 * =-1/-1/1 n =10/0/1";
    QTest::newRow("drop while counting") << three << qint64(1000) << "?ab ~ -3 * =-1/-1/2 n =8/0/2";
    QTest::newRow("append straddles the old end")
        << QByteArray("ab.a") << qint64(0) << "?ab =0/0/1 +b * =0/0/2 n =3/1/2";
    QTest::newRow("overlaps across the old end")
        << QByteArray("aaa") << qint64(0) << "?aaa =0/0/1 +aa * =0/0/3 n =1/1/3";
    QTest::newRow("append while counting")
        << QByteArray("ab.a") << qint64(0) << "?ab ~ +bab * =0/0/3 p =5/2/3";
    QTest::newRow("drop and append, noticed on stepping")
        << three << qint64(1000) << "?ab n n =22/2/3 -11 +.ab p =0/0/3";
    QTest::newRow("a match at byte 0 after none")
        << QByteArray() << qint64(0) << "?ab n =-1/-1/0 +ab.ab * =-1/-1/2 n =0/0/2";
    QTest::newRow("reset to nothing, then bytes")
        << three << qint64(1000) << "?ab n =11/1/3 0 =-1/-1/0 +.ab..ab * =-1/-1/2 n =1/0/2";
}

void tst_ByteFinder::script()
{
    QFETCH(QByteArray, kept);
    QFETCH(qint64, dropped);
    QFETCH(QString, steps);

    Fixture f(kept, dropped);
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const QByteArray argument = step.mid(1).toLatin1();
        switch (step.at(0).toLatin1()) {
        case '?':
            f.finder.setSearch(argument);
            break;
        case 'n':
            f.finder.next();
            break;
        case 'p':
            f.finder.previous();
            break;
        case '-':
            f.drop(argument.toInt());
            break;
        case '+':
            f.kept += argument;
            break;
        case '*':
            f.finder.historyChanged();
            break;
        case '0':
            f.kept.clear();
            f.dropped = 0;
            f.finder.historyReset();
            break;
        case '~':
        case '!':
            QCOMPARE(f.finder.countingDone(), step == QLatin1String("!"));
            break;
        default: {
            QVERIFY(f.waitForCount());
            const QList<QByteArray> expected = argument.split('/');
            const int offset = expected.at(0).toInt();
            QCOMPARE(f.finder.currentOffset(), offset);
            QCOMPARE(f.finder.currentPosition(), offset < 0 ? -1 : f.dropped + offset);
            QCOMPARE(f.finder.currentIndex(), expected.at(1).toInt());
            QCOMPARE(f.finder.count(), expected.at(2).toInt());
            QCOMPARE(f.finder.count(), f.straightCount());
        }
        }
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
