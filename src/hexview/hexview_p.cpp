// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/hexview_p.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QUndoStack>
#include <QWheelEvent>

#include "hexview/celltextpainter.h"
#include "hexview/commands.h"

namespace {
const int BytesPerRow = HexLayout::BytesPerRow;
const int NibblesPerRow = HexLayout::NibblesPerRow;
const int SeparatorInset = 8;
const int BlinkInterval = 500;
const QColor AddressAreaDefault(0xd4, 0xd4, 0xd4, 0xff);
const QColor HighlightingDefault(0xff, 0xff, 0x99, 0xff);
const QColor SelectionDefault(0x6d, 0x9e, 0xff, 0xff);

QString hexByte(char byte)
{
    return QString::number(uchar(byte), 16).rightJustified(2, QLatin1Char('0'));
}

// A nibble position as a byte index, for interfaces that count in int.
int byteOf(qint64 position)
{
    return int(qBound(qint64(0), position / 2, qint64(INT_MAX)));
}
} // namespace

HexViewPrivate::HexViewPrivate(QScrollArea *parent)
    : QWidget(parent)
    , _scrollArea(parent)
    , _undoStack(new QUndoStack(this))
    , _blink(false)
    , _addressArea(true)
    , _asciiArea(true)
    , _highlighting(true)
    , _overwriteMode(true)
    , _readOnly(false)
    , _fontMeasured(false)
    , _joinRuns(false)
    , _cursorX(0)
    , _cursorY(0)
    , _cursorPosition(0)
    , _topRow(0)
    , _valueOfTopRow(0)
    , _documentTop(0)
    , _selectionBegin(0)
    , _selectionEnd(0)
    , _selectionInit(0)
    , _size(0)
{
    setAddressWidth(4);
    setAddressOffset(0);
    setAddressArea(true);
    setAsciiArea(true);
    setHighlighting(true);
    setOverwriteMode(true);
    setReadOnly(false);
    setAddressAreaColor(AddressAreaDefault);
    setHighlightingColor(HighlightingDefault);
    setSelectionColor(SelectionDefault);
    setFont(QFont(QStringLiteral("Courier"), 10));

    _size = 0;
    resetSelection(0);
    setFocusPolicy(Qt::StrongFocus);
    // Every paint starts by filling what it exposes, so nothing behind needs to paint, and the
    // scroll area can move what is already painted instead of painting it again.
    setAttribute(Qt::WA_OpaquePaintEvent);

    connect(&_cursorTimer, SIGNAL(timeout()), this, SLOT(updateCursor()));
    _cursorTimer.setInterval(BlinkInterval);
    _cursorTimer.start();

    if (QScrollBar *bar = verticalBar()) {
        connect(bar, &QScrollBar::valueChanged, this, &HexViewPrivate::followScrollBar);
        connect(bar, &QScrollBar::rangeChanged, this, &HexViewPrivate::followScrollBar);
    }
}

void HexViewPrivate::setAddressAreaColor(const QColor &color)
{
    _addressAreaColor = color;
    update();
}

QColor HexViewPrivate::addressAreaColor() const
{
    return _addressAreaColor;
}

void HexViewPrivate::setHighlightingColor(const QColor &color)
{
    _highlightingColor = color;
    update();
}

QColor HexViewPrivate::highlightingColor() const
{
    return _highlightingColor;
}

void HexViewPrivate::setSelectionColor(const QColor &color)
{
    _selectionColor = color;
    update();
}

QColor HexViewPrivate::selectionColor() const
{
    return _selectionColor;
}

void HexViewPrivate::setAddressOffset(int offset)
{
    _xData.setAddressOffset(offset);
    adjust();
}

int HexViewPrivate::addressOffset() const
{
    return _xData.addressOffset();
}

void HexViewPrivate::setAddressWidth(int width)
{
    _xData.setAddressWidth(width);
    adjust();
    setCursorPos(_cursorPosition);
}

void HexViewPrivate::setAddressArea(bool addressArea)
{
    _addressArea = addressArea;
    adjust();
    setCursorPos(_cursorPosition);
}

void HexViewPrivate::setAsciiArea(bool asciiArea)
{
    _asciiArea = asciiArea;
    adjust();
}

void HexViewPrivate::setHighlighting(bool mode)
{
    _highlighting = mode;
    update();
}

void HexViewPrivate::setOverwriteMode(bool overwriteMode)
{
    _overwriteMode = overwriteMode;
}

