// SPDX-License-Identifier: GPL-3.0-or-later
#include "repaintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int frameMilliseconds = 16;

} // namespace

RepaintPacer::RepaintPacer(QWidget *window)
    : QObject(window)
    , window(window)
    , nextFrame(new QTimer(this))
{
    nextFrame->setSingleShot(true);
    nextFrame->setTimerType(Qt::PreciseTimer);
    connect(nextFrame, &QTimer::timeout, this, &RepaintPacer::requestRepaint);
    window->installEventFilter(this);
}

// Qt paints a window when it handles the update request that the first change since the last
// repaint posted; until that request is handled, further changes only add to what it will paint.
bool RepaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window || event->type() != QEvent::UpdateRequest)
        return false;
    if (!sinceRepaint.isValid() || sinceRepaint.elapsed() >= frameMilliseconds) {
        sinceRepaint.start();
        return false;
    }
    if (!nextFrame->isActive())
        nextFrame->start(int(frameMilliseconds - sinceRepaint.elapsed()));
    return true;
}

void RepaintPacer::requestRepaint()
{
    QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
