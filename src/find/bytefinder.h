// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BYTEFINDER_H
#define BYTEFINDER_H

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

// Every occurrence of a byte string in a history that grows at the end and loses its oldest
// bytes, one of them current. Positions are absolute: they count every byte since the history
// was last reset, dropped ones included, so that a drop moves nothing. The current match is
// found at once; the others are counted from a zero timer a few milliseconds at a time, per
// fixed chunk of positions, so that an append counts only the new bytes and a drop recounts
// only the chunk it cuts into. Matches may overlap: each start counts.
class ByteFinder : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ByteFinder)

public:
    // Matches are counted per this many absolute positions.
    static constexpr qint64 ChunkSize = 64 << 10;

    // The kept bytes, and how many went before them. The bytes are used only within each call,
    // never held: the history may be implicitly shared, and holding it would make its next
    // append copy it all.
    using KeptBytes = std::function<QByteArray()>;
    using DroppedBytes = std::function<qint64()>;

    explicit ByteFinder(QObject *parent = nullptr);

    void setHistory(KeptBytes kept, DroppedBytes dropped);

    // Searches for `bytes` from the start of the current match, or from the oldest kept byte
    // with none. The same bytes again keep the count. Empty bytes clear the search.
    void setSearch(const QByteArray &bytes);
    void clear();
    // From the current match, wrapping around; with none, the oldest match or the newest.
    void next();
    void previous();
    // Bytes were appended, and maybe dropped. The next search, step or slice of counting would
    // notice anyway; the getters answer for the history as last noticed, and currentIndex() is
    // -1 while it has changed unnoticed.
    void historyChanged();
    // The history was reset; the search stands, with no current match.
    void historyReset();

    QByteArray bytes() const;
    // Until counting is done, count() holds the matches counted so far and currentIndex() is -1.
    bool countingDone() const;
    int count() const;
    // From 0; -1 with no current match or while counting.
    int currentIndex() const;
    // Absolute position of the current match, -1 with none.
    qint64 currentPosition() const;
    // Index of the current match in the kept bytes, -1 with none.
    int currentOffset() const;

signals:
    // The count, the current match or whether counting is done has changed.
    void changed();

private:
    QByteArray kept() const;
    qint64 dropped() const;
    void sync();
    void restartCount(const QByteArray &data, qint64 newBase);
    void dropUpTo(const QByteArray &data, qint64 newBase);
    void countSlice();
    // Counts from countedUpTo on, chunk by chunk, up to `to` or until a slice's time is up.
    void countOn(const QByteArray &data, qint64 to, bool sliced);
    // Matches starting in [from, to), which lie in one chunk, in the kept bytes `data`.
    int countIn(const QByteArray &data, qint64 from, qint64 to) const;
    void step(bool backward);
    // Offset of the first match at or after `offset`, or with `backward` the last one at or
    // before it, wrapping around; -1 with none.
    int findFrom(const QByteArray &data, int offset, bool backward) const;
    // Past the last position where a whole match fits.
    qint64 frontier() const;

    KeptBytes keptBytes;
    DroppedBytes droppedBytes;
    QByteArray needle;
    // The history as last seen: absolute positions of the first kept byte and past the last.
    qint64 base = 0;
    qint64 end = 0;
    // Matches per chunk from firstChunk on, only those starting from base and below countedUpTo.
    std::deque<int> chunks;
    qint64 firstChunk = 0;
    qint64 countedUpTo = 0;
    int total = 0;
    bool counting = false;
    qint64 current = -1;
    QTimer countTimer;
};

#endif // BYTEFINDER_H
