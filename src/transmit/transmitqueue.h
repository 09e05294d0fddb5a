// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TRANSMITQUEUE_H
#define TRANSMITQUEUE_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class QFile;

// Everything the user sends, in the order it was given: typed text, pastes, function keys and
// files. Each item goes out at the pace of its kind while the event loop keeps running, and the
// next starts only when the one before it has finished, its last pause included. Writes go
// through the function given to setPort(), never more than a little ahead of the line.
class TransmitQueue : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TransmitQueue)

public:
    enum class Kind {
        // One write, not paced.
        Typed,
        // One byte per write, the byte pause after each.
        Paste,
        FunctionKey,
        // Read from disk as it goes; one byte per write with the byte pause after each and the
        // line pause after each line feed, or large writes when both pauses are zero.
        File,
    };
    Q_ENUM(Kind)

    struct Progress
    {
        Kind kind = Kind::Typed;
        // The file's path for a file.
        QString path;
        qint64 sent = 0;
        qint64 total = 0;
        qint64 elapsedMs = 0;
        // -1 while there is nothing to go by.
        qint64 msLeft = -1;
        // Items waiting behind this one.
        int waiting = 0;
    };

    // Writes the bytes; false when they were not taken.
    using WriteFunction = std::function<bool(const QByteArray &)>;
    // How many bytes the port still holds, not yet on the line.
    using BacklogFunction = std::function<qint64()>;
    // A pause in milliseconds, asked afresh before every pause.
    using PauseFunction = std::function<int()>;

    explicit TransmitQueue(QObject *parent = nullptr);
    ~TransmitQueue() override;

    void setPort(WriteFunction write, BacklogFunction backlog);
    void setPauses(PauseFunction afterEachByte, PauseFunction afterEachLineFeed);

    // Nothing waiting, the item starts before this returns.
    void send(Kind kind, const QByteArray &bytes);
    // Opens the file now, so that a file that cannot be read is refused here, with the reason.
    bool sendFile(const QString &path, QString *error);

    // Nothing more is written, and everything waiting is dropped.
    void stop();
    // The same for a port that has gone: the item being sent, if any, is reported as failed.
    void abandon();

    bool isBusy() const { return !items.empty(); }
    Progress progress() const;

    // Bytes handed to the port in one go when a file is sent without pauses, and how many may
    // wait in the port before more are handed over. What waits there still goes out after a
    // stop: this much is about a third of a second at 115200 baud, and still lets a file
    // through a pseudo-terminal at several megabytes a second.
    static constexpr int fileChunk = 4 * 1024;
    static constexpr qint64 backlogLimit = 4 * 1024;

signals:
    void busyChanged(bool busy);
    // A write failed; for anything but typed text, the queue has been emptied.
    void writeFailed(TransmitQueue::Kind kind);
    // A file stopped before its end, after `sent` of `total` bytes: a failed write or read, or
    // a file that shrank.
    void fileFailed(const QString &path, const QString &reason, qint64 sent, qint64 total);

private:
    struct Item;
    enum class Step {
        // Look at the front of the queue again at once.
        Again,
        Finished,
        // A pause, or a port that holds too much: the timer takes it from here.
        Waiting,
    };

    void pump();
    Step step(Item &item);
    Step stepPaced(Item &item);
    Step stepFile(Item &item);
    bool refill(Item &item);
    enum class Put {
        Taken,
        Refused,
        // The queue was stopped while the port wrote: the item is gone.
        Dropped,
    };
    // Writes, counting towards the current run.
    Put put(const QByteArray &bytes);
    // After a write that was not taken.
    Step notTaken(Put result);
    bool portIsBehind();
    Step pause(int ms);
    void failCurrent(bool writeFault, const QString &reason);
    void updateBusy();

    WriteFunction write;
    BacklogFunction backlog;
    PauseFunction bytePause;
    PauseFunction lineFeedPause;

    std::deque<std::unique_ptr<Item>> items;
    bool busy = false;
    QTimer wakeUp;
    QElapsedTimer clock;
    bool pumping = false;
    quint64 stops = 0;
    int backlogRetryMs = 0;
    int runWrites = 0;
    qint64 runBytes = 0;
};

#endif // TRANSMITQUEUE_H
