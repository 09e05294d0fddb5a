// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SESSIONLOGWRITER_H
#define SESSIONLOGWRITER_H

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// A record of a session on disk: every byte handed to append() goes into the file exactly as it
// is, in order. The bytes are written by a thread of the writer's own, so a slow disk never holds
// up the caller; they reach the operating system within moments of their arrival, and the file
// is synced when the writer stops. A write that fails (disk full, file-size limit, a FIFO whose
// reader has gone) stops the writer and is reported once through failed(); what was written
// before stays as it is, and no signal from a failed write ends the program.
class SessionLogWriter : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SessionLogWriter)

public:
    enum class Mode {
        Append, // the end of the file, which is made when missing
        Replace, // an empty file, whatever the file held before
    };

    explicit SessionLogWriter(QObject *parent = nullptr);
    // Writes what is still pending, syncs and closes, waiting for it; gives up on a FIFO or
    // device whose reader has taken nothing for two seconds.
    ~SessionLogWriter() override;

    // Opens the file on the calling thread, so that the caller's permissions decide. False, with
    // the reason in errorString(), when it cannot be opened (a FIFO with no reader included) or
    // this writer has a file open or still closing; after stopped() it may open another.
    bool open(const QString &path, Mode mode);
    // A file of its own in the folder, named after the moment given
    // (solvane-2026-12-07_19-45-03.log), never one that exists: a name that is taken gets "-2",
    // "-3" and so on before ".log".
    bool openNewIn(const QString &folder, const QDateTime &openedAt);

    bool isOpen() const;
    QString fileName() const;
    QString errorString() const;
    // How large the file is, as far as written: what it held when opened in Append mode, plus
    // every byte written since.
    qint64 size() const;

    // Never blocks beyond a short lock. Ignored when not open.
    void append(const QByteArray &bytes);
    // Writes what is pending, syncs and closes the file, then says stopped(); returns at once.
    void stop();
    // The same, returning once the file is closed, so that another writer may take it over;
    // gives up on a FIFO or device as the destructor does.
    void finish();

    // The name openNewIn() tries first for a moment, and the one it tries after `taken` names.
    static QString fileNameFor(const QDateTime &openedAt, int taken = 0);

signals:
    // Once, from the caller's thread, when a write failed or more was waiting than the disk could
    // take; the writer has stopped.
    void failed(const QString &reason);
    // After stop(), once the file is synced and closed (also after a failure, which needs no
    // stop(): then it follows failed()).
    void stopped();

private:
    bool readyToOpen();
    bool refuse(int error);
    bool start(int descriptor, const QString &path);
    void run(int descriptor);
    bool writeAll(int descriptor, const QByteArray &bytes);
    // With the lock held.
    void failLocked(const QString &reason);
    void postReport();
    // On the owner's thread: says what the writer thread left to say.
    Q_INVOKABLE void report();

    QString path;
    QString error;
    std::atomic<qint64> written {0};
    std::atomic<bool> abandoning {false};

    // Shared with the writer thread, under the lock.
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> queue;
    // Accepted and not yet written: the queue and what the thread is writing now.
    qint64 pending = 0;
    bool accepting = false;
    bool stopping = false;
    bool failing = false;
    bool finished = true;
    // What report() has still to say.
    QString failureToReport;
    bool stopToReport = false;

    std::thread writer;
};

#endif // SESSIONLOGWRITER_H
