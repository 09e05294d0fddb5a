// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/xbytearray.h"

#include "hexview/hexlayout.h"

namespace {
const int BytesPerRow = HexLayout::BytesPerRow;
const int HexFieldWidth = 48;
const int AsciiFieldWidth = 17;
const int MaxAddressWidth = 6;
} // namespace

XByteArray::XByteArray()
    : _addressWidth(4)
    , _addressOffset(0)
    , _realAddressNumbers(0)
    , _changedMayBeSet(false)
{ }

QByteArray &XByteArray::data()
{
    return _data;
}

const QByteArray &XByteArray::data() const
{
    return _data;
}

void XByteArray::setData(const QByteArray &data)
{
    _data = data;
    _changedData = QByteArray(data.length(), char(0));
    _changedMayBeSet = false;
}

void XByteArray::appendData(const QByteArray &block)
{
    clearChangeFlags();
    if (_changedData.length() != _data.length())
        _changedData = QByteArray(_data.length(), char(0));
    _data.append(block);
    _changedData.append(QByteArray(block.length(), char(0)));
}

int XByteArray::size() const
{
    return _data.size();
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
    const qint64 end = qint64(_data.size()) + _addressOffset;
    _realAddressNumbers = QString::number(end, 16).rightJustified(_addressWidth, '0').length();
    return _realAddressNumbers;
}

bool XByteArray::dataChanged(int i) const
{
    return i >= 0 && i < _changedData.length() && _changedData.at(i) != 0;
}

QByteArray XByteArray::dataChanged(int i, int len) const
{
    if (i < 0 || i >= _changedData.length() || len <= 0)
        return QByteArray();
    return _changedData.mid(i, len);
}

void XByteArray::setDataChanged(int i, bool state)
{
    if (i < 0 || i > _changedData.length())
        return;
    if (state)
        markChanged();
    if (i == _changedData.length())
        _changedData.append(char(state ? 1 : 0));
    else
        _changedData[i] = char(state ? 1 : 0);
}

void XByteArray::setDataChanged(int i, const QByteArray &state)
{
    if (i < 0 || i > _changedData.length())
        return;
    int n = state.length();
    if (i + n > _changedData.length())
        n = _changedData.length() - i;
    markChanged();
    _changedData.replace(i, n, state);
}

QByteArray &XByteArray::insert(int i, char ch)
{
    // QByteArray pads with spaces when inserting past the end; that would put bytes nobody
    // wrote into the data and non-zero values into the flags.
    if (i < 0 || i > _data.size())
        return _data;
    markChanged();
    _data.insert(i, ch);
    _changedData.insert(i, char(1));
    return _data;
}

QByteArray &XByteArray::insert(int i, const QByteArray &ba)
{
    if (i < 0 || i > _data.size() || ba.isEmpty())
        return _data;
    markChanged();
    _data.insert(i, ba);
    _changedData.insert(i, QByteArray(ba.length(), char(1)));
    return _data;
}

QByteArray &XByteArray::remove(int pos, int len)
{
    if (pos < 0 || pos >= _data.size() || len <= 0)
        return _data;
    _data.remove(pos, len);
    _changedData.remove(pos, len);
    return _data;
}

QByteArray &XByteArray::replace(int index, char ch)
{
    if (index < 0 || index > _data.size())
        return _data;
    markChanged();
    if (index == _data.size()) {
        _data.append(ch);
        _changedData.append(char(1));
    } else {
        _data[index] = ch;
        _changedData[index] = char(1);
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
    if (index + n > _data.size())
        n = _data.size() - index;
    // A short ba would otherwise shrink the data behind the flags' back.
    if (n > ba.length())
        n = ba.length();
    if (n <= 0)
        return _data;
    markChanged();
    _data.replace(index, n, ba.constData(), n);
    _changedData.replace(index, n, QByteArray(n, char(1)));
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
    for (int row = start; row < end; row += BytesPerRow) {
        const QString address
            = QString::number(qint64(row) + _addressOffset, 16).rightJustified(width, '0');
        QString hex;
        QString ascii;
        for (int j = row; j < row + BytesPerRow && j < _data.size(); ++j) {
            hex += QLatin1Char(' ');
            hex += QString::number(uchar(_data.at(j)), 16).rightJustified(2, '0');
            ascii += asciiChar(j);
        }
        result += address + QLatin1Char(' ') + hex.leftJustified(HexFieldWidth)
            + QLatin1String("  ") + ascii.leftJustified(AsciiFieldWidth) + QLatin1Char('\n');
    }
    return result;
}

void XByteArray::markChanged()
{
    _changedMayBeSet = true;
}

void XByteArray::clearChangeFlags()
{
    if (!_changedMayBeSet)
        return;
    _changedData.fill(char(0));
    _changedMayBeSet = false;
}
