// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WINDOWPLACEMENT_H
#define WINDOWPLACEMENT_H

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

// Where a window goes when its stored geometry comes back from the settings store. A stored size
// is kept within the screen and above the window's minimum; a stored position is kept as long as
// enough of the title bar lies on a screen to take hold of it. Anything else is brought back onto
// a screen, moving only along the axis that is off. Works in 64 bits throughout, so no stored
// value can overflow.
struct WindowPlacement
{
    QPoint pos;
    QSize size;
};

// pos is the frame's top-left corner and size the window without its frame, as QWidget::move and
// QWidget::resize take them. screens holds the available area of every screen, the primary first;
// with none the size is only held above the minimum. titleBarHeight is how much of the frame's
// top the title bar takes.
WindowPlacement placeStoredWindow(const QPoint &pos, const QSize &size, const QSize &minimum,
    const QVector<QRect> &screens, int titleBarHeight);

// Whether the program can place its windows on the named Qt platform. A Wayland compositor places
// windows itself and tells a program nothing true about where they are.
bool platformPlacesWindows(const QString &platformName);

#endif // WINDOWPLACEMENT_H