bool HexViewPrivate::overwriteMode() const
{
    return _overwriteMode;
}

void HexViewPrivate::setReadOnly(bool readOnly)
{
    _readOnly = readOnly;
    // the cursor is drawn only while editable
    update();
}

bool HexViewPrivate::isReadOnly() const
{
    return _readOnly;
}

void HexViewPrivate::setData(const QByteArray &data)
{
    _xData.setData(data);
    _undoStack->clear();
    adjust();
    setCursorPos(0);
}

void HexViewPrivate::appendData(const QByteArray &block)
{
    const qint64 droppedBefore = _xData.droppedBytes();
    const QScrollBar *bar = verticalBar();
    const bool atEnd = bar && bar->value() == bar->maximum();
    // The document pixel at the top of the viewport, whichever way the view scrolls.
    const qint64 top = _documentTop + (bar ? bar->value() : 0);

    _xData.appendData(block);
    _undoStack->clear();
    adjust();
    const qint64 dropped = _xData.droppedBytes() - droppedBefore;
    if (dropped == 0)
        setCursorPos(0);
    else
        followKeptBytes(dropped, top, atEnd);
}

int HexViewPrivate::historyLimit() const
{
    return _xData.historyLimit();
}

void HexViewPrivate::setHistoryLimit(int bytes)
{
    _xData.setHistoryLimit(bytes);
}

QByteArray HexViewPrivate::data() const
{
    return _xData.data();
}

XByteArray *HexViewPrivate::xData()
{
    return &_xData;
}

int HexViewPrivate::cursorPos() const
{
    return int(qMin<qint64>(_cursorPosition, INT_MAX));
}

int HexViewPrivate::cursorByte() const
{
    return byteOf(_cursorPosition);
}

void HexViewPrivate::setCursorPos(qint64 position)
{
    _blink = false;
    update();

    const qint64 nibbles = 2 * qint64(_xData.size());
    qint64 clamped = position;
    if (_overwriteMode) {
        if (clamped >= nibbles)
            clamped = nibbles - 1;
    } else if (clamped > nibbles) {
        clamped = nibbles;
    }
    if (clamped < 0)
        clamped = 0;

    _cursorPosition = clamped;
    placeCursor();

    _blink = true;
    update();
    emit currentAddressChanged(byteOf(_cursorPosition));
}

int HexViewPrivate::cursorPos(QPoint point) const
{
    return int(qMin<qint64>(_layout.hitTest(point.x(), point.y() + _documentTop), INT_MAX));
}

void HexViewPrivate::ensureVisible()
{
    if (!_scrollArea)
        return;
    const int lineHeight = _layout.charHeight();
    const qint64 y = _cursorY + lineHeight / 2;
    const int xMargin = 3;
    const int yMargin = lineHeight / 2 + 2;
    if (!_layout.scrollsByRows()) {
        _scrollArea->ensureVisible(_cursorX, int(y), xMargin, yMargin);
        return;
    }

    // The same margins, measured in the document, and then whole rows.
    const int view = viewportHeight();
    qint64 row = _topRow;
    if (y - yMargin < _topRow * lineHeight)
        row = (y - yMargin) / lineHeight;
    else if (y > _topRow * lineHeight + view - yMargin)
        row = (y - view + yMargin + lineHeight - 1) / lineHeight;
    scrollToRow(row);
    // Horizontally as ever; a point in the middle of the visible rows needs no vertical move.
    const int visibleMiddle = int(_topRow * lineHeight - _documentTop) + view / 2;
    _scrollArea->ensureVisible(_cursorX, visibleMiddle, xMargin, 0);
}

void HexViewPrivate::insert(int index, const QByteArray &ba)
{
    // In overwrite mode an insertion overwrites, so it needs a byte to land on.
    const int limit = _overwriteMode ? _xData.size() - 1 : _xData.size();
    if (ba.isEmpty() || index < 0 || index > limit)
        return;
    if (_overwriteMode)
        push(new ArrayCommand(&_xData, ArrayCommand::replace, index, ba, ba.length()));
    else
        push(new ArrayCommand(&_xData, ArrayCommand::insert, index, ba));
    emit dataChanged();
}

void HexViewPrivate::insert(int index, char ch)
{
    if (index < 0 || index > _xData.size())
        return;
    push(new CharCommand(&_xData, CharCommand::insert, index, ch));
    emit dataChanged();
}

