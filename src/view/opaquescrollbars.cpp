// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/opaquescrollbars.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QImage>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

OpaqueScrollBars::OpaqueScrollBars(QAbstractScrollArea *area)
    : QObject(area)
{
    for (QScrollBar *bar : {area->verticalScrollBar(), area->horizontalScrollBar()})
        bar->installEventFilter(this);
}

bool OpaqueScrollBars::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Resize:
    case QEvent::StyleChange:
        // Rendering sends the bar's pending resize events, which would land here again.
        if (auto *bar = qobject_cast<QScrollBar *>(watched))
            QTimer::singleShot(0, bar, [bar] { check(bar); });
        break;
    default:
        break;
    }
    return false;
}

// Renders the bar on a transparent image, without any background of its own: opaque only if
// nothing of the image shows through.
void OpaqueScrollBars::check(QScrollBar *bar)
{
    // A hidden bar is checked again when it is shown.
    if (!bar->isVisible())
        return;
    bool solid = !bar->size().isEmpty()
        && !bar->style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, bar);
    if (solid) {
        QImage probe(bar->size(), QImage::Format_ARGB32_Premultiplied);
        probe.fill(Qt::transparent);
        bar->render(&probe, QPoint(), QRegion(), QWidget::RenderFlags());
        for (int y = 0; solid && y < probe.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(probe.constScanLine(y));
            for (int x = 0; solid && x < probe.width(); ++x)
                solid = qAlpha(line[x]) == 255;
        }
    }
    bar->setAttribute(Qt::WA_OpaquePaintEvent, solid);
}
