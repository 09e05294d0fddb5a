// SPDX-License-Identifier: GPL-3.0-or-later
#include "transmit/transmitqueue.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace {

// Read from a file at a time; what memory a file of any size costs.
constexpr int readSize = 64 * 1024;
// Unpaced bytes go out in runs of at most this many writes or bytes, so that the window keeps
// painting and taking keys between them.
constexpr int writesPerRun = 4096;
constexpr qint64 bytesPerRun = 256 * 1024;
// How soon to look again at a port that holds too much: soon for a port that drains fast, then
// less and less often for one that takes its time, as a real line at 115200 baud does.
constexpr int firstBacklogRetryMs = 1;
constexpr int lastBacklogRetryMs = 16;

} // namespace

struct TransmitQueue::Item
{
    Kind kind = Kind::Typed;
    // What is still to go; for a file, the block read last.
    QByteArray bytes;
    int offset = 0;
    qint64 sent = 0;
    qint64 total = 0;
    QString path;
    std::unique_ptr<QFile> file;
    bool started = false;

    bool allHandedOver() const { return offset >= bytes.size() && sent >= total; }
};

TransmitQueue::TransmitQueue(QObject *parent)
    : QObject(parent)
{
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    connect(&wakeUp, &QTimer::timeout, this, &TransmitQueue::pump);
}

TransmitQueue::~TransmitQueue() = default;

void TransmitQueue::setPort(WriteFunction write, BacklogFunction backlog)
{
    this->write = std::move(write);
    this->backlog = std::move(backlog);
}

void TransmitQueue::setPauses(PauseFunction afterEachByte, PauseFunction afterEachLineFeed)
{
    bytePause = std::move(afterEachByte);
    lineFeedPause = std::move(afterEachLineFeed);
}

void TransmitQueue::send(Kind kind, const QByteArray &bytes)
{
    auto item = std::make_unique<Item>();
    item->kind = kind;
    item->bytes = bytes;
    item->total = bytes.size();
    items.push_back(std::move(item));
    // Behind another item, this one waits for the timer that runs the queue.
    if (items.size() == 1) {
        updateBusy();
        pump();
    }
}

bool TransmitQueue::sendFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        *error = info.exists() ? tr("Not a regular file") : tr("No such file");
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *error = file->errorString();
        return false;
    }
    auto item = std::make_unique<Item>();
    item->kind = Kind::File;
    item->total = file->size();
    item->path = path;
    item->file = std::move(file);
    items.push_back(std::move(item));
    if (items.size() == 1) {
        updateBusy();
        pump();
    }
    return true;
}

void TransmitQueue::stop()
{
    ++stops;
    wakeUp.stop();
    items.clear();
    updateBusy();
}

void TransmitQueue::abandon()
{
    if (items.empty())
        return;
    const std::unique_ptr<Item> current = std::move(items.front());
    stop();
    // A send whose last byte went out before the port went has nothing to report.
    if (!current->started || current->allHandedOver())
        return;
    emit writeFailed(current->kind);
    if (current->kind == Kind::File)
        emit fileFailed(current->path, tr("Can't write through the serial port."), current->sent,
            current->total);
}

TransmitQueue::Progress TransmitQueue::progress() const
{
    Progress progress;
    if (items.empty())
        return progress;
    const Item &item = *items.front();
    progress.kind = item.kind;
    progress.path = item.path;
    progress.sent = item.sent;
    progress.total = std::max(item.total, item.sent);
    progress.elapsedMs = item.started ? clock.elapsed() : 0;
    progress.waiting = int(items.size()) - 1;
    const qint64 left = progress.total - progress.sent;
    const int byteMs = bytePause ? bytePause() : 0;
    if (progress.elapsedMs >= 1000 && progress.sent > 0)
        progress.msLeft = qint64(double(progress.elapsedMs) * double(left) / double(progress.sent));
    else if (byteMs > 0 && item.kind != Kind::Typed)
        progress.msLeft = left * byteMs;
    return progress;
}

void TransmitQueue::pump()
{
    // A write, or a report of one, may lead back here; the run in progress goes on by itself.
    if (pumping)
        return;
    pumping = true;
    runWrites = 0;
    runBytes = 0;
    while (!items.empty()) {
        Item &item = *items.front();
        if (!item.started) {
            item.started = true;
            clock.start();
        }
        if (runWrites >= writesPerRun || runBytes >= bytesPerRun) {
            wakeUp.start(0);
            break;
        }
        const Step next = step(item);
        if (next == Step::Waiting)
            break;
        if (next == Step::Finished) {
            items.pop_front();
            updateBusy();
        }
    }
    pumping = false;
}

