// SPDX-License-Identifier: GPL-3.0-or-later
#include "sessionlog/sessionlogwriter.h"

#include <QDir>
#include <QFile>
#include <QPointer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Past this much waiting, the disk is not keeping up with the device and never will: better a
// failure the user sees than a program that eats all memory.
constexpr qint64 queueLimit = 32 * 1024 * 1024;
// Small blocks are gathered into one of about this size, so that a device that sends a few
// bytes at a time does not cost a system call for each.
constexpr int gatherSize = 64 * 1024;
// A writer that is being destroyed gives up on a FIFO or device that has taken nothing for this
// long, so that a reader that stopped reading cannot hold the program at its exit.
constexpr int abandonAfterMs = 2000;
constexpr int pollSliceMs = 100;
// How often an idle writer makes sure its file is still there: a file or folder removed under it
// would swallow every byte written from then on without a word.
constexpr auto presenceCheck = std::chrono::seconds(1);

QString systemError(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

int openFile(const QString &path, int flags)
{
    // Without O_NONBLOCK, a FIFO that nobody reads would hold the caller until someone does;
    // with it, the open fails instead (ENXIO). A regular file does not care.
    const QByteArray name = QFile::encodeName(path);
    int descriptor;
    do
        descriptor = ::open(name.constData(), flags | O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

} // namespace

SessionLogWriter::SessionLogWriter(QObject *parent)
    : QObject(parent)
{ }

SessionLogWriter::~SessionLogWriter()
{
    finish();
}

void SessionLogWriter::finish()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        accepting = false;
        stopping = true;
    }
    abandoning = true;
    wake.notify_one();
    if (writer.joinable())
        writer.join();
}

bool SessionLogWriter::open(const QString &path, Mode mode)
{
    if (!readyToOpen())
        return false;
    const int descriptor = openFile(path, O_CREAT | (mode == Mode::Append ? O_APPEND : O_TRUNC));
    return descriptor < 0 ? refuse(errno) : start(descriptor, path);
}

bool SessionLogWriter::openNewIn(const QString &folder, const QDateTime &openedAt)
{
    if (!readyToOpen())
        return false;
    const QDir directory(folder);
    for (int taken = 0;; ++taken) {
        const QString path = directory.filePath(fileNameFor(openedAt, taken));
        const int descriptor = openFile(path, O_CREAT | O_EXCL);
        if (descriptor >= 0)
            return start(descriptor, path);
        if (errno != EEXIST)
            return refuse(errno);
    }
}

bool SessionLogWriter::isOpen() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return accepting;
}

QString SessionLogWriter::fileName() const
{
    return path;
}

QString SessionLogWriter::errorString() const
{
    return error;
}

qint64 SessionLogWriter::size() const
{
    return written.load();
}

void SessionLogWriter::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!accepting)
        return;
    if (pending + bytes.size() > queueLimit) {
        failLocked(tr("More than 32 MiB waiting to be written: the disk does not keep up"));
        return;
    }
    if (queue.empty() || queue.back().size() >= gatherSize)
        queue.push_back(bytes);
    else
        queue.back().append(bytes);
    pending += bytes.size();
    wake.notify_one();
}

void SessionLogWriter::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!accepting)
            return;
        accepting = false;
        stopping = true;
    }
    wake.notify_one();
}

QString SessionLogWriter::fileNameFor(const QDateTime &openedAt, int taken)
{
    const QString stamp = openedAt.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return taken == 0 ? QStringLiteral("solvane-%1.log").arg(stamp)
                      : QStringLiteral("solvane-%1-%2.log").arg(stamp).arg(taken + 1);
}

bool SessionLogWriter::readyToOpen()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!finished || stopToReport) {
            error = accepting ? tr("A log is open already") : tr("The last log is still closing");
            return false;
        }
    }
    // The thread has said its last word; this returns at once.
    if (writer.joinable())
        writer.join();
    return true;
}

bool SessionLogWriter::refuse(int error)
{
    this->error = systemError(error);
    return false;
}

