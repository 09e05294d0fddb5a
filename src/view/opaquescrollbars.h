// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OPAQUESCROLLBARS_H
#define OPAQUESCROLLBARS_H

#include <QObject>

class QAbstractScrollArea;
class QScrollBar;

// Lets a scroll area's scroll bars be opaque when the style paints every pixel of them, so that a
// scroll bar that moves with every block of new text repaints nothing behind it. Overlay scroll
// bars and styles that leave pixels to the background are left as they are.
class OpaqueScrollBars : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(OpaqueScrollBars)

public:
    explicit OpaqueScrollBars(QAbstractScrollArea *area);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static void check(QScrollBar *bar);
};

#endif // OPAQUESCROLLBARS_H
