// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "hexview/xbytearray.h"

class tst_XByteArray : public QObject
{
    Q_OBJECT

private slots:
    void realAddressNumbers_data();
    void realAddressNumbers();
    void setAddressWidth_data();
    void setAddressWidth();
    void asciiChar_data();
    void asciiChar();
    void flagsFollowEdits();
    void replaceClipsAtTheEnd_data();
    void replaceClipsAtTheEnd();
    void outOfRangeEditsLeaveDataAlone_data();
    void outOfRangeEditsLeaveDataAlone();
    void dataChangedRange();
    void toRedableString_data();
    void toRedableString();
    void appendDataClearsFlags();
    void appendKeepsTheNewestBytes_data();
    void appendKeepsTheNewestBytes();
    void flagsAfterAnAppend_data();
    void flagsAfterAnAppend();
};

static XByteArray bufferOf(const QByteArray &bytes)
{
    XByteArray buffer;
    buffer.setData(bytes);
    return buffer;
}

static QByteArray sequence(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i));
    return bytes;
}

void tst_XByteArray::realAddressNumbers_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("digits");

    QTest::newRow("empty, width 4") << 0 << 0 << 4 << 4;
    QTest::newRow("65535 bytes end at ffff") << 65535 << 0 << 4 << 4;
    QTest::newRow("65536 bytes end at 10000") << 65536 << 0 << 4 << 5;
    QTest::newRow("offset 65535, one byte") << 1 << 65535 << 4 << 5;
    QTest::newRow("width 0, empty") << 0 << 0 << 0 << 1;
    QTest::newRow("width 6 pads") << 16 << 0 << 6 << 6;
}

void tst_XByteArray::realAddressNumbers()
{
    QFETCH(int, size);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(int, digits);

    XByteArray buffer = bufferOf(QByteArray(size, 'x'));
    buffer.setAddressOffset(offset);
    buffer.setAddressWidth(width);
    QCOMPARE(buffer.realAddressNumbers(), digits);
}

void tst_XByteArray::setAddressWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("expected");

    QTest::newRow("7 rejected") << 7 << 4;
    QTest::newRow("-1 rejected") << -1 << 4;
    QTest::newRow("0 accepted") << 0 << 0;
    QTest::newRow("6 accepted") << 6 << 6;
}

void tst_XByteArray::setAddressWidth()
{
    QFETCH(int, width);
    QFETCH(int, expected);

    XByteArray buffer;
    buffer.setAddressWidth(width);
    QCOMPARE(buffer.addressWidth(), expected);
}

void tst_XByteArray::asciiChar_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("index");
    QTest::addColumn<QChar>("expected");

    QTest::newRow("0x1f") << QByteArray("\x1f") << 0 << QChar('.');
    QTest::newRow("0x7f") << QByteArray("\x7f") << 0 << QChar('.');
    QTest::newRow("0x80") << QByteArray("\x80") << 0 << QChar('.');
    QTest::newRow("0x20") << QByteArray(" ") << 0 << QChar(' ');
    QTest::newRow("0x7e") << QByteArray("~") << 0 << QChar('~');
    QTest::newRow("past the end") << QByteArray("A") << 1 << QChar('.');
    QTest::newRow("negative") << QByteArray("A") << -1 << QChar('.');
}

void tst_XByteArray::asciiChar()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, index);
    QFETCH(QChar, expected);

    QCOMPARE(bufferOf(bytes).asciiChar(index), expected);
}

void tst_XByteArray::flagsFollowEdits()
{
    XByteArray buffer = bufferOf(sequence(10));
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray(10, 0));

    buffer.insert(3, QByteArray("\xaa\xbb"));
    QCOMPARE(buffer.size(), 12);
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray::fromHex("000000010100000000000000"));

    buffer.remove(0, 2);
    QCOMPARE(buffer.data(), QByteArray::fromHex("02aabb03040506070809"));
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray::fromHex("00010100000000000000"));

    buffer.replace(9, 'z');
    QVERIFY(buffer.dataChanged(9));
    QCOMPARE(buffer.size(), 10);

    buffer.replace(10, 'y'); // one past the end appends
    QCOMPARE(buffer.data().right(2), QByteArray("zy"));
    QCOMPARE(buffer.dataChanged(0, 100).size(), 11);
    QVERIFY(buffer.dataChanged(10));

    buffer.setData(QByteArray("abc"));
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray(3, 0));
}

