// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/hexlayout.h"

#include <QWidget>

static_assert(HexLayout::MaxWidgetHeight == QWIDGETSIZE_MAX - 1, "tallest widget");

namespace {
const int HexChars = 3 * HexLayout::BytesPerRow - 1; // two digits a byte, a space between bytes
const int GapAddressHex = 10;
const int GapHexAscii = 16;
const int CursorTop = 4;
const int HitTop = 3;
const int BottomMargin = 5;

qint64 divideRoundingUp(qint64 numerator, qint64 denominator)
{
    return (numerator + denominator - 1) / denominator;
}

// numerator / denominator to the nearest whole number; both non-negative.
qint64 divideRounding(qint64 numerator, qint64 denominator)
{
    return (numerator + denominator / 2) / denominator;
}
} // namespace

HexLayout::HexLayout(
    int charWidth, int charHeight, int addressDigits, bool addressArea, bool asciiArea, qint64 size)
    : _charWidth(qMax(1, charWidth))
    , _charHeight(qMax(1, charHeight))
    , _hexX(addressArea ? addressDigits * _charWidth + GapAddressHex : 0)
    , _asciiArea(asciiArea)
    , _size(qMax<qint64>(0, size))
{ }

int HexLayout::hexWidth() const
{
    return HexChars * _charWidth;
}

int HexLayout::asciiX() const
{
    return _hexX + hexWidth() + GapHexAscii;
}

int HexLayout::byteX(int column) const
{
    return _hexX + 3 * column * _charWidth;
}

int HexLayout::asciiCharX(int column) const
{
    return asciiX() + column * _charWidth;
}

int HexLayout::minimumWidth() const
{
    return _asciiArea ? asciiX() + BytesPerRow * _charWidth : _hexX + hexWidth();
}

qint64 HexLayout::documentHeight() const
{
    return (_size / BytesPerRow + 1) * _charHeight + BottomMargin;
}

int HexLayout::widgetHeight() const
{
    return int(qMin<qint64>(documentHeight(), MaxWidgetHeight));
}

bool HexLayout::scrollsByRows() const
{
    return documentHeight() > MaxWidgetHeight;
}

HexLayout::Rows HexLayout::rowsToPaint(qint64 top, qint64 bottom) const
{
    // The margin is as many rows as a row has pixels, more than any exposed edge needs.
    const qint64 first = qMax<qint64>(0, top / _charHeight - _charHeight);
    return {first, qMax(first, bottom / _charHeight + _charHeight)};
}

qint64 HexLayout::baseline(qint64 row) const
{
    return row * _charHeight + _charHeight;
}

HexLayout::Cell HexLayout::cursorCell(qint64 position) const
{
    const int inRow = int(position % NibblesPerRow);
    return {_hexX + ((inRow / 2) * 3 + inRow % 2) * _charWidth,
        (position / NibblesPerRow) * _charHeight + CursorTop};
}

qint64 HexLayout::hitTest(int x, qint64 y) const
{
    if (x < _hexX || x >= _hexX + hexWidth())
        return -1;
    const int column = (x - _hexX) / _charWidth;
    // the gap after a byte counts as its second digit
    const int nibble = (column / 3) * 2 + (column % 3 == 0 ? 0 : 1);
    const qint64 row = (y - HitTop) / _charHeight;
    return row * NibblesPerRow + nibble;
}

qint64 HexLayout::lastTopRow(int viewportHeight) const
{
    // Rounded up, so that the last row is whole on screen.
    return divideRoundingUp(qMax<qint64>(0, documentHeight() - viewportHeight), _charHeight);
}

qint64 HexLayout::topRowForValue(int value, int maximum, int viewportHeight) const
{
    const qint64 last = lastTopRow(viewportHeight);
    if (value <= 0 || maximum <= 0)
        return 0;
    if (value >= maximum)
        return last;
    return qBound<qint64>(
        1, divideRounding(qint64(value) * last, maximum), qMax<qint64>(1, last - 1));
}

int HexLayout::valueForTopRow(qint64 row, int maximum, int viewportHeight) const
{
    const qint64 last = lastTopRow(viewportHeight);
    if (row <= 0 || maximum <= 0 || last <= 0)
        return 0;
    if (row >= last)
        return maximum;
    return int(
        qBound(qint64(1), divideRounding(row * maximum, last), qint64(qMax(1, maximum - 1))));
}
