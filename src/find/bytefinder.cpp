// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/bytefinder.h"

#include <QElapsedTimer>

#include <utility>

namespace {

// Well inside one frame, so that a slice of counting never delays a repaint.
constexpr qint64 sliceNanoseconds = 4000000;

} // namespace

ByteFinder::ByteFinder(QObject *parent)
    : QObject(parent)
{
    countTimer.setInterval(0);
    connect(&countTimer, &QTimer::timeout, this, &ByteFinder::countSlice);
}

void ByteFinder::setHistory(KeptBytes kept, DroppedBytes dropped)
{
    keptBytes = std::move(kept);
    droppedBytes = std::move(dropped);
    historyReset();
}

void ByteFinder::setSearch(const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        clear();
        return;
    }
    if (bytes == needle) {
        sync();
        if (current < 0) {
            const int at = findFrom(kept(), 0, false);
            current = at < 0 ? -1 : base + at;
        }
        emit changed();
        return;
    }
    const QByteArray data = kept();
    const qint64 newBase = dropped();
    const qint64 anchor = current >= newBase ? current - newBase : 0;
    needle = bytes;
    restartCount(data, newBase);
    const int at = findFrom(data, int(qMin(anchor, qint64(data.size()))), false);
    current = at < 0 ? -1 : base + at;
    if (at < 0) {
        // Found nowhere, so there is nothing to count.
        countedUpTo = frontier();
        counting = false;
        countTimer.stop();
    }
    emit changed();
}

void ByteFinder::clear()
{
    const bool hadSearch = !needle.isEmpty();
    needle.clear();
    chunks.clear();
    total = 0;
    counting = false;
    countTimer.stop();
    current = -1;
    if (hadSearch)
        emit changed();
}

void ByteFinder::next()
{
    step(false);
}

void ByteFinder::previous()
{
    step(true);
}

void ByteFinder::historyChanged()
{
    if (needle.isEmpty())
        return;
    sync();
    emit changed();
}

void ByteFinder::historyReset()
{
    current = -1;
    restartCount(kept(), dropped());
    if (!needle.isEmpty())
        emit changed();
}

QByteArray ByteFinder::bytes() const
{
    return needle;
}

bool ByteFinder::countingDone() const
{
    return !counting;
}

int ByteFinder::count() const
{
    return total;
}

int ByteFinder::currentIndex() const
{
    if (counting || current < 0)
        return -1;
    const QByteArray data = kept();
    // A history changed behind the finder's back has positions it does not know yet.
    if (dropped() != base || base + data.size() != end)
        return -1;
    const qint64 chunk = current / ChunkSize;
    int before = 0;
    for (qint64 c = firstChunk; c < chunk && c - firstChunk < qint64(chunks.size()); ++c)
        before += chunks[std::size_t(c - firstChunk)];
    return before + countIn(data, qMax(base, chunk * ChunkSize), current);
}

qint64 ByteFinder::currentPosition() const
{
    return current;
}

int ByteFinder::currentOffset() const
{
    return current < 0 ? -1 : int(current - base);
}

QByteArray ByteFinder::kept() const
{
    return keptBytes ? keptBytes() : QByteArray();
}

qint64 ByteFinder::dropped() const
{
    return droppedBytes ? droppedBytes() : 0;
}

void ByteFinder::sync()
{
    const QByteArray data = kept();
    const qint64 newBase = dropped();
    const qint64 newEnd = newBase + data.size();
    if (newBase == base && newEnd == end)
        return;
    if (needle.isEmpty() || newBase < base || newEnd < end) {
        // Nothing kept could have turned into this by appending: the history was reset.
        current = -1;
        restartCount(data, newBase);
        return;
    }
    end = newEnd;
    if (newBase > base)
        dropUpTo(data, newBase);
    // While counting, the timer gets to the new bytes anyway.
    if (!counting)
        countOn(data, frontier(), false);
}

void ByteFinder::restartCount(const QByteArray &data, qint64 newBase)
{
    base = newBase;
    end = base + data.size();
    chunks.clear();
    firstChunk = base / ChunkSize;
    countedUpTo = base;
    total = 0;
    counting = !needle.isEmpty() && countedUpTo < frontier();
    if (counting)
        countTimer.start();
    else
        countTimer.stop();
}

