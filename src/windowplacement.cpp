// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowplacement.h"

#include <QtGlobal>

#include <tuple>

namespace {

// How much of the title bar's width must be on a screen for the user to take hold of it.
constexpr qint64 titleBarGrip = 100;

struct Span
{
    qint64 start;
    qint64 length;

    qint64 end() const { return start + length; }
    qint64 overlap(const Span &other) const
    {
        return qMax<qint64>(0, qMin(end(), other.end()) - qMax(start, other.start));
    }
};

Span horizontal(const QRect &screen)
{
    return {screen.x(), screen.width()};
}

Span vertical(const QRect &screen)
{
    return {screen.y(), screen.height()};
}

bool grips(const Span &titleBar, const QRect &screen)
{
    return titleBar.overlap(horizontal(screen)) >= qMin(titleBar.length, titleBarGrip);
}

bool fitsVertically(const Span &titleBar, const QRect &screen)
{
    return titleBar.start >= screen.y() && titleBar.end() <= vertical(screen).end();
}

int bounded(int stored, int minimum, int available)
{
    return qBound(minimum, stored, qMax(minimum, available));
}

// Moves a window of the given extent along one axis so that all of it lies on the screen, or
// starts at the screen's edge when it is larger.
int pulledOnto(qint64 start, qint64 extent, const Span &screen)
{
    return int(qBound(screen.start, start, qMax(screen.start, screen.end() - extent)));
}

} // namespace

WindowPlacement placeStoredWindow(const QPoint &pos, const QSize &size, const QSize &minimum,
    const QVector<QRect> &screens, int titleBarHeight)
{
    if (screens.isEmpty()) {
        return {
            pos, QSize(qMax(size.width(), minimum.width()), qMax(size.height(), minimum.height()))};
    }

    // The screen that holds most of the stored title bar, else the one it is beside, else the
    // primary one.
    const Span storedBarX {pos.x(), size.width()};
    const Span storedBarY {pos.y(), qMax(titleBarHeight, 1)};
    const auto nearness = [&](const QRect &screen) {
        const qint64 across = storedBarX.overlap(horizontal(screen));
        const qint64 down = storedBarY.overlap(vertical(screen));
        return std::make_tuple(across * down, across, down);
    };
    QRect home = screens.first();
    for (const QRect &screen : screens) {
        if (nearness(screen) > nearness(home))
            home = screen;
    }

    const QSize placedSize(bounded(size.width(), minimum.width(), home.width()),
        bounded(size.height(), minimum.height(), home.height()));

    const Span barX {pos.x(), placedSize.width()};
    for (const QRect &screen : screens) {
        if (grips(barX, screen) && fitsVertically(storedBarY, screen))
            return {pos, placedSize};
    }

    QPoint placedPos = pos;
    if (!grips(barX, home))
        placedPos.setX(pulledOnto(pos.x(), placedSize.width(), horizontal(home)));
    if (!fitsVertically(storedBarY, home))
        placedPos.setY(
            pulledOnto(pos.y(), qint64(placedSize.height()) + titleBarHeight, vertical(home)));
    return {placedPos, placedSize};
}

bool platformPlacesWindows(const QString &platformName)
{
    return !platformName.startsWith(QLatin1String("wayland"));
}
