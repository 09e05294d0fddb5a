#include "hexview_p.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QUndoStack>

#include "commands.h"

namespace {
const int BytesPerRow = 16;
const int NibblesPerRow = 2 * BytesPerRow;
const int HexChars = 47; // 16 bytes of two digits with a space between neighbours
const int GapAddressHex = 10;
const int GapHexAscii = 16;
const int SeparatorInset = 8;
const int TopMargin = 4;
const int HitTopMargin = 3;
const int BottomMargin = 5;
const int BlinkInterval = 500;
const QColor AddressAreaDefault(0xd4, 0xd4, 0xd4, 0xff);
const QColor HighlightingDefault(0xff, 0xff, 0x99, 0xff);
const QColor SelectionDefault(0x6d, 0x9e, 0xff, 0xff);

QString hexByte(char byte)
{
    return QString::number(uchar(byte), 16).rightJustified(2, QLatin1Char('0'));
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
    , _charWidth(0)
    , _charHeight(0)
    , _cursorX(0)
    , _cursorY(0)
    , _cursorPosition(0)
    , _xPosAdr(0)
    , _xPosHex(0)
    , _xPosAscii(0)
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

    connect(&_cursorTimer, SIGNAL(timeout()), this, SLOT(updateCursor()));
    _cursorTimer.setInterval(BlinkInterval);
    _cursorTimer.start();
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
    _xData.appendData(block);
    _undoStack->clear();
    adjust();
    setCursorPos(0);
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
    return _cursorPosition;
}

void HexViewPrivate::setCursorPos(int position)
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

    _cursorPosition = int(clamped);
    placeCursor();

    _blink = true;
    update();
    emit currentAddressChanged(_cursorPosition / 2);
}

int HexViewPrivate::cursorPos(QPoint point) const
{
    if (point.x() < _xPosHex || point.x() >= _xPosHex + HexChars * _charWidth)
        return -1;
    const int column = (point.x() - _xPosHex) / _charWidth;
    // the gap after a byte counts as its second digit
    const int nibble = (column / 3) * 2 + (column % 3 == 0 ? 0 : 1);
    const int row = (point.y() - HitTopMargin) / _charHeight;
    return row * NibblesPerRow + nibble;
}

