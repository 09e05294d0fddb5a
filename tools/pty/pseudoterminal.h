// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;
struct termios;

// The device end of a simulated serial port: the master side of a pseudo-terminal whose slave
// the program opens by its path. It notices when the program opens and closes the slave, hands
// on what the program writes, and queues what is written towards the program until the kernel
// takes it. The simulator and the tests build their devices on it.
class PseudoTerminal : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PseudoTerminal)

public:
    explicit PseudoTerminal(QObject *parent = nullptr);
    ~PseudoTerminal() override;

    // Makes a new pair; false, with the reason in error, when the system has none to give.
    bool plug(QString *error = nullptr);
    // Closes the master, which hangs up the slave as pulling a USB device hangs up its tty.
    // Says nothing: neither portClosed() nor anything else.
    void unplug();
    bool isPlugged() const { return masterFd >= 0; }
    // Kept after an unplug, so that the old path can still be named.
    QString slavePath() const { return slave; }

    // Whether the program has the slave open, as last seen from the event loop; portOpened()
    // and portClosed() report the changes.
    bool isPortOpen() const { return portOpen; }
    // The same, asked of the kernel now, for callers that cannot wait for the event loop.
    bool isSlaveHeldOpen() const;
    // The line settings of the pair, as the program set them on the slave.
    bool lineSettings(termios *settings) const;

    // Queues bytes towards the program while plugged in. Bytes written before the program opens
    // the slave wait for it; what is still queued when it closes the slave is dropped.
    bool write(const QByteArray &bytes);
    int queuedBytes() const { return queue.size(); }
    // No single write to the master carries more than this many bytes (0: no limit), the way a
    // USB device delivers its data in packets.
    void setWriteLimit(int bytes) { writeLimit = qMax(bytes, 0); }

signals:
    void portOpened();
    // The program closed the slave. What it wrote last has been handed on already; what was
    // queued towards it is still counted by queuedBytes() while this is emitted.
    void portClosed();
    // One read's worth: everything the program had written when the master became readable.
    void received(const QByteArray &bytes);
    // The queue ran empty after a write.
    void queueEmptied();

private:
    void watchHangUp();
    void readMaster();
    void writeQueue();
    void slaveClosed();

    QString slave;
    int masterFd = -1;
    bool portOpen = false;
    int writeLimit = 0;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer hangUpTimer;
    QByteArray queue;
};

#endif // PSEUDOTERMINAL_H
