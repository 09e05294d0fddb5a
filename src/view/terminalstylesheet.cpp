// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/terminalstylesheet.h"

namespace {

QString rgbText(const QColor &color)
{
    const QColor c = styleSheetColor(color);
    return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

// The family as a quoted style sheet string, so that no family can end the string early and add
// rules of its own. Quotes and backslashes are escaped. A line break cannot stand in a string, and
// no installed family has one, so it is left out. The sheet parser decodes a backslash followed by
// hex digits before anything else, so such a run in a family may come out as another character,
// but always as one escaped inside the string.
QString quotedFamily(const QString &family)
{
    QString quoted;
    quoted.reserve(family.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : family) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\f'))
            continue;
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

} // namespace

QColor styleSheetColor(const QColor &color)
{
    return color.isValid() ? QColor(color.red(), color.green(), color.blue()) : QColor(Qt::black);
}

QString terminalStyleSheet(const QFont &font, const QColor &color, const QColor &backColor)
{
    QString sheet = QStringLiteral("QTextEdit { font:");
    if (font.style() == QFont::StyleItalic)
        sheet += QStringLiteral("italic ");
    // Style sheets take CSS weights (100-900). Qt 5 divides them by 8 into its own scale, 0-99,
    // Qt 6 takes them as they are; "bold" means the same to both.
    if (font.weight() == QFont::Bold)
        sheet += QStringLiteral("bold");
    else
        sheet += QString::number(font.weight() * (QT_VERSION_MAJOR >= 6 ? 1 : 8));
    sheet += QLatin1Char(' ');
    sheet += QString::number(font.pointSize());
    sheet += QStringLiteral("pt ");
    sheet += quotedFamily(font.family());
    sheet += QLatin1Char(';');
    sheet += QStringLiteral("color:rgb(");
    sheet += rgbText(color);
    sheet += QStringLiteral(");");
    sheet += QStringLiteral("background-color:rgb(");
    sheet += rgbText(backColor);
    sheet += QStringLiteral("); }");
    return sheet;
}
