// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pseudoterminal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class DeadlineTimer;

// One simulated device on a pseudo-terminal: it echoes what it receives, greets the program
// when it opens the port, and can flood the port with text or random bytes at a chosen rate.
// Unplugging closes the pseudo-terminal, which is what the program sees when a real device is
// pulled out.
class PtyDevice : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PtyDevice)

public:
    enum class FloodKind { Text, Binary };

    // vendorId < 0 means a port with no USB identity.
    PtyDevice(
        const QString &name, int number, int vendorId, int productId, QObject *parent = nullptr);
    ~PtyDevice() override;

    QString name() const { return deviceName; }
    int vendorId() const { return vendor; }
    int productId() const { return product; }
    QString slavePath() const { return pty->slavePath(); }
    bool isPlugged() const { return pty->isPlugged(); }
    bool isPortOpen() const { return pty->isPortOpen(); }
    bool isFlooding() const { return flooding; }
    void setEcho(bool on) { echo = on; }
    bool isEchoing() const { return echo; }

    bool plug(QString *error);
    void unplug();
    void send(const QByteArray &bytes);
    // A rate of 0 sends as fast as the program reads. With a write size, no write carries more
    // than that, and at a rate the writes are spaced evenly on a schedule fixed at the start, so
    // a late write is made up for at once instead of shifting every later one. The end text, if
    // any, follows the last byte with CR LF.
    void flood(qint64 bytes, qint64 bytesPerSecond, FloodKind kind, int writeSize = 0,
        const QByteArray &endText = QByteArray());

signals:
    void portOpened();
    // The program closed the port; an unplug says nothing.
    void portClosed();
    // The port is open and the first flood bytes go out now.
    void floodBegan();
    // sent < total when the port was closed or the device unplugged before the end.
    void floodFinished(qint64 sent, qint64 total, qint64 milliseconds);

private:
    void greet();
    void echoBack(const QByteArray &bytes);
    void floodWritten();
    void floodTick();
    void floodOnSchedule();
    void queueFlood(qint64 count);
    void stopFlood();
    QByteArray floodBytes(qint64 count);

    QString deviceName;
    int number;
    int vendor;
    int product;
    bool echo = true;
    PseudoTerminal *pty = nullptr;
    QTimer floodTimer;
    DeadlineTimer *floodPacer = nullptr;

    bool flooding = false;
    qint64 floodRemaining = 0;
    qint64 floodTotal = 0;
    qint64 floodRate = 0;
    FloodKind floodKind = FloodKind::Text;
    int floodWriteSize = 0;
    QByteArray floodEnd;
    QElapsedTimer floodClock;
    qint64 floodStartNs = 0;
    bool floodStarted = false;
    qint64 floodLine = 0;
    QByteArray floodLineRest;
};
