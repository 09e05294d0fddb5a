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

#endif // RECEIVEDBLOCK_H
