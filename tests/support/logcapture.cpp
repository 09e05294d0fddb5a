// SPDX-License-Identifier: GPL-3.0-or-later
#include "logcapture.h"

#include <QMutexLocker>

#include <cstdio>

namespace {

// The message handler is a plain function, so it finds the innermost capture through here.
LogCapture *active = nullptr;
QMutex activeMutex;

} // namespace

LogCapture::LogCapture(QtMsgType type)
    : type(type)
{
    QMutexLocker locker(&activeMutex);
    outer = active;
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    QMutexLocker locker(&activeMutex);
    active = outer;
    qInstallMessageHandler(previous);
}

QStringList LogCapture::lines() const
{
    QMutexLocker locker(&mutex);
    return captured;
}

void LogCapture::clear()
{
    QMutexLocker locker(&mutex);
    captured.clear();
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QMutexLocker activeLocker(&activeMutex);
    if (!active)
        return; // captures destroyed out of order
    // The innermost capture of this type takes the message; when none does, it goes to whatever
    // handled messages before the outermost capture was made.
    LogCapture *outermost = active;
    for (LogCapture *capture = active; capture; capture = capture->outer) {
        if (capture->type == type) {
            QMutexLocker locker(&capture->mutex);
            capture->captured.append(message);
            return;
        }
        outermost = capture;
    }
    const QtMessageHandler next = outermost->previous;
    activeLocker.unlock();
    if (next)
        next(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
