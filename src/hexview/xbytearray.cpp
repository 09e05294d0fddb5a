// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/xbytearray.h"

#include "hexview/hexlayout.h"

#include <cstring>

namespace {
const int BytesPerRow = HexLayout::BytesPerRow;
const int HexFieldWidth = 48;
const int AsciiFieldWidth = 17;
const int MaxAddressWidth = 6;
// Data this large gets room for the whole history at once.
const int ReserveFrom = 1 << 20;

qint64 wholeRowsUp(qint64 bytes)
{
    return (bytes + BytesPerRow - 1) / BytesPerRow * BytesPerRow;
}

qint64 wholeRowsDown(qint64 bytes)
{
    return bytes / BytesPerRow * BytesPerRow;
}
} // namespace

XByteArray::XByteArray()
    : _droppedBytes(0)
    , _historyLimit(DefaultHistoryLimit)
    , _addressWidth(4)
    , _addressOffset(0)
    , _realAddressNumbers(0)
{ }

const QByteArray &XByteArray::data() const
{
    return _data;
}

void XByteArray::setData(const QByteArray &data)
{
    _data = data;
    _changedData = QByteArray();
    _droppedBytes = 0;
}

void XByteArray::appendData(const QByteArray &block)
{
    _changedData = QByteArray();
    const qint64 total = qint64(_data.size()) + block.size();
    if (total <= _historyLimit) {
        // Growing by doubling would move the bytes at every doubling, which made the first trim
        // after it many times slower than the others, and would reserve up to twice the limit.
        // Room that is never touched costs no resident memory.
        if (total > _data.capacity() && total > ReserveFrom)
            _data.reserve(_historyLimit);
        _data.append(block);
        return;
    }

    // Down to well below the limit, so that the bytes kept are moved once per many appends.
    const qint64 keep = _historyLimit - _historyLimit / 8;
    const qint64 drop = qMin(wholeRowsUp(total - keep), wholeRowsDown(total));
    if (drop < _data.size()) {
        // In place: the memory already touched is all the memory ever touched. Moved by hand,
        // since Qt 6's remove() from the front only moves the start, and the append after it
        // then finds no room at the end and reallocates.
        const int kept = _data.size() - int(drop);
        char *bytes = _data.data();
        std::memmove(bytes, bytes + drop, size_t(kept));
        _data.truncate(kept);
        _data.append(block);
    } else {
        const int skip = int(drop - _data.size());
        _data.clear();
        _data.append(block.constData() + skip, block.size() - skip);
    }
    _droppedBytes += drop;
}

int XByteArray::size() const
{
    return _data.size();
}

int XByteArray::historyLimit() const
{
    return _historyLimit;
}

void XByteArray::setHistoryLimit(int bytes)
{
    _historyLimit = qBound(MinHistoryLimit, bytes, MaxHistoryLimit);
}

qint64 XByteArray::droppedBytes() const
{
    return _droppedBytes;
}

qint64 XByteArray::address(qint64 index) const
{
    return _droppedBytes + index + _addressOffset;
}

int XByteArray::addressOffset() const
{
    return _addressOffset;
}

void XByteArray::setAddressOffset(int offset)
{
    _addressOffset = offset;
}

int XByteArray::addressWidth() const
{
    return _addressWidth;
}

void XByteArray::setAddressWidth(int width)
{
    if (width >= 0 && width <= MaxAddressWidth)
        _addressWidth = width;
}

int XByteArray::realAddressNumbers()
{
    // The digits of the address one past the last byte, so that appending never needs a wider
    // column than the one computed now.
    const qint64 end = address(_data.size());
    _realAddressNumbers = QString::number(end, 16).rightJustified(_addressWidth, '0').length();
    return _realAddressNumbers;
}

bool XByteArray::dataChanged(int i) const
{
    return i >= 0 && i < _changedData.length() && _changedData.at(i) != 0;
}

QByteArray XByteArray::dataChanged(int i, int len) const
{
    const int count = flagCount();
    if (i < 0 || i >= count || len <= 0)
        return QByteArray();
    if (_changedData.isEmpty())
        return QByteArray(qMin(len, count - i), char(0));
    return _changedData.mid(i, len);
}

