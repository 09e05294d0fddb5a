// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

class PseudoTerminal;

// A Solvane device for tests, with no hardware: the master side of a pseudo-terminal whose
// slave the program opens as its serial port, listed with chosen USB ids in the device list that
// the linked-in udev answering code reads (it sets SOLVANE_SIM_DEVICES to a temporary file on
// first use). Every live device is listed, in the order of their list positions, so several
// devices and unplug/replug sequences can be staged. What the program writes is collected and
// time-stamped per read, so tests can check content and pacing.
class SimulatedDevice : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SimulatedDevice)

public:
    struct Chunk
    {
        // On a clock shared by all devices, so chunks of different devices compare.
        qint64 elapsedNs;
        QByteArray bytes;
    };

    explicit SimulatedDevice(
        quint16 vendorId = 0x04D8, quint16 productId = 0x000A, QObject *parent = nullptr);
    ~SimulatedDevice() override;

    // The path of the device list, made (empty) and announced through SOLVANE_SIM_DEVICES on
    // the first call, so that a test can also stage "no device at all".
    static QString listFilePath();

    bool isPlugged() const;
    // True while something holds the slave open, normally the program's serial port.
    bool isPortOpen() const;
    QString slavePath() const;

    quint16 vendorId() const { return vendor; }
    quint16 productId() const { return product; }
    bool hasUsbIdentity() const { return usbIdentity; }
    void setUsbIdentity(quint16 vendorId, quint16 productId);
    // Listed as a serial port whose parent carries no USB ids, like a built-in UART.
    void clearUsbIdentity();

    int listPosition() const { return position; }
    // Lower positions are listed first; by default devices are listed in creation order.
    void setListPosition(int listPosition);
    // Lists another path in place of the slave, e.g. one that cannot be opened.
    void setListedPath(const QString &path);

    // Sends bytes to the program. Bytes sent before the program opens the port wait for it.
    bool write(const QByteArray &bytes);
    void setEcho(bool on) { echo = on; }

    QByteArray received() const { return receivedBytes; }
    QVector<Chunk> chunks() const { return receivedChunks; }
    // The smallest time between two consecutive chunks, or -1 with fewer than two chunks.
    double smallestGapMs() const;
    void clearReceived();

    // Unlists the device and closes the master, as pulling the cable does.
    void unplug();
    // Plugs in again on a new pseudo-terminal, at the same list position. Called while plugged
    // in, it unplugs first and the new slave path differs from the old one; after unplug() the
    // system may hand out the old path again, as it does with real devices.
    bool replug();

signals:
    void bytesReceived(const QByteArray &bytes);

private:
    void collect(const QByteArray &chunk);
    static QString listPath();
    // Every plugged device but the one leaving.
    static void writeList(const SimulatedDevice *leaving = nullptr);

    quint16 vendor;
    quint16 product;
    bool usbIdentity = true;
    int position;
    QString listedPath;
    PseudoTerminal *pty;
    bool echo = false;
    QByteArray receivedBytes;
    QVector<Chunk> receivedChunks;
};