void HexViewPrivate::remove(int pos, int len)
{
    // Clipping here rather than in the commands keeps a removal at the very end from pushing a
    // command whose undo would insert a byte that was never there.
    if (len <= 0 || pos < 0 || pos >= _xData.size())
        return;
    len = qMin(len, _xData.size() - pos);
    if (len == 1) {
        if (_overwriteMode)
            push(new CharCommand(&_xData, CharCommand::replace, pos, char(0)));
        else
            push(new CharCommand(&_xData, CharCommand::remove, pos, char(0)));
    } else {
        const QByteArray zeros(len, char(0));
        if (_overwriteMode)
            push(new ArrayCommand(&_xData, ArrayCommand::replace, pos, zeros, len));
        else
            push(new ArrayCommand(&_xData, ArrayCommand::remove, pos, zeros, len));
    }
    emit dataChanged();
}

void HexViewPrivate::replace(int index, char ch)
{
    if (index < 0 || index >= _xData.size())
        return;
    push(new CharCommand(&_xData, CharCommand::replace, index, ch));
    resetSelection();
    emit dataChanged();
}

void HexViewPrivate::replace(int index, const QByteArray &ba)
{
    replace(index, ba.length(), ba);
}

void HexViewPrivate::replace(int pos, int len, const QByteArray &ba)
{
    if (ba.isEmpty() || pos < 0 || pos >= _xData.size())
        return;
    push(new ArrayCommand(&_xData, ArrayCommand::replace, pos, ba, len));
    resetSelection();
    emit dataChanged();
}

void HexViewPrivate::undo()
{
    _undoStack->undo();
    emit dataChanged();
    setCursorPos(_cursorPosition);
    update();
}

void HexViewPrivate::redo()
{
    _undoStack->redo();
    emit dataChanged();
    setCursorPos(_cursorPosition);
    update();
}

void HexViewPrivate::resetSelection(qint64 position)
{
    _selectionInit = byteOf(position);
    _selectionBegin = _selectionInit;
    _selectionEnd = _selectionInit;
    update();
}

void HexViewPrivate::resetSelection()
{
    _selectionBegin = _selectionInit;
    _selectionEnd = _selectionInit;
    update();
}

void HexViewPrivate::setSelection(qint64 position)
{
    const int byte = byteOf(position);
    if (byte >= _selectionInit) {
        _selectionBegin = _selectionInit;
        _selectionEnd = byte;
    } else {
        _selectionBegin = byte;
        _selectionEnd = _selectionInit;
    }
    update();
}

int HexViewPrivate::getSelectionBegin() const
{
    return _selectionBegin;
}

int HexViewPrivate::getSelectionEnd() const
{
    return _selectionEnd;
}

int HexViewPrivate::indexOf(const QByteArray &ba, int from)
{
    // QByteArray answers an empty pattern with `from` itself, and an empty buffer would make
    // the start -1, which it reads as "from the end".
    if (ba.isEmpty() || _xData.size() == 0)
        return -1;
    if (from >= _xData.size())
        from = _xData.size() - 1;
    if (from < 0)
        from = 0;
    const int idx = _xData.data().indexOf(ba, from);
    if (idx > -1) {
        const qint64 end = 2 * (qint64(idx) + ba.length());
        setCursorPos(end);
        resetSelection(2 * idx);
        setSelection(end);
        ensureVisible();
    }
    return idx;
}

int HexViewPrivate::lastIndexOf(const QByteArray &ba, int from)
{
    if (ba.isEmpty() || _xData.size() == 0)
        return -1;
    from = int(qMax(qint64(0), qint64(from) - ba.length()));
    const int idx = _xData.data().lastIndexOf(ba, from);
    if (idx > -1) {
        setCursorPos(2 * qint64(idx));
        resetSelection(2 * qint64(idx));
        setSelection(2 * (qint64(idx) + ba.length()));
        ensureVisible();
    }
    return idx;
}

QString HexViewPrivate::toRedableString()
{
    return _xData.toRedableString(0, -1);
}

QString HexViewPrivate::selectionToReadableString()
{
    return _xData.toRedableString(_selectionBegin, _selectionEnd);
}

void HexViewPrivate::setFont(const QFont &font)
{
    QWidget::setFont(font);
    adjust();
}