void XByteArray::setDataChanged(int i, bool state)
{
    const int count = flagCount();
    if (i < 0 || i > count)
        return;
    if (!state && i < count && _changedData.isEmpty())
        return;
    QByteArray &flags = changeFlags();
    if (i == count)
        flags.append(char(state ? 1 : 0));
    else
        flags[i] = char(state ? 1 : 0);
}

void XByteArray::setDataChanged(int i, const QByteArray &state)
{
    const int count = flagCount();
    if (i < 0 || i > count)
        return;
    int n = state.length();
    if (qint64(i) + n > count)
        n = count - i;
    if (_changedData.isEmpty() && n == state.length() && state.count(char(0)) == n)
        return;
    changeFlags().replace(i, n, state);
}

QByteArray &XByteArray::insert(int i, char ch)
{
    // QByteArray pads with spaces when inserting past the end; that would put bytes nobody
    // wrote into the data and non-zero values into the flags.
    if (i < 0 || i > _data.size())
        return _data;
    changeFlags().insert(i, char(1));
    _data.insert(i, ch);
    return _data;
}

QByteArray &XByteArray::insert(int i, const QByteArray &ba)
{
    if (i < 0 || i > _data.size() || ba.isEmpty())
        return _data;
    changeFlags().insert(i, QByteArray(ba.length(), char(1)));
    _data.insert(i, ba);
    return _data;
}

QByteArray &XByteArray::remove(int pos, int len)
{
    if (pos < 0 || pos >= _data.size() || len <= 0)
        return _data;
    _data.remove(pos, len);
    if (!_changedData.isEmpty())
        _changedData.remove(pos, len);
    return _data;
}

QByteArray &XByteArray::replace(int index, char ch)
{
    if (index < 0 || index > _data.size())
        return _data;
    QByteArray &flags = changeFlags();
    if (index == _data.size()) {
        _data.append(ch);
        flags.append(char(1));
    } else {
        _data[index] = ch;
        flags[index] = char(1);
    }
    return _data;
}

QByteArray &XByteArray::replace(int index, const QByteArray &ba)
{
    return replace(index, ba.length(), ba);
}

QByteArray &XByteArray::replace(int index, int length, const QByteArray &ba)
{
    if (index < 0 || index >= _data.size() || length <= 0)
        return _data;
    int n = length;
    if (qint64(index) + n > _data.size())
        n = _data.size() - index;
    // A short ba would otherwise shrink the data behind the flags' back.
    if (n > ba.length())
        n = ba.length();
    if (n <= 0)
        return _data;
    changeFlags().replace(index, n, QByteArray(n, char(1)));
    _data.replace(index, n, ba.constData(), n);
    return _data;
}

QChar XByteArray::asciiChar(int index) const
{
    if (index < 0 || index >= _data.size())
        return QChar('.');
    const uchar ch = uchar(_data.at(index));
    if (ch < 0x20 || ch > 0x7e)
        return QChar('.');
    return QChar(ch);
}

QString XByteArray::toRedableString(int start, int end)
{
    const int width = qMax(realAddressNumbers(), _addressWidth);
    if (end < 0)
        end = _data.size();
    if (start < 0)
        start = 0;

    QString result;
    for (qint64 row = start; row < end; row += BytesPerRow) {
        const QString label = QString::number(address(row), 16).rightJustified(width, '0');
        QString hex;
        QString ascii;
        for (qint64 j = row; j < row + BytesPerRow && j < _data.size(); ++j) {
            hex += QLatin1Char(' ');
            hex += QString::number(uchar(_data.at(int(j))), 16).rightJustified(2, '0');
            ascii += asciiChar(int(j));
        }
        result += label + QLatin1Char(' ') + hex.leftJustified(HexFieldWidth) + QLatin1String("  ")
            + ascii.leftJustified(AsciiFieldWidth) + QLatin1Char('\n');
    }
    return result;
}

// As many flags as there are bytes, unless an edit has written past the end of the data.
int XByteArray::flagCount() const
{
    return _changedData.isEmpty() ? _data.size() : _changedData.size();
}

QByteArray &XByteArray::changeFlags()
{
    if (_changedData.isEmpty())
        _changedData = QByteArray(_data.size(), char(0));
    return _changedData;
}
