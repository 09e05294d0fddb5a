// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUITSIGNALS_H
#define QUITSIGNALS_H

#include <QObject>
#include <QVector>

#include <signal.h>

class QSocketNotifier;
class QWidget;

// Ends the program on SIGTERM (a session's logout), SIGINT and SIGHUP the way the user would: by
// closing the main window first, so that its close event stores what is to be kept, then every
// other window, a modal dialog included, so that the last one closed ends the event loop. A signal
// that was ignored when the program started (nohup) stays ignored. The handler only writes to a
// socket; the closing happens in the event loop. A child of the main window, so that signals that
// come while the window takes itself down are still caught, and let go. One instance at a time;
// the destructor puts the signals back as they were.
class QuitSignals : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(QuitSignals)

public:
    explicit QuitSignals(QWidget *mainWindow);
    ~QuitSignals() override;

    // The signals this instance has taken over.
    const QVector<int> &watched() const { return handled; }

private:
    void readPending();
    void closeWindows();

    QWidget *const mainWindow;
    QSocketNotifier *notifier = nullptr;
    QVector<int> handled;
    QVector<struct sigaction> previous;
};

#endif // QUITSIGNALS_H
