// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QFontMetrics>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include "hexview/celltextpainter.h"

// A paint device that keeps the text of every drawText call and draws nothing.
class TextRecorder : public QPaintDevice
{
public:
    explicit TextRecorder(const QImage &like)
        : _like(like)
    { }
    QPaintEngine *paintEngine() const override { return &_engine; }
    QStringList texts() const { return _engine.texts; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        // Measured like the image, so that fonts resolve to the same pixel sizes.
        switch (metric) {
        case PdmWidth:
            return _like.width();
        case PdmHeight:
            return _like.height();
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return _like.logicalDpiX();
        case PdmDpiY:
        case PdmPhysicalDpiY:
            return _like.logicalDpiY();
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    class Engine : public QPaintEngine
    {
    public:
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &) override { }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
        void drawRects(const QRectF *, int) override { }
        void drawTextItem(const QPointF &, const QTextItem &item) override { texts << item.text(); }
        Type type() const override { return User; }

        QStringList texts;
    };

    QImage _like;
    mutable Engine _engine;
};

class tst_CellTextPainter : public QObject
{
    Q_OBJECT

private slots:
    void runsLookLikeCells_data();
    void runsLookLikeCells();
};

namespace {
// Sixteen bytes as the hex area shows them: a byte's cell is its digits and, after the first,
// the space in front of them.
QStringList hexCells()
{
    QStringList cells;
    for (int i = 0; i < 16; ++i)
        cells << QString::asprintf(i == 0 ? "%02x" : " %02x", i * 0x11);
    return cells;
}

QStringList charCells(const QString &text)
{
    QStringList cells;
    for (const QChar c : text)
        cells << QString(c);
    return cells;
}

// Each cell's colours by letter: '.' plain, 's' selected, 'h' highlighted.
void paintCells(QPaintDevice *device, const QFont &font, int cellWidth, bool joinRuns,
    const QStringList &cells, const QString &colours)
{
    QPainter painter(device);
    painter.setFont(font);
    CellTextPainter cellPainter(&painter, cellWidth, joinRuns);
    int x = 3;
    for (int i = 0; i < cells.size(); ++i) {
        CellTextPainter::Colours look {Qt::black, QColor()};
        if (colours.at(i) == QLatin1Char('s'))
            look = {Qt::white, QColor(0x6d, 0x9e, 0xff)};
        else if (colours.at(i) == QLatin1Char('h'))
            look = {Qt::black, QColor(0xff, 0xff, 0x99)};
        const QByteArray text = cells.at(i).toLatin1();
        cellPainter.draw(x, 20, QLatin1String(text), look);
        x += text.size() * cellWidth;
    }
}
} // namespace

void tst_CellTextPainter::runsLookLikeCells_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("drawCalls");
    // Single characters drawn one call each in the font itself: the run puts each on the same
    // pixels.
    QTest::addColumn<bool>("singleCharacters");

    const QStringList hex = hexCells();
    // Kerning pairs and common ligatures, which a run must not let move or merge.
    const QStringList ascii = charCells(QStringLiteral("AVTo.fi->!=www~_"));
    const QString plain(16, QLatin1Char('.'));

    QTest::newRow("hex row, nothing marked")
        << "Courier" << 10 << hex << plain << true << 1 << false;
    QTest::newRow("hex row, a selection inside")
        << "Courier" << 10 << hex << "....sss........." << true << 3 << false;
    QTest::newRow("hex row, first and last changed")
        << "Courier" << 10 << hex << "h.............hh" << true << 3 << false;
    QTest::newRow("hex row, every cell its own colours")
        << "Courier" << 12 << hex << "shshshshshshshsh" << true << 16 << false;
    QTest::newRow("ASCII row") << "Courier" << 10 << ascii << plain << true << 1 << true;
    QTest::newRow("ASCII row, large") << "Courier" << 24 << ascii << plain << true << 1 << true;
    QTest::newRow("proportional font, cell by cell")
        << "DejaVu Sans" << 10 << ascii << plain << false << 16 << true;
}

void tst_CellTextPainter::runsLookLikeCells()
{
    QFETCH(QString, family);
    QFETCH(int, pointSize);
    QFETCH(QStringList, cells);
    QFETCH(QString, colours);
    QFETCH(bool, fits);

    const QFont font(family, pointSize);
    const int cellWidth = QFontMetrics(font).horizontalAdvance(QLatin1Char('9'));
    const QFont runFont = CellTextPainter::runFont(font, cellWidth);
    QCOMPARE(CellTextPainter::fitsCells(runFont, cellWidth), fits);

    QImage runs(60 * cellWidth, 60, QImage::Format_ARGB32_Premultiplied);
    runs.fill(Qt::white);
    QImage oneByOne = runs;
    paintCells(&runs, runFont, cellWidth, fits, cells, colours);
    paintCells(&oneByOne, runFont, cellWidth, false, cells, colours);
    QCOMPARE(runs, oneByOne);
    QFETCH(bool, singleCharacters);
    if (singleCharacters) {
        QImage inOwnFont = runs;
        inOwnFont.fill(Qt::white);
        paintCells(&inOwnFont, font, cellWidth, false, cells, colours);
        QCOMPARE(runs, inOwnFont);
    }

    TextRecorder recorder(runs);
    paintCells(&recorder, runFont, cellWidth, fits, cells, colours);
    QTEST(int(recorder.texts().size()), "drawCalls");
    QCOMPARE(recorder.texts().join(QString()), cells.join(QString()));
}

QTEST_MAIN(tst_CellTextPainter)
#include "tst_celltextpainter.moc"