void HexViewPrivate::mousePressEvent(QMouseEvent *event)
{
    _blink = false;
    update();
    const qint64 position = _layout.hitTest(event->pos().x(), event->pos().y() + _documentTop);
    resetSelection(position);
    setCursorPos(position);
}

void HexViewPrivate::mouseMoveEvent(QMouseEvent *event)
{
    _blink = false;
    update();
    const qint64 position = _layout.hitTest(event->pos().x(), event->pos().y() + _documentTop);
    setCursorPos(position);
    setSelection(position);
}

void HexViewPrivate::keyPressEvent(QKeyEvent *event)
{
    // The cursor's own position gives the same byte and digit as its pixel coordinates would,
    // and stays right when a font or offset change has moved the columns since.
    const int cursorByte = byteOf(_cursorPosition);
    const bool onFirstDigit = _cursorPosition % 2 == 0;

    handleNavigation(event);
    handleSelection(event);

    if (!_readOnly) {
        const QString text = event->text();
        const Qt::KeyboardModifiers commandModifiers
            = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        // Some input paths report the letter itself as the text of Ctrl+A or Ctrl+C; those are
        // commands, not digits.
        if (!text.isEmpty() && text.at(0).unicode() <= 0xff
            && !(event->modifiers() & commandModifiers)) {
            const char key = text.at(0).toLatin1();
            if ((key >= '0' && key <= '9') || (key >= 'a' && key <= 'f'))
                typeHexDigit(key, cursorByte, onFirstDigit);
        }

        if (event->matches(QKeySequence::Cut)) {
            const QString cut = selectionToClipboardText();
            const int begin = _selectionBegin;
            remove(begin, _selectionEnd - begin);
            QApplication::clipboard()->setText(cut, QClipboard::Clipboard);
            setCursorPos(2 * qint64(begin));
            resetSelection(2 * qint64(begin));
        }

        if (event->matches(QKeySequence::Paste)) {
            const QString hex = QApplication::clipboard()->text(QClipboard::Clipboard);
            const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
            insert(byteOf(_cursorPosition), bytes);
            setCursorPos(_cursorPosition + 2 * bytes.length());
            resetSelection(_cursorPosition);
        }

        if (event->matches(QKeySequence::Delete)) {
            if (_selectionBegin != _selectionEnd)
                removeSelection();
            else
                remove(cursorByte, 1);
        }

        if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
            if (_selectionBegin != _selectionEnd) {
                removeSelection();
            } else if (cursorByte > 0) {
                remove(cursorByte - 1, 1);
                setCursorPos(_cursorPosition - 2);
            }
        }

        if (event->matches(QKeySequence::Undo))
            undo();
        if (event->matches(QKeySequence::Redo))
            redo();
    }

    if (event->matches(QKeySequence::Copy))
        copy();

    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        _overwriteMode = !_overwriteMode;
        setCursorPos(_cursorPosition);
        emit overwriteModeChanged(_overwriteMode);
    }

    ensureVisible();
    update();
}

