// SPDX-License-Identifier: GPL-3.0-or-later
#include "transmitplan.h"

#include "functionkeys/functionkeytable.h"

namespace {

bool isDroppedKey(int key)
{
    return (key >= Qt::Key_Escape && key <= Qt::Key_Backtab)
        || (key >= Qt::Key_Insert && key <= Qt::Key_Clear)
        || (key >= Qt::Key_Home && key <= Qt::Key_PageDown)
        || (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock);
}

QByteArray pacedBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text)
        bytes.append(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '\0');
    return bytes;
}

TransmitPlan paced(TransmitPlan::Kind kind, const QString &text)
{
    return TransmitPlan {kind, text, pacedBytes(text)};
}

} // namespace

TransmitPlan planTransmit(int key, const QString &text, bool enterWithCR,
    const QList<QPair<int, QString>> &functionString,
    const QList<QPair<int, bool>> &functionCheckCR, const QList<QPair<int, bool>> &functionCheckLF)
{
    if (isDroppedKey(key))
        return TransmitPlan();

    if (key == Qt::Key_F35)
        return paced(TransmitPlan::PacedPaste, text);

    QString plain = text;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        const int index = key - Qt::Key_F1;
        if (index < functionString.size() && functionString.at(index).first == key) {
            return paced(TransmitPlan::PacedFunctionKey,
                withLineEnds(functionString.at(index).second, functionCheckCR.at(index).second,
                    functionCheckLF.at(index).second));
        }
    } else if (enterWithCR && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        plain = QStringLiteral("\r\n");
    }
    return TransmitPlan {TransmitPlan::Write, plain, plain.toLatin1()};
}
