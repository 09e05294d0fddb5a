// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef XBYTEARRAY_H
#define XBYTEARRAY_H

#include <QByteArray>
#include <QChar>
#include <QString>

// The bytes behind the hex view, with one change flag per byte that marks bytes written by an
// edit since the data was last loaded, plus the settings of the address column. Out-of-range
// positions are ignored or clipped; nothing here reports errors.
class XByteArray
{
public:
    XByteArray();

    QByteArray &data();
    const QByteArray &data() const;
    void setData(const QByteArray &data);
    // Same result as setData(data() + block), at a cost proportional to the block.
    void appendData(const QByteArray &block);
    int size() const;

    int addressOffset() const;
    void setAddressOffset(int offset);
    int addressWidth() const;
    void setAddressWidth(int width);
    int realAddressNumbers();

    bool dataChanged(int i) const;
    QByteArray dataChanged(int i, int len) const;
    void setDataChanged(int i, bool state);
    void setDataChanged(int i, const QByteArray &state);

    QByteArray &insert(int i, char ch);
    QByteArray &insert(int i, const QByteArray &ba);
    QByteArray &remove(int pos, int len);
    QByteArray &replace(int index, char ch);
    QByteArray &replace(int index, const QByteArray &ba);
    QByteArray &replace(int index, int length, const QByteArray &ba);

    QChar asciiChar(int index) const;
    QString toRedableString(int start = 0, int end = -1);

private:
    void markChanged();
    void clearChangeFlags();

    QByteArray _data;
    QByteArray _changedData;
    int _addressWidth;
    int _addressOffset;
    int _realAddressNumbers;
    // False only while every change flag is known to be 0, so that loading more data need not
    // rewrite the flags of everything received before.
    bool _changedMayBeSet;
};

#endif // XBYTEARRAY_H