void HexViewPrivate::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect exposed = event->rect();
    const QColor textColor = palette().color(QPalette::WindowText);
    const QByteArray &bytes = _xData.data();
    const int size = bytes.size();

    painter.fillRect(exposed, palette().color(QPalette::Base));
    if (_addressArea) {
        painter.fillRect(
            QRect(_layout.addressX(), exposed.top(), _layout.hexX() - SeparatorInset, height()),
            _addressAreaColor);
    }
    if (_asciiArea) {
        const int lineX = _layout.asciiX() - SeparatorInset;
        painter.setPen(Qt::gray);
        painter.drawLine(lineX, exposed.top(), lineX, height());
    }
    painter.setPen(textColor);

    const HexLayout::Rows band
        = _layout.rowsToPaint(exposed.top() + _documentTop, exposed.bottom() + _documentTop);
    const qint64 first = band.first;
    const qint64 end = qMin(band.end, (qint64(size) + BytesPerRow - 1) / BytesPerRow);
    const auto baseline = [&](qint64 row) { return int(_layout.baseline(row) - _documentTop); };

    painter.setFont(_joinRuns ? _runFont : font());
    CellTextPainter cells(&painter, _layout.charWidth(), _joinRuns);
    const CellTextPainter::Colours plain {textColor, QColor()};

    if (_addressArea) {
        const int digits = _xData.realAddressNumbers();
        for (qint64 row = first; row < end; ++row) {
            const QByteArray address = QByteArray::number(_xData.address(row * BytesPerRow), 16)
                                           .rightJustified(digits, '0');
            cells.draw(_layout.addressX(), baseline(row), QLatin1String(address), plain);
            cells.flush();
        }
    }

    static const char digitsOf[] = "0123456789abcdef";
    const CellTextPainter::Colours selected {Qt::white, _selectionColor};
    const CellTextPainter::Colours changed {textColor, _highlightingColor};
    for (qint64 row = first; row < end; ++row) {
        // The row as it reads, "00 01 ... 0f"; a byte's cell is its two digits and, after the
        // first column, the space in front of them, painted in the byte's background.
        char text[3 * BytesPerRow];
        const int rowStart = int(row * BytesPerRow);
        const int columns = qMin(BytesPerRow, size - rowStart);
        for (int column = 0; column < columns; ++column) {
            const uchar byte = uchar(bytes.at(rowStart + column));
            text[3 * column] = ' ';
            text[3 * column + 1] = digitsOf[byte >> 4];
            text[3 * column + 2] = digitsOf[byte & 0xf];
        }
        for (int column = 0; column < columns; ++column) {
            const int index = rowStart + column;
            const CellTextPainter::Colours *colours = &plain;
            if (index >= _selectionBegin && index < _selectionEnd)
                colours = &selected;
            else if (_highlighting && _xData.dataChanged(index))
                colours = &changed;
            const int leading = column == 0 ? 0 : 1;
            cells.draw(_layout.byteX(column) - leading * _layout.charWidth(), baseline(row),
                QLatin1String(text + 3 * column + 1 - leading, 2 + leading), *colours);
        }
        cells.flush();
    }

    if (_asciiArea) {
        for (qint64 row = first; row < end; ++row) {
            char text[BytesPerRow];
            const int rowStart = int(row * BytesPerRow);
            const int columns = qMin(BytesPerRow, size - rowStart);
            for (int column = 0; column < columns; ++column)
                text[column] = _xData.asciiChar(rowStart + column).toLatin1();
            for (int column = 0; column < columns; ++column) {
                cells.draw(_layout.asciiCharX(column), baseline(row),
                    QLatin1String(text + column, 1), plain);
            }
            cells.flush();
        }
    }

    const QRect cursor = cursorRect();
    if (_blink && !_readOnly && hasFocus() && cursor.isValid()) {
        if (_overwriteMode) {
            painter.fillRect(cursor.x(), cursor.bottom() - 1, cursor.width(), 2, textColor);
        } else {
            painter.fillRect(cursor.x(), cursor.y(), 2, cursor.height(), textColor);
        }
    }

    if (size != _size) {
        _size = size;
        emit currentSizeChanged(_size);
    }
}

void HexViewPrivate::wheelEvent(QWheelEvent *event)
{
    // The scroll area turns the wheel into scroll bar steps, which past the tallest widget are
    // many rows each; there the wheel moves rows, as many as it moves lines elsewhere.
    if (!_layout.scrollsByRows()) {
        event->ignore();
        return;
    }
    const int rows = -event->angleDelta().y() * QApplication::wheelScrollLines() / 120;
    if (rows != 0)
        scrollToRow(_topRow + rows);
    event->accept();
}

void HexViewPrivate::updateCursor()
{
    _blink = !_blink;
    update(cursorRect());
}

void HexViewPrivate::adjust()
{
    if (!_fontMeasured || font() != _measuredFont) {
        _measuredFont = font();
        const QFontMetrics metrics(_measuredFont);
        const int charWidth = metrics.horizontalAdvance(QLatin1Char('9'));
        _runFont = CellTextPainter::runFont(_measuredFont, charWidth);
        _joinRuns = CellTextPainter::fitsCells(_runFont, charWidth);
        _fontMeasured = true;
    }
    const QFontMetrics metrics(_measuredFont);
    const bool wasByRows = _layout.scrollsByRows();
    _layout = HexLayout(metrics.horizontalAdvance(QLatin1Char('9')), metrics.height(),
        _xData.realAddressNumbers(), _addressArea, _asciiArea, _xData.size());

    setMinimumHeight(_layout.widgetHeight());
    setMinimumWidth(_layout.minimumWidth());
    if (_layout.scrollsByRows() && !wasByRows) {
        // The rows on screen stay there: they start where the scroll bar stood.
        const QScrollBar *bar = verticalBar();
        _valueOfTopRow = bar ? bar->value() : 0;
        _topRow = _valueOfTopRow / _layout.charHeight();
    }
    followScrollBar();

    // The cursor cell moves with the columns even when its position does not change.
    placeCursor();
    update();
}

