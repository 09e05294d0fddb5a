// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/receivedblock.h"

ReceivedBlock decodeReceivedBlock(const QByteArray &data)
{
    ReceivedBlock block;
    QByteArray pending;
    pending.reserve(data.size());
    for (const char byte : data) {
        if (byte == '\0')
            continue;
        if (byte == '\b') {
            if (pending.isEmpty())
                ++block.deletions;
            pending.chop(1);
            continue;
        }
        pending.append(byte);
    }
    block.text = QString::fromUtf8(pending);
    return block;
}
