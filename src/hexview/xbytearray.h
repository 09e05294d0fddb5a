// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef XBYTEARRAY_H
#define XBYTEARRAY_H

#include <QByteArray>
#include <QChar>
#include <QString>

// The bytes behind the hex view, with one change flag per byte that marks bytes written by an
// edit since the data was last loaded, plus the settings of the address column. Out-of-range
// positions are ignored or clipped; nothing here reports errors.
//
// Appending keeps the newest bytes up to the history limit. The oldest go a whole number of rows
// at a time, so that every byte stays in its column, and each kept byte keeps its address: the
// addresses count every byte since the data was last loaded.
class XByteArray
{
public:
    static constexpr int DefaultHistoryLimit = 256 << 20;
    static constexpr int MinHistoryLimit = 16;
    // Well below the 2 GiB that a QByteArray holds at most.
    static constexpr int MaxHistoryLimit = 1 << 30;

    XByteArray();

    const QByteArray &data() const;
    void setData(const QByteArray &data);
    // Same result as setData(data() + block), at a cost proportional to the block, as long as the
    // result fits the history limit; past it, the oldest bytes are dropped first.
    void appendData(const QByteArray &block);
    int size() const;

    int historyLimit() const;
    // Clipped to MinHistoryLimit..MaxHistoryLimit. Only appends trim: what is held stays until
    // the next one.
    void setHistoryLimit(int bytes);
    // Bytes dropped from the front since the data was last loaded.
    qint64 droppedBytes() const;
    // The address the byte at index shows, its place in the stream plus the address offset.
    qint64 address(qint64 index) const;

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
    int flagCount() const;
    QByteArray &changeFlags();

    QByteArray _data;
    // Empty while every flag is 0 and there is one per byte, which is all that loading and
    // appending ever leave: received data then costs no flags at all.
    QByteArray _changedData;
    qint64 _droppedBytes;
    int _historyLimit;
    int _addressWidth;
    int _addressOffset;
    int _realAddressNumbers;
};

#endif // XBYTEARRAY_H
