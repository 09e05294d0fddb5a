// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "hexview/hexlayout.h"

class tst_HexLayout : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void hitTest_data();
    void hitTest();
    void cursorCell_data();
    void cursorCell();
    void rowsToPaint_data();
    void rowsToPaint();
    void scrollingByRows_data();
    void scrollingByRows();
};

namespace {
const qint64 TwoGB = INT_MAX; // the most a byte array can hold, near enough
}

void tst_HexLayout::geometry_data()
{
    QTest::addColumn<int>("charHeight");
    QTest::addColumn<bool>("addressArea");
    QTest::addColumn<bool>("asciiArea");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("hexX");
    QTest::addColumn<int>("asciiX");
    QTest::addColumn<int>("minimumWidth");
    QTest::addColumn<qint64>("documentHeight");
    QTest::addColumn<int>("widgetHeight");
    QTest::addColumn<bool>("byRows");

    // Cell 10 x 16 and 4 address digits throughout.
    QTest::newRow("both areas, 100 bytes")
        << 16 << true << true << qint64(100) << 50 << 536 << 696 << qint64(117) << 117 << false;
    QTest::newRow("ASCII hidden") << 16 << true << false << qint64(100) << 50 << 536 << 520
                                  << qint64(117) << 117 << false;
    QTest::newRow("address hidden")
        << 16 << false << true << qint64(100) << 0 << 486 << 646 << qint64(117) << 117 << false;
    QTest::newRow("empty") << 16 << true << true << qint64(0) << 50 << 536 << 696 << qint64(21)
                           << 21 << false;
    QTest::newRow("tallest widget that holds every row")
        << 16 << true << true << qint64(16777184) << 50 << 536 << 696 << qint64(16777205)
        << 16777205 << false;
    QTest::newRow("one row more") << 16 << true << true << qint64(16777200) << 50 << 536 << 696
                                  << qint64(16777221) << 16777214 << true;
    QTest::newRow("2 GB") << 16 << true << true << TwoGB << 50 << 536 << 696 << qint64(2147483653)
                          << 16777214 << true;
}

void tst_HexLayout::geometry()
{
    QFETCH(int, charHeight);
    QFETCH(bool, addressArea);
    QFETCH(bool, asciiArea);
    QFETCH(qint64, size);

    const HexLayout layout(10, charHeight, 4, addressArea, asciiArea, size);
    QTEST(layout.hexX(), "hexX");
    QTEST(layout.asciiX(), "asciiX");
    QTEST(layout.minimumWidth(), "minimumWidth");
    QTEST(layout.documentHeight(), "documentHeight");
    QTEST(layout.widgetHeight(), "widgetHeight");
    QTEST(layout.scrollsByRows(), "byRows");
}

void tst_HexLayout::hitTest_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<qint64>("y");
    QTest::addColumn<qint64>("expected");

    // Cell 10 x 16, hex area from x = 50 to 519.
    QTest::newRow("first digit") << 50 << qint64(3) << qint64(0);
    QTest::newRow("gap counts as second digit") << 79 << qint64(3) << qint64(1);
    QTest::newRow("row 2, column 5") << 100 << qint64(3 + 2 * 16) << qint64(67);
    QTest::newRow("last digit of a row") << 519 << qint64(18) << qint64(31);
    QTest::newRow("row boundary is 3 pixels down") << 50 << qint64(19) << qint64(32);
    QTest::newRow("left of the hex area") << 49 << qint64(3) << qint64(-1);
    QTest::newRow("right of the hex area") << 520 << qint64(3) << qint64(-1);
    QTest::newRow("last row of 2 GB")
        << 50 << qint64(3) + (TwoGB / 16) * 16 + 15 << (TwoGB / 16) * 32;
}

void tst_HexLayout::hitTest()
{
    QFETCH(int, x);
    QFETCH(qint64, y);

    const HexLayout layout(10, 16, 4, true, true, TwoGB);
    QTEST(layout.hitTest(x, y), "expected");
}

void tst_HexLayout::cursorCell_data()
{
    QTest::addColumn<qint64>("position");
    QTest::addColumn<int>("x");
    QTest::addColumn<qint64>("y");

    QTest::newRow("0") << qint64(0) << 50 << qint64(4);
    QTest::newRow("35, second digit of byte 17") << qint64(35) << 90 << qint64(20);
    QTest::newRow("last digit of 2 GB")
        << 2 * TwoGB - 1 << 50 + 43 * 10 << (2 * TwoGB - 1) / 32 * 16 + 4;
}

