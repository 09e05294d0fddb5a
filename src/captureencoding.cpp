// SPDX-License-Identifier: GPL-3.0-or-later
#include "captureencoding.h"

QByteArray htmlCaptureBytes(const QString &document)
{
    // The bytes are Latin-1, with references for everything beyond; the UTF-8 that Qt 6 declares
    // would make a reader take "\xe9" for a broken character. Text from the device never matches
    // this, as its "<" is written "&lt;".
    QString html = document;
    html.remove(QStringLiteral("<meta charset=\"utf-8\" />"));
    QByteArray bytes;
    bytes.reserve(html.size());
    for (int i = 0; i < html.size(); ++i) {
        const QChar unit = html.at(i);
        if (unit.unicode() <= 0xff) {
            bytes.append(static_cast<char>(unit.unicode()));
            continue;
        }
        // A reference names a whole code point: one surrogate on its own is no character.
        uint codePoint = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < html.size() && html.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(unit, html.at(i + 1));
            ++i;
        } else if (unit.isSurrogate()) {
            codePoint = QChar::ReplacementCharacter;
        }
        bytes.append("&#");
        bytes.append(QByteArray::number(codePoint));
        bytes.append(';');
    }
    return bytes;
}
