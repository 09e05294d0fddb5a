// SPDX-License-Identifier: GPL-3.0-or-later
#include "quitsignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written to by the handler, read by the notifier; -1 while no instance exists.
volatile sig_atomic_t writeEnd = -1;
int readEnd = -1;

void forward(int signalNumber)
{
    const int savedErrno = errno;
    const char number = char(signalNumber);
    // A full socket already holds a wake-up, so a signal dropped here changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QWidget *mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
    Q_ASSERT(writeEnd == -1);
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    readEnd = ends[0];
    writeEnd = ends[1];
    notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);

    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old = {};
        if (::sigaction(signalNumber, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = forward;
        sigemptyset(&action.sa_mask);
        // Whatever the program is in the middle of goes on; the event loop acts on the signal.
        action.sa_flags = SA_RESTART;
        if (::sigaction(signalNumber, &action, nullptr) == 0) {
            handled.append(signalNumber);
            previous.append(old);
        }
    }
}

QuitSignals::~QuitSignals()
{
    for (int i = 0; i < handled.size(); ++i)
        ::sigaction(handled.at(i), &previous.at(i), nullptr);
    if (readEnd == -1)
        return;
    const int oldWriteEnd = writeEnd;
    writeEnd = -1;
    ::close(oldWriteEnd);
    ::close(readEnd);
    readEnd = -1;
}

void QuitSignals::readPending()
{
    char numbers[64];
    bool received = false;
    while (::read(readEnd, numbers, sizeof numbers) > 0)
        received = true;
    // Signals that come together, or while the windows close, ask for nothing more.
    if (received)
        closeWindows();
}

void QuitSignals::closeWindows()
{
    // The main window first: closing it also closes its tool dialogs, which must still be open
    // when it stores whether they were.
    if (mainWindow->isVisible())
        mainWindow->close();
    QApplication::closeAllWindows();
}
