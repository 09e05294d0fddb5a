// SPDX-License-Identifier: GPL-3.0-or-later
#include "pseudoterminal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int hangUpPollMs = 10;

// The slave is raw from the start, so that nothing written before the program sets the port up
// is echoed back or held for a line end; it has been opened and closed once, so that the master
// reports a hang-up exactly while nobody holds the slave open.
int openRawMaster(QString *slavePath)
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    termios settings {};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);

    const char *const slave = ptsname(fd);
    *slavePath = QString::fromLocal8Bit(slave);
    // A master whose slave was never opened reports no hang-up at all.
    const int slaveFd = ::open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd >= 0)
        ::close(slaveFd);
    return fd;
}

// The tty layer knows no "port opened" event: the master reports a hang-up while no one holds
// the slave open, and the hang-up goes away the moment the program opens it.
bool slaveHungUp(int masterFd)
{
    pollfd watched {masterFd, POLLIN, 0};
    return poll(&watched, 1, 0) == 1 && (watched.revents & POLLHUP);
}

} // namespace

PseudoTerminal::PseudoTerminal(QObject *parent)
    : QObject(parent)
{
    hangUpTimer.setInterval(hangUpPollMs);
    connect(&hangUpTimer, &QTimer::timeout, this, &PseudoTerminal::watchHangUp);
}

PseudoTerminal::~PseudoTerminal()
{
    unplug();
}

bool PseudoTerminal::plug(QString *error)
{
    if (isPlugged())
        return true;
    const int fd = openRawMaster(&slave);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    masterFd = fd;
    portOpen = false;
    // While hung up the master is always "readable"; reading waits for the program.
    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    readNotifier->setEnabled(false);
    connect(readNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::readMaster);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::writeQueue);
    hangUpTimer.start();
    return true;
}

void PseudoTerminal::unplug()
{
    if (!isPlugged())
        return;
    hangUpTimer.stop();
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    ::close(masterFd);
    masterFd = -1;
    portOpen = false;
    queue.clear();
}

bool PseudoTerminal::isSlaveHeldOpen() const
{
    return isPlugged() && !slaveHungUp(masterFd);
}

bool PseudoTerminal::lineSettings(termios *settings) const
{
    return isPlugged() && tcgetattr(masterFd, settings) == 0;
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    if (!isPlugged())
        return false;
    queue.append(bytes);
    writeQueue();
    return true;
}

void PseudoTerminal::watchHangUp()
{
    if (slaveHungUp(masterFd))
        return;
    // From here on a hang-up shows as a failed read.
    hangUpTimer.stop();
    portOpen = true;
    readNotifier->setEnabled(true);
    writeQueue();
    emit portOpened();
}

void PseudoTerminal::readMaster()
{
    char buffer[4096];
    QByteArray chunk;
    bool closed = false;
    for (;;) {
        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count > 0) {
            chunk.append(buffer, int(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EIO: the last slave descriptor is gone, the program has closed the port.
        closed = count < 0 && errno == EIO;
        break;
    }
    if (!chunk.isEmpty())
        emit received(chunk);
    if (closed && portOpen && isPlugged())
        slaveClosed();
}

void PseudoTerminal::writeQueue()
{
    bool wrote = false;
    while (!queue.isEmpty()) {
        const int size = writeLimit > 0 ? qMin(queue.size(), writeLimit) : queue.size();
        const ssize_t count = ::write(masterFd, queue.constData(), size_t(size));
        if (count > 0) {
            queue.remove(0, int(count));
            wrote = true;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    writeNotifier->setEnabled(portOpen && !queue.isEmpty());
    if (wrote && queue.isEmpty())
        emit queueEmptied();
}

void PseudoTerminal::slaveClosed()
{
    portOpen = false;
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    emit portClosed();
    if (!isPlugged())
        return;
    queue.clear();
    // Whatever the kernel still holds towards the slave would otherwise greet the next session.
    tcflush(masterFd, TCIOFLUSH);
    hangUpTimer.start();
}