void HexViewPrivate::placeCursor()
{
    const HexLayout::Cell cell = _layout.cursorCell(_cursorPosition);
    _cursorX = cell.x;
    _cursorY = cell.y;
}

QRect HexViewPrivate::cursorRect() const
{
    const qint64 y = _cursorY - _documentTop;
    if (y < -_layout.charHeight() || y > height())
        return QRect();
    return QRect(_cursorX, int(y), _layout.charWidth(), _layout.charHeight());
}

QScrollBar *HexViewPrivate::verticalBar() const
{
    return _scrollArea ? _scrollArea->verticalScrollBar() : nullptr;
}

int HexViewPrivate::viewportHeight() const
{
    return _scrollArea ? _scrollArea->viewport()->height() : height();
}

void HexViewPrivate::followScrollBar()
{
    qint64 documentTop = 0;
    const QScrollBar *bar = verticalBar();
    if (_layout.scrollsByRows() && bar) {
        const int value = bar->value();
        const int maximum = bar->maximum();
        // A value of our own making stands for the row it was made for; the ends of the range
        // always mean the ends of the document, so that "scrolled to the maximum" keeps showing
        // the newest rows while data arrives.
        if (value != _valueOfTopRow || value == 0 || value == maximum)
            _topRow = _layout.topRowForValue(value, maximum, viewportHeight());
        _topRow = qMin(_topRow, _layout.lastTopRow(viewportHeight()));
        _valueOfTopRow = value;
        documentTop = _topRow * _layout.charHeight() - value;
    }
    if (documentTop != _documentTop) {
        _documentTop = documentTop;
        update();
    }
}

void HexViewPrivate::scrollToRow(qint64 row)
{
    QScrollBar *bar = verticalBar();
    if (!bar)
        return;
    _topRow = qBound<qint64>(0, row, _layout.lastTopRow(viewportHeight()));
    _valueOfTopRow = _layout.valueForTopRow(_topRow, bar->maximum(), viewportHeight());
    bar->setValue(_valueOfTopRow);
    followScrollBar();
}

// What pointed into the dropped bytes points at the oldest kept one, so a selection that lay
// wholly in them ends up empty.
void HexViewPrivate::followKeptBytes(qint64 dropped, qint64 top, bool atEnd)
{
    const auto kept = [dropped](int byte) { return int(qMax<qint64>(0, byte - dropped)); };
    _selectionInit = kept(_selectionInit);
    _selectionBegin = kept(_selectionBegin);
    _selectionEnd = kept(_selectionEnd);
    setCursorPos(qMax<qint64>(0, _cursorPosition - 2 * dropped));

    QScrollBar *bar = verticalBar();
    if (!bar)
        return;
    if (atEnd) {
        bar->setValue(bar->maximum());
        return;
    }
    const int lineHeight = _layout.charHeight();
    const qint64 y = qMax<qint64>(0, top - dropped / BytesPerRow * lineHeight);
    if (_layout.scrollsByRows())
        scrollToRow(y / lineHeight);
    else
        bar->setValue(int(y));
}

void HexViewPrivate::push(QUndoCommand *command)
{
    _undoStack->push(command);
}

void HexViewPrivate::removeSelection()
{
    const int begin = _selectionBegin;
    remove(begin, _selectionEnd - begin);
    setCursorPos(2 * qint64(begin));
    resetSelection(2 * qint64(begin));
}

QString HexViewPrivate::selectionToClipboardText() const
{
    const QByteArray &bytes = _xData.data();
    QString text;
    for (int i = _selectionBegin; i < _selectionEnd; ++i) {
        if (i < bytes.size())
            text += hexByte(bytes.at(i));
        text += QLatin1Char(' ');
        if (i % BytesPerRow == BytesPerRow - 1)
            text += QLatin1Char('\n');
    }
    return text;
}

int HexViewPrivate::pageStep() const
{
    return (viewportHeight() / _layout.charHeight() - 1) * NibblesPerRow;
}