void tst_XByteArray::replaceClipsAtTheEnd_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("flags");

    const QByteArray ba = QByteArray::fromHex("a1a2a3a4");
    QTest::newRow("two of four fit") << 5 << 4 << ba << QByteArray::fromHex("0001020304a1a2")
                                     << QByteArray::fromHex("00000000000101");
    QTest::newRow("inside") << 1 << 2 << ba << QByteArray::fromHex("00a1a203040506")
                            << QByteArray::fromHex("00010100000000");
    QTest::newRow("short replacement keeps size")
        << 2 << 4 << QByteArray("\xee") << QByteArray::fromHex("0001ee03040506")
        << QByteArray::fromHex("00000100000000");
}

void tst_XByteArray::replaceClipsAtTheEnd()
{
    QFETCH(int, index);
    QFETCH(int, length);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, flags);

    XByteArray buffer = bufferOf(sequence(7));
    buffer.replace(index, length, replacement);
    QCOMPARE(buffer.data(), expected);
    QCOMPARE(buffer.dataChanged(0, 100), flags);
}

void tst_XByteArray::outOfRangeEditsLeaveDataAlone_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("position");

    // Positions the widget never produces, but that the byte store must survive intact.
    for (const int position : {-1, 5}) {
        const QByteArray where = position < 0 ? "negative" : "past the end";
        QTest::newRow("insert char " + where) << 0 << position;
        QTest::newRow("insert bytes " + where) << 1 << position;
        QTest::newRow("remove " + where) << 2 << position;
        QTest::newRow("replace char " + where) << 3 << position;
        QTest::newRow("replace bytes " + where) << 4 << position;
        QTest::newRow("setDataChanged " + where) << 5 << position;
    }
}

void tst_XByteArray::outOfRangeEditsLeaveDataAlone()
{
    QFETCH(int, edit);
    QFETCH(int, position);

    XByteArray buffer = bufferOf(QByteArray("abc"));
    switch (edit) {
    case 0:
        buffer.insert(position, 'x');
        break;
    case 1:
        buffer.insert(position, QByteArray("xy"));
        break;
    case 2:
        buffer.remove(position, 2);
        break;
    case 3:
        buffer.replace(position, 'x');
        break;
    case 4:
        buffer.replace(position, 2, QByteArray("xy"));
        break;
    case 5:
        buffer.setDataChanged(position, true);
        break;
    }
    QCOMPARE(buffer.data(), QByteArray("abc"));
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray(3, 0));
    QVERIFY(!buffer.dataChanged(position));
}

void tst_XByteArray::dataChangedRange()
{
    XByteArray buffer = bufferOf(QByteArray(5, 'x'));
    buffer.setDataChanged(3, true);
    QCOMPARE(buffer.dataChanged(2, 100), QByteArray::fromHex("000100"));
    QVERIFY(buffer.dataChanged(3));
    QVERIFY(!buffer.dataChanged(5));

    buffer.setDataChanged(1, QByteArray::fromHex("0101"));
    QCOMPARE(buffer.dataChanged(0, 5), QByteArray::fromHex("0001010100"));
    buffer.setDataChanged(3, false);
    QVERIFY(!buffer.dataChanged(3));
}

void tst_XByteArray::toRedableString_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("expected");

    const QString hexRow0 = " 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f";
    const QString dots16 = QString(16, '.');

    QTest::newRow("three bytes") << QByteArray("AB\0", 3) << 0 << 0 << -1
                                 << QString("0000 " + QString(" 41 42 00").leftJustified(48) + "  "
                                        + QString("AB.").leftJustified(17) + "\n");
    QTest::newRow("end inside the first row shows the whole row")
        << sequence(20) << 0 << 0 << 5 << QString("0000 " + hexRow0 + "  " + dots16 + " \n");
    QTest::newRow("start off a row boundary")
        << sequence(20) << 0 << 3 << -1
        << QString("0003  03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12  " + dots16 + " \n0013 "
               + QString(" 13").leftJustified(48) + "  " + QString(".").leftJustified(17) + "\n");
    QTest::newRow("offset in the address") << QByteArray("~") << 0x1234 << 0 << -1
                                           << QString("1234 " + QString(" 7e").leftJustified(48)
                                                  + "  " + QString("~").leftJustified(17) + "\n");
    QTest::newRow("start at end is empty") << sequence(20) << 0 << 20 << -1 << QString();
    QTest::newRow("empty buffer") << QByteArray() << 0 << 0 << -1 << QString();
}

void tst_XByteArray::toRedableString()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, offset);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, expected);

    XByteArray buffer = bufferOf(bytes);
    buffer.setAddressOffset(offset);
    const QString dump = buffer.toRedableString(start, end);
    QCOMPARE(dump, expected);
    if (bytes.size() >= 16 && start == 0)
        QCOMPARE(dump.indexOf('\n') + 1, 73);
}

