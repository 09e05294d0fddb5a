// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SCROLLENDKEEPER_H
#define SCROLLENDKEEPER_H

#include <QObject>

#include <functional>

class QScrollBar;

// Keeps a scroll bar that was at its end at the end when its range changes: a view that follows
// the newest data goes on following it when it is resized or its content laid out anew (another
// font, a neighbour shown). A bar the user has moved away from the end is left where it is.
class ScrollEndKeeper : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ScrollEndKeeper)

public:
    // Owned by the bar. While `holdsStill` says so (a user's selection being read, say), the
    // bar stays where it is even at the end.
    explicit ScrollEndKeeper(QScrollBar *bar, std::function<bool()> holdsStill = {});

private:
    void noteValue();
    void followRange();

    QScrollBar *bar;
    std::function<bool()> holdsStill;
    bool atEnd;
};

#endif // SCROLLENDKEEPER_H
