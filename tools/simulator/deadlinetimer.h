// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class QSocketNotifier;

// A one-shot timer that fires at an absolute time on the monotonic clock, to the microsecond.
// QTimer rounds to milliseconds, too coarse for a write every millisecond at a steady rate; it
// is only the fallback where the kernel offers no timer descriptor.
class DeadlineTimer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeadlineTimer)

public:
    explicit DeadlineTimer(QObject *parent = nullptr);
    ~DeadlineTimer() override;

    // Nanoseconds on the clock that start() takes.
    static qint64 now();

    // A deadline in the past fires at once.
    void start(qint64 deadlineNs);
    void stop();

signals:
    void timeout();

private:
    void expired();

    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer fallback;
};
