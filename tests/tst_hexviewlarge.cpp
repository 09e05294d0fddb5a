// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QImage>
#include <QScrollBar>

#include "hexview/hexview.h"
#include "imagediff.h"

// The hex view holding more rows than the tallest widget can show pixel by pixel: whatever way
// a row is brought into sight, it is the row drawn there and the row a click there reaches.
class tst_HexViewLarge : public QObject
{
    Q_OBJECT

public:
    enum Approach { ScrollToMaximum, AppendThenScrollToMaximum, IndexOf, LastIndexOf, EndKey };
    Q_ENUM(Approach)

private slots:
    void init();
    void cleanup();

    void rowInSight_data();
    void rowInSight();
    void wheelMovesRows();

private:
    QImage shown(const QByteArray &data, Approach approach);

    HexView *view = nullptr;
};

namespace {
const qint64 MB = 1024 * 1024;
// Bytes above 0xfa never occur in the filling, so the marker is found only where it was put.
const QByteArray Marker = QByteArrayLiteral("\xff\xfe\xfd\xfc");

QByteArray filling(qint64 size)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    return bytes;
}

// The same bytes with the second half of one row changed.
QByteArray withRowChanged(QByteArray bytes, qint64 row)
{
    for (qint64 i = row * 16 + 8; i < qMin<qint64>(bytes.size(), row * 16 + 16); ++i)
        bytes[int(i)] = char(bytes.at(int(i)) ^ 0x55);
    return bytes;
}

} // namespace

void tst_HexViewLarge::init()
{
    view = new HexView;
    view->resize(800, 400);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
}

void tst_HexViewLarge::cleanup()
{
    delete view;
    view = nullptr;
}

QImage tst_HexViewLarge::shown(const QByteArray &data, Approach approach)
{
    QScrollBar *bar = view->verticalScrollBar();
    switch (approach) {
    case ScrollToMaximum:
        view->setData(data);
        bar->setValue(bar->maximum());
        break;
    case AppendThenScrollToMaximum:
        // As the receive path does it, crossing the height of the tallest widget on the way.
        view->setData(data.left(15 * MB));
        bar->setValue(bar->maximum());
        for (qint64 at = 15 * MB; at < data.size(); at += 4 * MB) {
            view->appendData(data.mid(int(at), int(4 * MB)));
            bar->setValue(bar->maximum());
        }
        break;
    case IndexOf:
        view->setData(data);
        bar->setValue(0);
        view->indexOf(Marker, 0);
        break;
    case LastIndexOf:
        view->setData(data);
        bar->setValue(bar->maximum());
        view->lastIndexOf(Marker, data.size());
        break;
    case EndKey: {
        view->setData(data);
        bar->setValue(0);
        const int key = QKeySequence::keyBindings(QKeySequence::MoveToEndOfDocument).value(0)[0];
        QTest::keyClick(view->widget(), Qt::Key(key & ~Qt::KeyboardModifierMask),
            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        break;
    }
    }
    return view->viewport()->grab().toImage();
}

void tst_HexViewLarge::rowInSight_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Approach>("approach");
    QTest::addColumn<qint64>("markerAt"); // -1: none
    QTest::addColumn<qint64>("row");

    const qint64 mb20 = 20 * MB;
    const qint64 mb64 = 64 * MB;
    QTest::newRow("1 MB, scrolled to the maximum")
        << MB << ScrollToMaximum << qint64(-1) << (MB - 1) / 16;
    QTest::newRow("20 MB, scrolled to the maximum")
        << mb20 << ScrollToMaximum << qint64(-1) << (mb20 - 1) / 16;
    QTest::newRow("64 MB, scrolled to the maximum")
        << mb64 << ScrollToMaximum << qint64(-1) << (mb64 - 1) / 16;
    QTest::newRow("20 MB and 13 bytes, appended in blocks")
        << mb20 + 13 << AppendThenScrollToMaximum << qint64(-1) << (mb20 + 12) / 16;
    QTest::newRow("20 MB, indexOf at 18 MB")
        << mb20 << IndexOf << 18 * MB + 35 << (18 * MB + 35) / 16;
    QTest::newRow("64 MB, indexOf at 40 MB")
        << mb64 << IndexOf << 40 * MB + 1 << (40 * MB + 1) / 16;
    QTest::newRow("64 MB, lastIndexOf at 17 MB")
        << mb64 << LastIndexOf << 17 * MB + 3 << (17 * MB + 3) / 16;
    QTest::newRow("64 MB, end of document key") << mb64 << EndKey << qint64(-1) << (mb64 - 1) / 16;
}

void tst_HexViewLarge::rowInSight()
{
    QFETCH(qint64, size);
    QFETCH(Approach, approach);
    QFETCH(qint64, markerAt);
    QFETCH(qint64, row);

    QByteArray data = filling(size);
    if (markerAt >= 0)
        data.replace(int(markerAt), Marker.size(), Marker);

    const QImage base = shown(data, approach);
    const QImage rowChanged = shown(withRowChanged(data, row), approach);
    const QImage firstRowChanged = shown(withRowChanged(data, 0), approach);
    QCOMPARE(differingPixels(base, firstRowChanged), QRect());
    const QRect band = differingPixels(base, rowChanged);
    QVERIFY2(!band.isNull(), "the row is not drawn");

    // A click on the first changed digit lands on the first changed byte of that row.
    const QPoint click
        = view->widget()->mapFrom(view->viewport(), QPoint(band.left() + 1, band.center().y()));
    QTest::mousePress(view->widget(), Qt::LeftButton, {}, click);
    QCOMPARE(qint64(view->cursorPosition()), row * 16 + 8);
}

void tst_HexViewLarge::wheelMovesRows()
{
    const QImage bottom = shown(filling(64 * MB), ScrollToMaximum);
    const auto turnWheel = [this](int notches) {
        const QPoint at(100, 100);
        QWheelEvent wheel(at, view->widget()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->widget(), &wheel);
        return view->viewport()->grab().toImage();
    };

    // One notch up shows everything one notch of lines lower, and the rows above it.
    const QImage up = turnWheel(1);
    const int shift = QApplication::wheelScrollLines() * QFontMetrics(view->font()).height();
    const int kept = bottom.height() - shift;
    QCOMPARE(up.copy(0, shift, up.width(), kept), bottom.copy(0, 0, bottom.width(), kept));
    QVERIFY(up != bottom);
    QCOMPARE(turnWheel(-1), bottom);
}

QTEST_MAIN(tst_HexViewLarge)
#include "tst_hexviewlarge.moc"
