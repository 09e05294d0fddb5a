// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QFile>
#include <QImage>
#include <QScrollBar>

#include <cstring>

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
    void trimKeepsTheRowsShown();
    void threeGigabytesInBoundedMemory();

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

// Byte p of a received stream, for any p.
QByteArray stream(qint64 from, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = char((from + i) % 251);
    return bytes;
}

// Starts the peak resident memory over from what is resident now.
bool resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
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
        QTest::keySequence(
            view->widget(), QKeySequence::keyBindings(QKeySequence::MoveToEndOfDocument).value(0));
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

void tst_HexViewLarge::trimKeepsTheRowsShown()
{
    // Scrolling by rows, before the trim and after it.
    const int limit = int(32 * MB);
    view->setHistoryLimit(limit);
    view->setData(stream(0, limit));
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const QImage before = view->viewport()->grab().toImage();

    view->appendData(stream(limit, int(MB)));
    QCOMPARE(view->data().size(), limit - limit / 8);
    QCOMPARE(view->viewport()->grab().toImage(), before);

    bar->setValue(bar->maximum());
    view->appendData(stream(limit + MB, 5 * int(MB)));
    QCOMPARE(view->data().size(), limit - limit / 8);
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_HexViewLarge::threeGigabytesInBoundedMemory()
{
    const qint64 limit = view->historyLimit();
    QCOMPARE(limit, 256 * MB);
    const int block = int(MB);
    // Every block of the stream is a window into this.
    const QByteArray period = stream(0, block + 251);
    const qint64 total = 3 * 1024 * MB;
    const qint64 markerAt = total - 100;
    QVERIFY(resetPeakResident());
    const qint64 peakBefore = peakResidentBytes();

    QScrollBar *bar = view->verticalScrollBar();
    for (qint64 at = 0; at < total; at += block) {
        QByteArray bytes = QByteArray::fromRawData(period.constData() + at % 251, block);
        if (at + block == total)
            bytes.replace(int(markerAt - at), Marker.size(), Marker);
        view->appendData(bytes);
        bar->setValue(bar->maximum());
    }
    const qint64 grown = peakResidentBytes() - peakBefore;

    const QByteArray held = view->data();
    QVERIFY(held.size() <= limit);
    QVERIFY(held.size() >= limit - limit / 8);
    const qint64 first = total - held.size();
    QCOMPARE(first % 16, qint64(0));
    const auto isStream = [&](qint64 from, qint64 to) {
        for (qint64 at = from; at < to; at += block) {
            const int length = int(qMin<qint64>(block, to - at));
            if (std::memcmp(
                    held.constData() + (at - first), period.constData() + at % 251, size_t(length))
                != 0) {
                return false;
            }
        }
        return true;
    };
    QVERIFY(isStream(first, markerAt));
    QVERIFY(isStream(markerAt + Marker.size(), total));

    // Found where it was put, and shown at its place in the stream.
    QCOMPARE(qint64(view->lastIndexOf(Marker, held.size())), markerAt - first);
    const QString dump = view->selectionToReadableString();
    QVERIFY2(dump.startsWith(QString::number(markerAt, 16) + "  ff fe fd fc "), qPrintable(dump));

#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer's shadow memory and quarantine make resident memory say little.
    Q_UNUSED(grown)
#else
    QVERIFY2(grown <= limit * 11 / 10 + 16 * MB,
        qPrintable(QString("peak resident memory grew by %1 MiB").arg(grown / MB)));
#endif
}

QTEST_MAIN(tst_HexViewLarge)
#include "tst_hexviewlarge.moc"
