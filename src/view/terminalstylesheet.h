// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TERMINALSTYLESHEET_H
#define TERMINALSTYLESHEET_H

#include <QColor>
#include <QFont>
#include <QString>

// The terminal view's style sheet, which carries its font and both colours.
QString terminalStyleSheet(const QFont &font, const QColor &color, const QColor &backColor);

// A colour as the style sheet writes it: no alpha, and black for an invalid colour, which has
// no components of its own.
QColor styleSheetColor(const QColor &color);

#endif // TERMINALSTYLESHEET_H
