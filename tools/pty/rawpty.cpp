#include "rawpty.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

int openRawPtyMaster(QString *slavePath)
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

bool ptySlaveHungUp(int masterFd)
{
    pollfd watched {masterFd, POLLIN, 0};
    return poll(&watched, 1, 0) == 1 && (watched.revents & POLLHUP);
}
