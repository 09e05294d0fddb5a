#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// One simulated device: the master side of a pseudo-terminal whose slave the program opens as
// its serial port. It echoes what it receives, greets the program when it opens the port, and
// can flood the port with text or random bytes at a chosen rate. Unplugging closes the master,
// which is what the program sees when a real device is pulled out.
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
    QString slavePath() const { return slave; }
    bool isPlugged() const { return masterFd >= 0; }
    bool isPortOpen() const { return portOpen; }
    bool isFlooding() const { return floodTimer.isActive(); }
    void setEcho(bool on) { echo = on; }
    bool isEchoing() const { return echo; }

    bool plug(QString *error);
    void unplug();
    void send(const QByteArray &bytes);
    // A rate of 0 sends as fast as the program reads.
    void flood(qint64 bytes, qint64 bytesPerSecond, FloodKind kind);

signals:
    void portOpened();
    // The program closed the port; an unplug says nothing.
    void portClosed();
    // sent < total when the port was closed or the device unplugged before the end.
    void floodFinished(qint64 sent, qint64 total, qint64 milliseconds);

private:
    void watchPort();
    void readMaster();
    void writePending();
    void floodTick();
    void stopFlood();
    void portWentAway();
    QByteArray floodBytes(qint64 count);

    QString deviceName;
    int number;
    int vendor;
    int product;
    QString slave;
    int masterFd = -1;
    bool portOpen = false;
    bool echo = true;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer watchTimer;
    QTimer floodTimer;
    QByteArray pending;

    qint64 floodRemaining = 0;
    qint64 floodTotal = 0;
    qint64 floodRate = 0;
    FloodKind floodKind = FloodKind::Text;
    QElapsedTimer floodClock;
    bool floodStarted = false;
    qint64 floodLine = 0;
    QByteArray floodLineRest;
};
