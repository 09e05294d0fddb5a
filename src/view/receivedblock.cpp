// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/receivedblock.h"

#include <cstring>

namespace {

// Appends the bytes to show to `pending` and returns how many shown characters the backspaces
// take back.
int takePending(const QByteArray &data, QByteArray &pending)
{
    int deletions = 0;
    pending.reserve(pending.size() + data.size());
    for (const char byte : data) {
        if (byte == '\0')
            continue;
        if (byte == '\b') {
            if (pending.isEmpty())
                ++deletions;
            pending.chop(1);
            continue;
        }
        pending.append(byte);
    }
    return deletions;
}

QString decodeUtf8(const char *bytes, int size)
{
    // QString::fromUtf8 drops a byte order mark at the very start of its input. Where a block
    // begins is chance, so here it is a character like any other.
    int marks = 0;
    while (size - marks >= 3 && std::memcmp(bytes + marks, "\xEF\xBB\xBF", 3) == 0)
        marks += 3;
    return QString(marks / 3, QChar(0xFEFF)) + QString::fromUtf8(bytes + marks, size - marks);
}

// How many bytes at the end begin a character that more bytes could still complete. The range
// of the second byte rules out overlong forms, surrogates and code points past U+10FFFF, as
// QString::fromUtf8 does. Any other end decodes the same whatever follows, since fromUtf8 turns
// each byte of a broken sequence into a U+FFFD of its own and starts again at the next one: so
// holding back exactly these gives a split stream the text it has unsplit.
int incompleteTail(const QByteArray &bytes)
{
    const int size = bytes.size();
    for (int length = 1; length <= 3 && length <= size; ++length) {
        const uchar lead = uchar(bytes.at(size - length));
        if (lead >= 0x80 && lead < 0xC0)
            continue;
        const int needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead < 0xC2 || lead > 0xF4 || length >= needed)
            return 0;
        if (length == 1)
            return 1;
        const uchar second = uchar(bytes.at(size - length + 1));
        const uchar lowest = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const uchar highest = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        return second >= lowest && second <= highest ? length : 0;
    }
    return 0;
}

} // namespace

ReceivedBlock decodeReceivedBlock(const QByteArray &data)
{
    ReceivedBlock block;
    QByteArray pending;
    block.deletions = takePending(data, pending);
    block.text = decodeUtf8(pending.constData(), pending.size());
    return block;
}

ReceivedBlock ReceivedTextDecoder::decode(const QByteArray &data)
{
    ReceivedBlock block;
    QByteArray pending;
    pending.swap(heldBack);
    block.deletions = takePending(data, pending);
    const int incomplete = incompleteTail(pending);
    heldBack = pending.right(incomplete);
    pending.chop(incomplete);

    if (block.deletions > 0)
        shownEndsWithCr = false;
    const int joined = shownEndsWithCr && pending.startsWith('\n') ? 1 : 0;
    if (!pending.isEmpty())
        shownEndsWithCr = pending.endsWith('\r');
    block.text = decodeUtf8(pending.constData() + joined, pending.size() - joined);
    return block;
}

void ReceivedTextDecoder::reset()
{
    heldBack.clear();
    shownEndsWithCr = false;
}

bool ReceivedTextDecoder::holdsBytes() const
{
    return !heldBack.isEmpty();
}
