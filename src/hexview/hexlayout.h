// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEXLAYOUT_H
#define HEXLAYOUT_H

#include <QtGlobal>

// Where the hex view's columns, rows and digit cells fall, for the painter and the input
// handlers alike, as plain numbers. Vertical positions are pixels of the whole document (all
// rows, from the top of the first) and cursor positions count hex digits, two per byte; both
// are 64-bit so that no size a byte array can hold overflows them.
class HexLayout
{
public:
    static constexpr int BytesPerRow = 16;
    static constexpr int NibblesPerRow = 2 * BytesPerRow;
    // The tallest widget there can be, one below QWIDGETSIZE_MAX, which as a minimum height
    // means "no minimum". A taller document is shown by a widget of this height that scrolls
    // by rows.
    static constexpr int MaxWidgetHeight = (1 << 24) - 2;

    // Rows first to end - 1.
    struct Rows
    {
        qint64 first;
        qint64 end;
    };

    // Top left corner of a digit cell.
    struct Cell
    {
        int x;
        qint64 y;
    };

    HexLayout() = default;
    HexLayout(int charWidth, int charHeight, int addressDigits, bool addressArea, bool asciiArea,
        qint64 size);

    int charWidth() const { return _charWidth; }
    int charHeight() const { return _charHeight; }
    int addressX() const { return 0; }
    int hexX() const { return _hexX; }
    int hexWidth() const;
    int asciiX() const;
    int byteX(int column) const;
    int asciiCharX(int column) const;
    int minimumWidth() const;
    qint64 documentHeight() const;
    int widgetHeight() const;
    bool scrollsByRows() const;

    // Rows to paint for the band of pixels top to bottom (inclusive), whether or not they hold
    // bytes.
    Rows rowsToPaint(qint64 top, qint64 bottom) const;
    qint64 baseline(qint64 row) const;
    Cell cursorCell(qint64 position) const;
    qint64 hitTest(int x, qint64 y) const;

    // Scrolling by rows: which row is at the top of a viewport of the given height when the
    // scroll bar, ranging from 0 to maximum, stands at value, and the other way round. The ends
    // of the bar's range are the ends of the document and nothing else is.
    qint64 lastTopRow(int viewportHeight) const;
    qint64 topRowForValue(int value, int maximum, int viewportHeight) const;
    int valueForTopRow(qint64 row, int maximum, int viewportHeight) const;

private:
    int _charWidth = 1;
    int _charHeight = 1;
    int _hexX = 0;
    bool _asciiArea = true;
    qint64 _size = 0;
};

#endif // HEXLAYOUT_H
