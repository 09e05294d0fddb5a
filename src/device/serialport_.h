// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SERIALPORT__H
#define SERIALPORT__H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTimer;

// Line settings of the wrapper, kept as plain numbers and translated into the serial port module's
// values only when a port is opened.
enum BaudRateType : int {
    BAUD110,
    BAUD300,
    BAUD600,
    BAUD1200,
    BAUD2400,
    BAUD4800,
    BAUD9600,
    BAUD14400,
    BAUD19200,
    BAUD38400,
    BAUD56000,
    BAUD57600,
    BAUD115200,
    BAUD128000,
    BAUD256000
};

enum DataBitsType : int { DATA_5, DATA_6, DATA_7, DATA_8 };

enum ParityType : int { PAR_NONE, PAR_ODD, PAR_EVEN, PAR_MARK, PAR_SPACE };

enum StopBitsType : int { STOP_1, STOP_1_5, STOP_2 };

enum FlowType : int { FLOW_OFF, FLOW_HARDWARE, FLOW_XONXOFF };

// A serial port reduced to what the terminal needs: open by name, write bytes, and a queue that
// collects every received byte before readComm() announces it. Announcements come at most once
// per display frame, each with at most a frame's worth of bytes: a device that streams faster
// than the views can show leaves the rest waiting in the port's buffer, which is bounded, and the
// window keeps answering its user.
class SerialPort : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SerialPort)

public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    bool open(const QString &name);
    // Hands on what the port still holds (readComm()), then closes it.
    void close();
    void flush();
    bool writeData(const QByteArray &data);
    // Written bytes the port still holds, not yet handed to the device.
    qint64 bytesToWrite() const;
    void waitForBytesWritten(int msecs);

    int getBaudRate(BaudRateType baud) const;
    QSerialPort::DataBits getDataBits(DataBitsType bits) const;
    QSerialPort::Parity getParity(ParityType parityType) const;
    QSerialPort::StopBits getStopBits(StopBitsType bits) const;
    QSerialPort::FlowControl getFlowControl(FlowType flow) const;

    void setBaudRate(BaudRateType baud);
    void setDataBits(DataBitsType bits);
    void setParity(ParityType parityType);
    void setStopBits(StopBitsType bits);
    void setFlowControl(FlowType flow);
    void setTimeout(unsigned long sec, unsigned long millisec);

    void setDtr(bool on);
    void setRts(bool on);
    unsigned long lineStatus() const;
    // Why the last operation on the port failed, in the system's words ("Permission denied").
    QString getErrorString() const;

signals:
    void readComm();

private slots:
    void readData();

private:
    QSerialPort *port;

public:
    QString portName;
    bool opened;

private:
    BaudRateType baudRate;
    DataBitsType dataBits;
    ParityType parity;
    StopBitsType stopBits;
    FlowType flowControl;

public:
    QList<unsigned char> receiveQueue;

private:
    void startFrameIfDue();
    void deliverFrame();
    void queueAndAnnounce(const QByteArray &bytes);
    // False when a readComm() handler deleted the wrapper.
    bool deliverHeldBytes();
    void closeIfDeviceGone(QSerialPort::SerialPortError error);
    void resumeReading();

    QTimer *frameTimer;
    QElapsedTimer frameClock;
    qint64 bytesThisFrame;
    int blocksThisFrame;
    bool resumeScheduled;
};

#endif // SERIALPORT__H