void ByteFinder::dropUpTo(const QByteArray &data, qint64 newBase)
{
    const qint64 newFirst = newBase / ChunkSize;
    while (!chunks.empty() && firstChunk < newFirst) {
        total -= chunks.front();
        chunks.pop_front();
        ++firstChunk;
    }
    firstChunk = newFirst;
    base = newBase;
    countedUpTo = qMax(countedUpTo, base);
    if (current >= 0 && current < base)
        current = -1;
    // The chunk the drop cuts into keeps only the matches from its new first byte on.
    if (!chunks.empty() && base % ChunkSize != 0) {
        const int kept = countIn(data, base, qMin(countedUpTo, (firstChunk + 1) * ChunkSize));
        total += kept - chunks.front();
        chunks.front() = kept;
    }
}

void ByteFinder::countSlice()
{
    if (needle.isEmpty()) {
        countTimer.stop();
        return;
    }
    sync();
    countOn(kept(), frontier(), true);
    if (countedUpTo >= frontier()) {
        counting = false;
        countTimer.stop();
    }
    emit changed();
}

void ByteFinder::countOn(const QByteArray &data, qint64 to, bool sliced)
{
    QElapsedTimer clock;
    clock.start();
    while (countedUpTo < to) {
        const qint64 chunk = countedUpTo / ChunkSize;
        const qint64 stop = qMin(to, (chunk + 1) * ChunkSize);
        const int found = countIn(data, countedUpTo, stop);
        if (found > 0) {
            while (firstChunk + qint64(chunks.size()) <= chunk)
                chunks.push_back(0);
            chunks[std::size_t(chunk - firstChunk)] += found;
            total += found;
        }
        countedUpTo = stop;
        if (sliced && clock.nsecsElapsed() > sliceNanoseconds)
            break;
    }
}

int ByteFinder::countIn(const QByteArray &data, qint64 from, qint64 to) const
{
    const qint64 offset = from - base;
    if (from >= to || offset < 0 || offset >= data.size())
        return 0;
    // A window onto the bytes without copying them, so that no search runs on past `to`.
    const qint64 length = qMin(to - from + needle.size() - 1, data.size() - offset);
    const QByteArray window = QByteArray::fromRawData(data.constData() + offset, int(length));
    int found = 0;
    for (int at = window.indexOf(needle); at >= 0; at = window.indexOf(needle, at + 1))
        ++found;
    return found;
}

void ByteFinder::step(bool backward)
{
    if (needle.isEmpty())
        return;
    sync();
    if (!counting && total == 0) {
        // Nothing to find, and on a full history a search would say so only after a while.
        current = -1;
        emit changed();
        return;
    }
    const QByteArray data = kept();
    int at = -1;
    if (current < 0)
        at = findFrom(data, backward ? data.size() - 1 : 0, backward);
    else
        at = findFrom(data, int(current - base) + (backward ? -1 : 1), backward);
    current = at < 0 ? -1 : base + at;
    emit changed();
}

int ByteFinder::findFrom(const QByteArray &data, int offset, bool backward) const
{
    const int size = data.size();
    if (needle.isEmpty() || size < needle.size())
        return -1;
    // The part wrapped around to is searched as a window onto the bytes, so that no byte is
    // searched twice: on a full history each pass costs a noticeable moment.
    if (backward) {
        // lastIndexOf takes -1 for "from the end", which a search before offset 0 is not.
        const int found = offset >= 0 ? data.lastIndexOf(needle, offset) : -1;
        const int after = qMax(0, offset + 1);
        if (found >= 0 || after >= size)
            return found;
        const int wrapped
            = QByteArray::fromRawData(data.constData() + after, size - after).lastIndexOf(needle);
        return wrapped < 0 ? -1 : after + wrapped;
    }
    offset = qMax(0, offset);
    const int found = offset < size ? data.indexOf(needle, offset) : -1;
    if (found >= 0 || offset == 0)
        return found;
    const int before = qMin(size, offset + needle.size() - 1);
    return QByteArray::fromRawData(data.constData(), before).indexOf(needle);
}

qint64 ByteFinder::frontier() const
{
    return qMax(base, end - needle.size() + 1);
}