void tst_HexLayout::cursorCell()
{
    QFETCH(qint64, position);

    const HexLayout layout(10, 16, 4, true, true, TwoGB);
    const HexLayout::Cell cell = layout.cursorCell(position);
    QTEST(cell.x, "x");
    QTEST(cell.y, "y");
    // the cell is where a click reaches the same digit
    QCOMPARE(layout.hitTest(cell.x, cell.y), position);
}

void tst_HexLayout::rowsToPaint_data()
{
    QTest::addColumn<qint64>("top");
    QTest::addColumn<qint64>("bottom");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("end");

    // Cell height 16: a margin of 16 rows above and below.
    QTest::newRow("top of the document") << qint64(0) << qint64(399) << qint64(0) << qint64(40);
    QTest::newRow("further down") << qint64(1000) << qint64(1399) << qint64(46) << qint64(103);
    QTest::newRow("one cursor cell") << qint64(36) << qint64(51) << qint64(0) << qint64(19);
    QTest::newRow("past 2^31 pixels")
        << qint64(2147483000) << qint64(2147483399) << qint64(134217671) << qint64(134217728);
}

void tst_HexLayout::rowsToPaint()
{
    QFETCH(qint64, top);
    QFETCH(qint64, bottom);

    const HexLayout layout(10, 16, 4, true, true, TwoGB);
    const HexLayout::Rows rows = layout.rowsToPaint(top, bottom);
    QTEST(rows.first, "first");
    QTEST(rows.end, "end");
}

void tst_HexLayout::scrollingByRows_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("charHeight");
    QTest::addColumn<int>("viewport");

    QTest::newRow("20 MB, fewer rows than scroll bar values") << qint64(20 << 20) << 17 << 383;
    QTest::newRow("64 MB") << qint64(64 << 20) << 16 << 400;
    QTest::newRow("2 GB, more rows than values") << TwoGB << 16 << 400;
    QTest::newRow("2 GB, a viewport lower than a row") << TwoGB << 40 << 30;
}

void tst_HexLayout::scrollingByRows()
{
    QFETCH(qint64, size);
    QFETCH(int, charHeight);
    QFETCH(int, viewport);

    const HexLayout layout(10, charHeight, 4, true, true, size);
    QVERIFY(layout.scrollsByRows());
    const int maximum = layout.widgetHeight() - viewport;
    const qint64 last = layout.lastTopRow(viewport);

    // At the bottom the document ends on screen, with no row to spare, so the row holding the
    // last byte is whole.
    QVERIFY(layout.documentHeight() <= last * charHeight + viewport);
    QVERIFY(layout.documentHeight() > (last - 1) * charHeight + viewport);

    // The ends of the scroll bar are the ends of the document and nothing else is; in between
    // the rows follow the bar in order.
    QCOMPARE(layout.topRowForValue(0, maximum, viewport), qint64(0));
    QCOMPARE(layout.topRowForValue(maximum, maximum, viewport), last);
    QCOMPARE(layout.valueForTopRow(0, maximum, viewport), 0);
    QCOMPARE(layout.valueForTopRow(last, maximum, viewport), maximum);
    QVERIFY(layout.topRowForValue(1, maximum, viewport) > 0);
    QVERIFY(layout.topRowForValue(maximum - 1, maximum, viewport) < last);
    QVERIFY(layout.valueForTopRow(1, maximum, viewport) > 0);
    QVERIFY(layout.valueForTopRow(last - 1, maximum, viewport) < maximum);
    qint64 previous = 0;
    for (int step = 1; step <= 64; ++step) {
        const int value = int(qint64(maximum) * step / 64);
        const qint64 row = layout.topRowForValue(value, maximum, viewport);
        QVERIFY(row >= previous);
        previous = row;
        // the value kept for a row lies within one row's worth of values of it
        const int back = layout.valueForTopRow(row, maximum, viewport);
        QVERIFY(qAbs(back - value) <= qMax<qint64>(1, maximum / last + 1));
    }
}

QTEST_APPLESS_MAIN(tst_HexLayout)
#include "tst_hexlayout.moc"