void tst_XByteArray::appendDataClearsFlags()
{
    XByteArray appended = bufferOf(sequence(6));
    appended.replace(2, 'x');
    appended.insert(0, QByteArray("yz"));
    XByteArray reference = bufferOf(appended.data() + QByteArray("tail"));

    appended.appendData(QByteArray("tail"));
    QCOMPARE(appended.data(), reference.data());
    QCOMPARE(appended.dataChanged(0, 100), QByteArray(12, 0));

    // once clean, a later append must not resurrect flags
    appended.appendData(QByteArray("more"));
    QCOMPARE(appended.dataChanged(0, 100), QByteArray(16, 0));
    QCOMPARE(appended.size(), 16);
}

// Byte p of a stream, for any p: 251 is prime, so a stream read from the wrong place differs.
static QByteArray stream(qint64 from, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = char((from + i) % 251);
    return bytes;
}

void tst_XByteArray::appendKeepsTheNewestBytes_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("loaded"); // by setData, before the appends
    QTest::addColumn<QVector<int>>("blocks");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("digits");

    // Past the limit, down to 7/8 of it in whole rows: 1025 - 896 = 129, so 144 go.
    QTest::newRow("up to the limit") << 1024 << 1000 << QVector<int> {24} << 1024 << 0 << 4;
    QTest::newRow("one byte past") << 1024 << 1024 << QVector<int> {1} << 881 << 144 << 4;
    QTest::newRow("64-byte blocks, two steps")
        << 1024 << 0 << QVector<int>(20, 64) << 896 << 384 << 4;
    QTest::newRow("block larger than the limit")
        << 1024 << 100 << QVector<int> {5000} << 892 << 4208 << 4;
    QTest::newRow("limit 1 is one row") << 1 << 0 << QVector<int> {31} << 15 << 16 << 4;
    QTest::newRow("addresses past ffff") << 4096 << 0 << QVector<int> {70000} << 3584 << 66416 << 5;
}

void tst_XByteArray::appendKeepsTheNewestBytes()
{
    QFETCH(int, limit);
    QFETCH(int, loaded);
    QFETCH(QVector<int>, blocks);
    QFETCH(int, kept);
    QFETCH(int, dropped);
    QFETCH(int, digits);

    XByteArray buffer;
    buffer.setHistoryLimit(limit);
    buffer.setData(stream(0, loaded));
    qint64 total = loaded;
    for (const int block : blocks) {
        const qint64 before = buffer.droppedBytes();
        buffer.appendData(stream(total, block));
        total += block;
        const qint64 step = buffer.droppedBytes() - before;
        QVERIFY2(step % 16 == 0 && (step == 0 || step > buffer.historyLimit() / 8), "bad step");
        QVERIFY(buffer.size() <= buffer.historyLimit());
    }

    QCOMPARE(buffer.droppedBytes(), qint64(dropped));
    QCOMPARE(buffer.data(), stream(dropped, kept));
    QCOMPARE(buffer.realAddressNumbers(), digits);
    QVERIFY(buffer.toRedableString().startsWith(
        QString::number(dropped, 16).rightJustified(digits, '0') + ' '));

    buffer.setData(QByteArray("abc"));
    QCOMPARE(buffer.droppedBytes(), qint64(0));
    QVERIFY(buffer.toRedableString().startsWith("0000  61 62 63"));
}

void tst_XByteArray::flagsAfterAnAppend_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("flags");

    const QByteArray clean(8, 0); // as an append leaves them
    QTest::newRow("clear one past the end adds one") << 0 << 8 << clean + '\0';
    QTest::newRow("set one") << 1 << 5 << QByteArray(clean).replace(5, 1, "\1");
    QTest::newRow("clear a run past the end") << 2 << 7 << clean + '\0';
    QTest::newRow("insert") << 3 << 0 << '\1' + clean;
    QTest::newRow("remove") << 4 << 2 << QByteArray(6, 0);
}

void tst_XByteArray::flagsAfterAnAppend()
{
    QFETCH(int, edit);
    QFETCH(int, position);
    QFETCH(QByteArray, flags);

    XByteArray buffer = bufferOf(sequence(4));
    buffer.setDataChanged(1, true);
    buffer.appendData(sequence(4));
    if (edit < 2)
        buffer.setDataChanged(position, edit == 1);
    else if (edit == 2)
        buffer.setDataChanged(position, QByteArray(2, 0));
    else if (edit == 3)
        buffer.insert(position, 'x');
    else
        buffer.remove(position, 2);
    QCOMPARE(buffer.dataChanged(0, INT_MAX), flags);
    for (int i = 0; i <= flags.size(); ++i)
        QCOMPARE(buffer.dataChanged(i), i < flags.size() && flags.at(i) != 0);
}

QTEST_APPLESS_MAIN(tst_XByteArray)
#include "tst_xbytearray.moc"