bool SessionLogWriter::start(int descriptor, const QString &path)
{
    // The descriptor stays non-blocking: writeAll() waits for a FIFO's reader in slices, so that
    // a destructor can give up on a reader that stopped reading.
    struct stat status = {};
    if (::fstat(descriptor, &status) < 0) {
        const int error = errno;
        ::close(descriptor);
        return refuse(error);
    }
    this->path = path;
    error.clear();
    abandoning = false;
    written = S_ISREG(status.st_mode) ? qint64(status.st_size) : 0;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.clear();
        pending = 0;
        accepting = true;
        stopping = false;
        failing = false;
        finished = false;
    }
    writer = std::thread(&SessionLogWriter::run, this, descriptor);
    return true;
}

void SessionLogWriter::run(int descriptor)
{
    // A write past the file-size limit or into a FIFO whose reader has gone raises SIGXFSZ or
    // SIGPIPE at this thread, and their default action ends the program. Blocked here, and here
    // only, they stay pending and the write fails with EFBIG or EPIPE instead.
    sigset_t faults;
    sigemptyset(&faults);
    sigaddset(&faults, SIGXFSZ);
    sigaddset(&faults, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &faults, nullptr);

    struct stat status = {};
    const bool regular = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    auto lastCheck = std::chrono::steady_clock::now();
    int failure = 0;
    std::deque<QByteArray> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait_for(
                lock, presenceCheck, [this] { return !queue.empty() || stopping || failing; });
            if (failing || (queue.empty() && stopping))
                break;
            batch.swap(queue);
        }
        const auto now = std::chrono::steady_clock::now();
        if (regular && now - lastCheck >= presenceCheck) {
            lastCheck = now;
            if (::fstat(descriptor, &status) == 0 && status.st_nlink == 0) {
                failure = ENOENT;
                break;
            }
        }
        for (; !batch.empty(); batch.pop_front()) {
            if (!writeAll(descriptor, batch.front())) {
                failure = errno;
                break;
            }
            const std::lock_guard<std::mutex> lock(mutex);
            pending -= batch.front().size();
            if (failing)
                break;
        }
        batch.clear();
        if (failure != 0)
            break;
    }

    // A FIFO or a device cannot be synced, and needs no sync.
    if (failure == 0 && ::fdatasync(descriptor) < 0 && errno != EINVAL && errno != EROFS)
        failure = errno;
    if (::close(descriptor) < 0 && failure == 0 && errno != EINTR)
        failure = errno;

    const std::lock_guard<std::mutex> lock(mutex);
    if (failure != 0)
        failLocked(systemError(failure));
    accepting = false;
    finished = true;
    stopToReport = true;
    postReport();
}

bool SessionLogWriter::writeAll(int descriptor, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    size_t left = size_t(bytes.size());
    int idleMs = 0;
    while (left > 0) {
        const ssize_t done = ::write(descriptor, data, left);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return false;
            pollfd writable = {descriptor, POLLOUT, 0};
            if (::poll(&writable, 1, pollSliceMs) == 0) {
                idleMs = abandoning ? idleMs + pollSliceMs : 0;
                if (idleMs >= abandonAfterMs) {
                    errno = ETIMEDOUT;
                    return false;
                }
            }
            continue;
        }
        idleMs = 0;
        written += done;
        data += done;
        left -= size_t(done);
    }
    return true;
}

void SessionLogWriter::failLocked(const QString &reason)
{
    if (failing)
        return;
    failing = true;
    accepting = false;
    queue.clear();
    wake.notify_one();
    failureToReport = reason;
    postReport();
}

void SessionLogWriter::postReport()
{
    // By name rather than as a functor: what crosses threads is then only what the lock guards.
    QMetaObject::invokeMethod(this, "report", Qt::QueuedConnection);
}

void SessionLogWriter::report()
{
    QString failure;
    bool ended = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        failure.swap(failureToReport);
        ended = std::exchange(stopToReport, false);
    }
    const QPointer<SessionLogWriter> alive(this);
    if (!failure.isEmpty()) {
        error = failure;
        emit failed(failure);
    }
    if (ended && alive)
        emit stopped();
}
