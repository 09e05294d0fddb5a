// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadlinetimer.h"

#include <QSocketNotifier>

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

DeadlineTimer::DeadlineTimer(QObject *parent)
    : QObject(parent)
{
    fallback.setSingleShot(true);
    fallback.setTimerType(Qt::PreciseTimer);
    connect(&fallback, &QTimer::timeout, this, &DeadlineTimer::timeout);
    fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0)
        return;
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &DeadlineTimer::expired);
}

DeadlineTimer::~DeadlineTimer()
{
    delete notifier;
    if (fd >= 0)
        ::close(fd);
}

qint64 DeadlineTimer::now()
{
    timespec time {};
    ::clock_gettime(CLOCK_MONOTONIC, &time);
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void DeadlineTimer::start(qint64 deadlineNs)
{
    if (fd >= 0) {
        // An all-zero time would disarm the timer instead of firing it.
        deadlineNs = qMax<qint64>(deadlineNs, 1);
        itimerspec setting {};
        setting.it_value.tv_sec = time_t(deadlineNs / 1000000000);
        setting.it_value.tv_nsec = long(deadlineNs % 1000000000);
        if (::timerfd_settime(fd, TFD_TIMER_ABSTIME, &setting, nullptr) == 0)
            return;
    }
    const qint64 waitNs = qMax<qint64>(deadlineNs - now(), 0);
    fallback.start(int((waitNs + 999999) / 1000000));
}

void DeadlineTimer::stop()
{
    fallback.stop();
    if (fd < 0)
        return;
    const itimerspec disarmed {};
    ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &disarmed, nullptr);
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(fd, &expirations, sizeof expirations);
}

void DeadlineTimer::expired()
{
    std::uint64_t expirations = 0;
    if (::read(fd, &expirations, sizeof expirations) != sizeof expirations)
        return;
    emit timeout();
}
