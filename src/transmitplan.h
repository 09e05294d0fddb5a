// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TRANSMITPLAN_H
#define TRANSMITPLAN_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// What a key press or a paste puts on the wire, worked out before anything is written.
struct TransmitPlan
{
    enum Kind {
        // Navigation, editing, modifier and lock keys.
        Nothing,
        // Typed text in one write.
        Write,
        // Pasted text, one byte per write.
        PacedPaste,
        // A programmed function key's string, one byte per write.
        PacedFunctionKey,
    };

    Kind kind = Nothing;
    // As it goes out: CR LF for Return or Enter when that is asked for, and a function key's
    // string with its line ends.
    QString text;
    // A write takes the toolkit's Latin-1 conversion ("?" beyond U+00FF); a paced send one byte
    // per UTF-16 code unit, NUL beyond U+00FF.
    QByteArray bytes;
};

// functionString, functionCheckCR and functionCheckLF are the window's function key table.
TransmitPlan planTransmit(int key, const QString &text, bool enterWithCR,
    const QList<QPair<int, QString>> &functionString,
    const QList<QPair<int, bool>> &functionCheckCR, const QList<QPair<int, bool>> &functionCheckLF);

#endif // TRANSMITPLAN_H
