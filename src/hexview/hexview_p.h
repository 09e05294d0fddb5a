// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEXVIEW_P_H
#define HEXVIEW_P_H

#include <QColor>
#include <QFont>
#include <QTimer>
#include <QWidget>

#include "hexview/hexlayout.h"
#include "hexview/xbytearray.h"

class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QWheelEvent;
class QScrollArea;
class QScrollBar;
class QUndoCommand;
class QUndoStack;

// The widget inside the hex view's scroll area: lays out and paints the address, hex and ASCII
// columns, blinks the cursor, and turns keys and mouse input into undoable edits, cursor moves
// and selections. Cursor positions count hex digits (two per byte); selections and edit
// positions count bytes. A document taller than any widget can be is shown by a widget of the
// greatest height that paints, from its visible top, the rows the scroll bar selects.
class HexViewPrivate : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(HexViewPrivate)

public:
    explicit HexViewPrivate(QScrollArea *parent);

    void setAddressAreaColor(const QColor &color);
    QColor addressAreaColor() const;
    void setHighlightingColor(const QColor &color);
    QColor highlightingColor() const;
    void setSelectionColor(const QColor &color);
    QColor selectionColor() const;

    void setAddressOffset(int offset);
    int addressOffset() const;
    void setAddressWidth(int width);
    void setAddressArea(bool addressArea);
    void setAsciiArea(bool asciiArea);
    void setHighlighting(bool mode);
    void setOverwriteMode(bool overwriteMode);
    bool overwriteMode() const;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;

    void setData(const QByteArray &data);
    // Same observable result as setData(data() + block), at a cost proportional to the block, as
    // long as the bytes fit the history limit. Past it, the oldest bytes are dropped and the
    // view, the cursor and the selection stay on the bytes they were on.
    void appendData(const QByteArray &block);
    int historyLimit() const;
    void setHistoryLimit(int bytes);
    QByteArray data() const;
    XByteArray *xData();

    int cursorPos() const;
    int cursorByte() const;
    void setCursorPos(qint64 position);
    int cursorPos(QPoint point) const;
    void ensureVisible();

    void insert(int index, const QByteArray &ba);
    void insert(int index, char ch);
    void remove(int pos, int len = 1);
    void replace(int index, char ch);
    void replace(int index, const QByteArray &ba);
    void replace(int pos, int len, const QByteArray &ba);
    void undo();
    void redo();

    void resetSelection(qint64 position);
    void resetSelection();
    void setSelection(qint64 position);
    int getSelectionBegin() const;
    int getSelectionEnd() const;

    int indexOf(const QByteArray &ba, int from = 0);
    int lastIndexOf(const QByteArray &ba, int from = 0);

    QString toRedableString();
    QString selectionToReadableString();
    void copy();

    virtual void setFont(const QFont &font);

signals:
    void currentAddressChanged(int address);
    void currentSizeChanged(int size);
    void dataChanged();
    void overwriteModeChanged(bool state);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private slots:
    void updateCursor();

private:
    void adjust();
    void placeCursor();
    QRect cursorRect() const;
    QScrollBar *verticalBar() const;
    int viewportHeight() const;
    void followScrollBar();
    void scrollToRow(qint64 row);
    void followKeptBytes(qint64 dropped, qint64 top, bool atEnd);
    void push(QUndoCommand *command);
    void removeSelection();
    QString selectionToClipboardText() const;
    int pageStep() const;
    void handleNavigation(QKeyEvent *event);
    void handleSelection(QKeyEvent *event);
    void typeHexDigit(char key, int cursorByte, bool onFirstDigit);

    QColor _addressAreaColor;
    QColor _highlightingColor;
    QColor _selectionColor;
    QScrollArea *_scrollArea;
    QTimer _cursorTimer;
    QUndoStack *_undoStack;
    XByteArray _xData;

    bool _blink;
    bool _addressArea;
    bool _asciiArea;
    bool _highlighting;
    bool _overwriteMode;
    bool _readOnly;

    HexLayout _layout;
    // The font the character cell was last measured in, and the same font made to advance
    // exactly one cell per character when that is possible.
    QFont _measuredFont;
    QFont _runFont;
    bool _fontMeasured;
    bool _joinRuns;

    int _cursorX;
    qint64 _cursorY;
    qint64 _cursorPosition;
    // Scrolling by rows: the row at the visible top, the scroll bar value it goes with, and the
    // document pixel at the widget's own top.
    qint64 _topRow;
    int _valueOfTopRow;
    qint64 _documentTop;

    int _selectionBegin;
    int _selectionEnd;
    int _selectionInit;
    int _size;
};

#endif // HEXVIEW_P_H