TransmitQueue::Step TransmitQueue::step(Item &item)
{
    switch (item.kind) {
    case Kind::Typed: {
        const Put result = put(item.bytes);
        if (result == Put::Taken) {
            item.sent = item.total;
            return Step::Finished;
        }
        if (result == Put::Dropped)
            return Step::Again;
        // Typed text that was not taken takes nothing else with it.
        items.pop_front();
        updateBusy();
        emit writeFailed(Kind::Typed);
        return Step::Again;
    }
    case Kind::Paste:
    case Kind::FunctionKey:
        return stepPaced(item);
    case Kind::File:
        return stepFile(item);
    }
    return Step::Finished;
}

TransmitQueue::Step TransmitQueue::stepPaced(Item &item)
{
    if (item.offset >= item.bytes.size())
        return Step::Finished;
    if (portIsBehind())
        return Step::Waiting;
    const Put result = put(QByteArray(1, item.bytes.at(item.offset)));
    if (result != Put::Taken)
        return notTaken(result);
    ++item.offset;
    ++item.sent;
    return pause(bytePause ? bytePause() : 0);
}

TransmitQueue::Step TransmitQueue::stepFile(Item &item)
{
    if (item.offset >= item.bytes.size()) {
        if (!refill(item))
            return Step::Again;
        if (item.bytes.isEmpty())
            return Step::Finished;
    }
    if (portIsBehind())
        return Step::Waiting;

    const int byteMs = bytePause ? bytePause() : 0;
    const int lineMs = lineFeedPause ? lineFeedPause() : 0;
    const int size = byteMs <= 0 && lineMs <= 0
        ? int(std::min<qsizetype>(fileChunk, item.bytes.size() - item.offset))
        : 1;
    const char last = item.bytes.at(item.offset + size - 1);
    const Put result = put(item.bytes.mid(item.offset, size));
    if (result != Put::Taken)
        return notTaken(result);
    item.offset += size;
    item.sent += size;
    return pause(std::max(byteMs, 0) + (last == '\n' ? std::max(lineMs, 0) : 0));
}

bool TransmitQueue::refill(Item &item)
{
    item.bytes.resize(readSize);
    item.offset = 0;
    const qint64 got = item.file->read(item.bytes.data(), readSize);
    if (got < 0) {
        item.bytes.clear();
        failCurrent(false, item.file->errorString());
        return false;
    }
    item.bytes.resize(int(got));
    if (got == 0 && item.sent < item.total) {
        failCurrent(false,
            tr("The file ended after %1 bytes; it held %2 when the send began")
                .arg(item.sent)
                .arg(item.total));
        return false;
    }
    // A file that grows is sent to its end.
    item.total = std::max(item.total, item.sent + got);
    return true;
}

TransmitQueue::Put TransmitQueue::put(const QByteArray &bytes)
{
    ++runWrites;
    runBytes += bytes.size();
    const quint64 stopsBefore = stops;
    // A copy, since the port may stop or abandon the queue while it writes, and with that free
    // the item these bytes may belong to.
    const QByteArray held = bytes;
    const bool taken = write && write(held);
    if (stops != stopsBefore)
        return Put::Dropped;
    return taken ? Put::Taken : Put::Refused;
}

TransmitQueue::Step TransmitQueue::notTaken(Put result)
{
    if (result == Put::Refused)
        failCurrent(true, tr("Can't write through the serial port."));
    return Step::Again;
}

bool TransmitQueue::portIsBehind()
{
    if (!backlog || backlog() <= backlogLimit) {
        backlogRetryMs = 0;
        return false;
    }
    backlogRetryMs = std::clamp(backlogRetryMs * 2, firstBacklogRetryMs, lastBacklogRetryMs);
    wakeUp.start(backlogRetryMs);
    return true;
}

TransmitQueue::Step TransmitQueue::pause(int ms)
{
    if (ms <= 0)
        return Step::Again;
    wakeUp.start(ms);
    return Step::Waiting;
}

void TransmitQueue::failCurrent(bool writeFault, const QString &reason)
{
    const std::unique_ptr<Item> current = std::move(items.front());
    stop();
    if (writeFault)
        emit writeFailed(current->kind);
    if (current->kind == Kind::File)
        emit fileFailed(current->path, reason, current->sent, current->total);
}

void TransmitQueue::updateBusy()
{
    if (busy == !items.empty())
        return;
    busy = !items.empty();
    emit busyChanged(busy);
}