void HexViewPrivate::handleNavigation(QKeyEvent *event)
{
    struct Move
    {
        QKeySequence::StandardKey key;
        qint64 (*target)(qint64 position, qint64 page, qint64 size);
    };
    static const Move moves[] = {
        {QKeySequence::MoveToNextChar, [](qint64 p, qint64, qint64) { return p + 1; }},
        {QKeySequence::MoveToPreviousChar, [](qint64 p, qint64, qint64) { return p - 1; }},
        {QKeySequence::MoveToEndOfLine,
            [](qint64 p, qint64, qint64) { return p | (NibblesPerRow - 1); }},
        {QKeySequence::MoveToStartOfLine,
            [](qint64 p, qint64, qint64) { return p - p % NibblesPerRow; }},
        {QKeySequence::MoveToPreviousLine,
            [](qint64 p, qint64, qint64) { return p - NibblesPerRow; }},
        {QKeySequence::MoveToNextLine, [](qint64 p, qint64, qint64) { return p + NibblesPerRow; }},
        {QKeySequence::MoveToNextPage, [](qint64 p, qint64 page, qint64) { return p + page; }},
        {QKeySequence::MoveToPreviousPage, [](qint64 p, qint64 page, qint64) { return p - page; }},
        {QKeySequence::MoveToEndOfDocument, [](qint64, qint64, qint64 size) { return 2 * size; }},
        {QKeySequence::MoveToStartOfDocument, [](qint64, qint64, qint64) -> qint64 { return 0; }},
    };
    for (const Move &move : moves) {
        if (!event->matches(move.key))
            continue;
        setCursorPos(move.target(_cursorPosition, pageStep(), _xData.size()));
        resetSelection(_cursorPosition);
    }
}

void HexViewPrivate::handleSelection(QKeyEvent *event)
{
    if (event->matches(QKeySequence::SelectAll)) {
        resetSelection(0);
        setSelection(2 * qint64(_xData.size()) + 1);
    }

    struct Extend
    {
        QKeySequence::StandardKey key;
        qint64 (*target)(qint64 position, qint64 page, qint64 size);
    };
    static const Extend extends[] = {
        {QKeySequence::SelectNextChar, [](qint64 p, qint64, qint64) { return p + 1; }},
        {QKeySequence::SelectPreviousChar, [](qint64 p, qint64, qint64) { return p - 1; }},
        {QKeySequence::SelectEndOfLine,
            [](qint64 p, qint64, qint64) { return p - p % NibblesPerRow + NibblesPerRow; }},
        {QKeySequence::SelectStartOfLine,
            [](qint64 p, qint64, qint64) { return p - p % NibblesPerRow; }},
        {QKeySequence::SelectPreviousLine,
            [](qint64 p, qint64, qint64) { return p - NibblesPerRow; }},
        {QKeySequence::SelectNextLine, [](qint64 p, qint64, qint64) { return p + NibblesPerRow; }},
        {QKeySequence::SelectNextPage, [](qint64 p, qint64 page, qint64) { return p + page; }},
        {QKeySequence::SelectPreviousPage, [](qint64 p, qint64 page, qint64) { return p - page; }},
        {QKeySequence::SelectEndOfDocument, [](qint64, qint64, qint64 size) { return 2 * size; }},
        {QKeySequence::SelectStartOfDocument, [](qint64, qint64, qint64) -> qint64 { return 0; }},
    };
    for (const Extend &extend : extends) {
        if (!event->matches(extend.key))
            continue;
        const qint64 target = extend.target(_cursorPosition, pageStep(), _xData.size());
        if (extend.key == QKeySequence::SelectPreviousChar) {
            setSelection(target);
            setCursorPos(target);
        } else {
            setCursorPos(target);
            setSelection(target);
        }
    }
}

void HexViewPrivate::typeHexDigit(char key, int cursorByte, bool onFirstDigit)
{
    if (_selectionBegin != _selectionEnd) {
        cursorByte = _selectionBegin;
        removeSelection();
    }
    if (!_overwriteMode && onFirstDigit)
        insert(cursorByte, char(0));
    // The cursor may still point past data that was shortened behind its back.
    if (cursorByte < 0 || cursorByte >= _xData.size())
        return;

    QByteArray digits = _xData.data().mid(cursorByte, 1).toHex();
    digits[onFirstDigit ? 0 : 1] = key;
    replace(cursorByte, QByteArray::fromHex(digits).at(0));
    setCursorPos(_cursorPosition + 1);
    resetSelection(_cursorPosition);
}

void HexViewPrivate::copy()
{
    QApplication::clipboard()->setText(selectionToClipboardText(), QClipboard::Clipboard);
}
