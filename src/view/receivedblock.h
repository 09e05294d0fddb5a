// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECEIVEDBLOCK_H
#define RECEIVEDBLOCK_H

#include <QByteArray>
#include <QString>

// What one block of received bytes does to the terminal's text: first take back up to
// `deletions` characters before the cursor (fewer when the text is shorter), then insert `text`.
struct ReceivedBlock
{
    int deletions = 0;
    QString text;
};

// NUL bytes are dropped. A backspace takes back the last byte of this block not shown yet, or,
// when there is none, one character already shown. What is left is decoded as UTF-8.
ReceivedBlock decodeReceivedBlock(const QByteArray &data);

// The same for a stream of blocks, whose boundaries fall wherever the port's reads happened to
// end: a stream without backspaces comes out as if it had arrived in one block.
//  - A character whose bytes are split between two blocks is held back until its last byte comes.
//    Held-back bytes are not shown yet, so the next block's backspaces take them back first.
//  - A CR that ended the text shown and an LF that starts the next block's text are one line
//    break, as they are within one block; the LF is dropped. Taking back shown text ends this,
//    even where it leaves that CR's line break last again: what was shown is not remembered.
class ReceivedTextDecoder
{
public:
    ReceivedBlock decode(const QByteArray &data);
    // Forgets the held-back bytes and the CR, for a display that starts again empty.
    void reset();
    // Whether bytes of a character are waiting for the rest of it.
    bool holdsBytes() const;

private:
    QByteArray heldBack;
    bool shownEndsWithCr = false;
};

#endif // RECEIVEDBLOCK_H
