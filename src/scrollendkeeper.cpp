// SPDX-License-Identifier: GPL-3.0-or-later
#include "scrollendkeeper.h"

#include <QScrollBar>

#include <utility>

namespace {

// Scrolling to make the last line visible can stop short of the maximum by the document's
// margin; that still counts as the end.
bool isNearEnd(const QScrollBar *bar)
{
    return bar->value() >= bar->maximum() - bar->singleStep();
}

} // namespace

ScrollEndKeeper::ScrollEndKeeper(QScrollBar *bar, std::function<bool()> holdsStill)
    : QObject(bar)
    , bar(bar)
    , holdsStill(std::move(holdsStill))
    , atEnd(isNearEnd(bar))
{
    connect(bar, &QScrollBar::valueChanged, this, &ScrollEndKeeper::noteValue);
    // Delivered before the bar clamps its value into the new range, so the old position is
    // still what atEnd describes.
    connect(bar, &QScrollBar::rangeChanged, this, &ScrollEndKeeper::followRange);
}

void ScrollEndKeeper::noteValue()
{
    atEnd = isNearEnd(bar);
}

void ScrollEndKeeper::followRange()
{
    if (atEnd && !(holdsStill && holdsStill()))
        bar->setValue(bar->maximum());
}
