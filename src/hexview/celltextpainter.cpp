// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/celltextpainter.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
// Every character the hex view draws: digits, spaces, printable ASCII and the full stop.
const char FirstDrawn = 0x20;
const char LastDrawn = 0x7e;

bool sameColours(const CellTextPainter::Colours &a, const CellTextPainter::Colours &b)
{
    return a.text == b.text && a.background == b.background;
}
} // namespace

QFont CellTextPainter::runFont(const QFont &font, int cellWidth)
{
    QFont run = font;
    // Kerning and ligatures would move or merge characters of a run off their cells.
    run.setKerning(false);
    run.setStyleStrategy(QFont::StyleStrategy(run.styleStrategy() | QFont::PreferNoShaping));
    run.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    // A fractional advance would drift a run away from the cells a little more with every
    // character; the spacing makes up the difference to the whole cell.
    const qreal advance = QFontMetricsF(run).horizontalAdvance(QStringLiteral("9"));
    run.setLetterSpacing(QFont::AbsoluteSpacing, cellWidth - advance);
    return run;
}

bool CellTextPainter::fitsCells(const QFont &font, int cellWidth)
{
    const QFontMetricsF metrics(font);
    QString all;
    for (char c = FirstDrawn; c <= LastDrawn; ++c) {
        const QString one(QLatin1Char {c});
        if (metrics.horizontalAdvance(one) != cellWidth)
            return false;
        all += one;
    }
    return metrics.horizontalAdvance(all) == qreal(all.size()) * cellWidth;
}

CellTextPainter::CellTextPainter(QPainter *painter, int cellWidth, bool joinRuns)
    : _painter(painter)
    , _cellWidth(cellWidth)
    , _joinRuns(joinRuns)
{ }

CellTextPainter::~CellTextPainter()
{
    flush();
}

void CellTextPainter::draw(int x, int baseline, QLatin1String text, const Colours &colours)
{
    const bool continuesRun = _joinRuns && !_run.isEmpty() && baseline == _baseline
        && x == _x + _run.size() * _cellWidth && sameColours(colours, _colours);
    if (!continuesRun) {
        flush();
        _x = x;
        _baseline = baseline;
        _colours = colours;
    }
    _run += text;
}

void CellTextPainter::flush()
{
    if (_run.isEmpty())
        return;
    _painter->setPen(_colours.text);
    if (_colours.background.isValid()) {
        _painter->setBackground(_colours.background);
        _painter->setBackgroundMode(Qt::OpaqueMode);
    } else {
        _painter->setBackgroundMode(Qt::TransparentMode);
    }
    _painter->drawText(_x, _baseline, _run);
    _run.clear();
}