void HexViewPrivate::ensureVisible()
{
    if (_scrollArea)
        _scrollArea->ensureVisible(_cursorX, _cursorY + _charHeight / 2, 3, _charHeight / 2 + 2);
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

void HexViewPrivate::resetSelection(int position)
{
    if (position < 0)
        position = 0;
    _selectionInit = position / 2;
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

void HexViewPrivate::setSelection(int position)
{
    if (position < 0)
        position = 0;
    const int byte = position / 2;
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
        const int end = 2 * (idx + ba.length());
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
        setCursorPos(2 * idx);
        resetSelection(2 * idx);
        setSelection(2 * (idx + ba.length()));
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
    const int position = cursorPos(event->pos());
    resetSelection(position);
    setCursorPos(position);
}

void HexViewPrivate::mouseMoveEvent(QMouseEvent *event)
{
    _blink = false;
    update();
    const int position = cursorPos(event->pos());
    setCursorPos(position);
    setSelection(position);
}

void HexViewPrivate::keyPressEvent(QKeyEvent *event)
{
    // The cursor's own position gives the same byte and digit as its pixel coordinates would,
    // and stays right when a font or offset change has moved the columns since.
    const int cursorByte = _cursorPosition / 2;
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
            setCursorPos(2 * begin);
            resetSelection(2 * begin);
        }

        if (event->matches(QKeySequence::Paste)) {
            const QString hex = QApplication::clipboard()->text(QClipboard::Clipboard);
            const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
            insert(_cursorPosition / 2, bytes);
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
        QApplication::clipboard()->setText(selectionToClipboardText(), QClipboard::Clipboard);

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
    const int size = _xData.size();

    painter.fillRect(exposed, palette().color(QPalette::Base));
    if (_addressArea) {
        painter.fillRect(
            QRect(_xPosAdr, exposed.top(), _xPosHex - SeparatorInset, height()), _addressAreaColor);
    }
    if (_asciiArea) {
        const int lineX = _xPosAscii - SeparatorInset;
        painter.setPen(Qt::gray);
        painter.drawLine(lineX, exposed.top(), lineX, height());
    }
    painter.setPen(textColor);

    int first = (exposed.top() / _charHeight - _charHeight) * BytesPerRow;
    if (first < 0)
        first = 0;
    int last = (exposed.bottom() / _charHeight + _charHeight) * BytesPerRow;
    if (last > size)
        last = size;
    const int firstBaseline = (first / BytesPerRow) * _charHeight + _charHeight;

    if (_addressArea) {
        const int digits = _xData.realAddressNumbers();
        int y = firstBaseline;
        for (int row = first; row < last; row += BytesPerRow, y += _charHeight) {
            const qint64 address = qint64(row) + _xData.addressOffset();
            painter.drawText(
                _xPosAdr, y, QString::number(address, 16).rightJustified(digits, QLatin1Char('0')));
        }
    }

    const QByteArray hex = _xData.data().mid(first, last - first + 1).toHex();
    painter.setBackgroundMode(Qt::TransparentMode);
    int y = firstBaseline;
    for (int row = first; row < last; row += BytesPerRow, y += _charHeight) {
        int x = _xPosHex;
        for (int column = 0; column < BytesPerRow; ++column) {
            const int index = row + column;
            if (index >= size)
                break;
            if (index >= _selectionBegin && index < _selectionEnd) {
                painter.setBackground(_selectionColor);
                painter.setBackgroundMode(Qt::OpaqueMode);
                painter.setPen(Qt::white);
            } else if (_highlighting) {
                painter.setBackground(_highlightingColor);
                painter.setPen(textColor);
                painter.setBackgroundMode(
                    _xData.dataChanged(index) ? Qt::OpaqueMode : Qt::TransparentMode);
            } else {
                painter.setPen(textColor);
                painter.setBackgroundMode(Qt::TransparentMode);
            }
            const QString digits = QString::fromLatin1(hex.mid(2 * (index - first), 2));
            if (column == 0) {
                painter.drawText(x, y, digits);
                x += 2 * _charWidth;
            } else {
                painter.drawText(x, y, QLatin1Char(' ') + digits);
                x += 3 * _charWidth;
            }
        }
    }

    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(textColor);
    if (_asciiArea) {
        y = firstBaseline;
        for (int row = first; row < last; row += BytesPerRow, y += _charHeight) {
            for (int column = 0; column < BytesPerRow && row + column < size; ++column) {
                painter.drawText(
                    _xPosAscii + column * _charWidth, y, QString(_xData.asciiChar(row + column)));
            }
        }
    }

    if (_blink && !_readOnly && hasFocus()) {
        if (_overwriteMode) {
            painter.fillRect(_cursorX, _cursorY + _charHeight - 2, _charWidth, 2, textColor);
        } else {
            painter.fillRect(_cursorX, _cursorY, 2, _charHeight, textColor);
        }
    }

    if (size != _size) {
        _size = size;
        emit currentSizeChanged(_size);
    }
}

void HexViewPrivate::updateCursor()
{
    _blink = !_blink;
    update(_cursorX, _cursorY, _charWidth, _charHeight);
}

void HexViewPrivate::adjust()
{
    const QFontMetrics metrics(font());
    _charWidth = metrics.horizontalAdvance(QLatin1Char('9'));
    _charHeight = metrics.height();

    _xPosAdr = 0;
    _xPosHex = _addressArea ? _xData.realAddressNumbers() * _charWidth + GapAddressHex : 0;
    _xPosAscii = _xPosHex + HexChars * _charWidth + GapHexAscii;

    // A widget cannot be taller than QWIDGETSIZE_MAX, and that value itself as a minimum means
    // "no minimum", which would drop the scroll range to nothing for very large data.
    const qint64 rows = qint64(_xData.size()) / BytesPerRow + 1;
    setMinimumHeight(int(qMin<qint64>(rows * _charHeight + BottomMargin, QWIDGETSIZE_MAX - 1)));
    setMinimumWidth(
        _asciiArea ? _xPosAscii + BytesPerRow * _charWidth : _xPosHex + HexChars * _charWidth);

    // The cursor cell moves with the columns even when its position does not change.
    placeCursor();
    update();
}

void HexViewPrivate::placeCursor()
{
    const int inRow = _cursorPosition % NibblesPerRow;
    _cursorY = (_cursorPosition / NibblesPerRow) * _charHeight + TopMargin;
    _cursorX = ((inRow / 2) * 3 + inRow % 2) * _charWidth + _xPosHex;
}

void HexViewPrivate::push(QUndoCommand *command)
{
    _undoStack->push(command);
}

void HexViewPrivate::removeSelection()
{
    const int begin = _selectionBegin;
    remove(begin, _selectionEnd - begin);
    setCursorPos(2 * begin);
    resetSelection(2 * begin);
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
    const int viewHeight = _scrollArea ? _scrollArea->viewport()->height() : height();
    return (viewHeight / _charHeight - 1) * NibblesPerRow;
}

void HexViewPrivate::handleNavigation(QKeyEvent *event)
{
    struct Move
    {
        QKeySequence::StandardKey key;
        int (*target)(int position, int page, int size);
    };
    static const Move moves[] = {
        {QKeySequence::MoveToNextChar, [](int p, int, int) { return p + 1; }},
        {QKeySequence::MoveToPreviousChar, [](int p, int, int) { return p - 1; }},
        {QKeySequence::MoveToEndOfLine, [](int p, int, int) { return p | (NibblesPerRow - 1); }},
        {QKeySequence::MoveToStartOfLine, [](int p, int, int) { return p - p % NibblesPerRow; }},
        {QKeySequence::MoveToPreviousLine, [](int p, int, int) { return p - NibblesPerRow; }},
        {QKeySequence::MoveToNextLine, [](int p, int, int) { return p + NibblesPerRow; }},
        {QKeySequence::MoveToNextPage, [](int p, int page, int) { return p + page; }},
        {QKeySequence::MoveToPreviousPage, [](int p, int page, int) { return p - page; }},
        {QKeySequence::MoveToEndOfDocument, [](int, int, int size) { return 2 * size; }},
        {QKeySequence::MoveToStartOfDocument, [](int, int, int) { return 0; }},
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
        setSelection(2 * _xData.size() + 1);
    }

    struct Extend
    {
        QKeySequence::StandardKey key;
        int (*target)(int position, int page, int size);
    };
    static const Extend extends[] = {
        {QKeySequence::SelectNextChar, [](int p, int, int) { return p + 1; }},
        {QKeySequence::SelectPreviousChar, [](int p, int, int) { return p - 1; }},
        {QKeySequence::SelectEndOfLine,
            [](int p, int, int) { return p - p % NibblesPerRow + NibblesPerRow; }},
        {QKeySequence::SelectStartOfLine, [](int p, int, int) { return p - p % NibblesPerRow; }},
        {QKeySequence::SelectPreviousLine, [](int p, int, int) { return p - NibblesPerRow; }},
        {QKeySequence::SelectNextLine, [](int p, int, int) { return p + NibblesPerRow; }},
        {QKeySequence::SelectNextPage, [](int p, int page, int) { return p + page; }},
        {QKeySequence::SelectPreviousPage, [](int p, int page, int) { return p - page; }},
        {QKeySequence::SelectEndOfDocument, [](int, int, int size) { return 2 * size; }},
        {QKeySequence::SelectStartOfDocument, [](int, int, int) { return 0; }},
    };
    for (const Extend &extend : extends) {
        if (!event->matches(extend.key))
            continue;
        const int target = extend.target(_cursorPosition, pageStep(), _xData.size());
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
