// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "device/serialport_.h"
#include "transmitplan.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

void SolvaneTerm::keyInput(int key, QString text)
{
    const TransmitPlan plan
        = planTransmit(key, text, enterWithCR, functionString, functionCheckCR, functionCheckLF);
    if (plan.kind == TransmitPlan::Nothing)
        return;

    qDebug("keycode 0x%x delay %d", key, getDelay());
    qDebug() << "text : " << text;

    switch (plan.kind) {
    case TransmitPlan::Nothing:
        break;
    case TransmitPlan::PacedPaste:
        if (!sendByteByByte(plan.bytes))
            statusMsg(tr("Can't write through the serial port."));
        break;
    case TransmitPlan::PacedFunctionKey:
        qDebug("keycode 0x%x delay %d", key, getDelay());
        qDebug() << "function : " << plan.text;
        if (!sendByteByByte(plan.bytes)) {
            statusMsg(tr("Can't write through the serial port."));
            qDebug("Can't write through the serial port.");
        }
        break;
    case TransmitPlan::Write:
        qDebug() << "text2 : " << plan.text;
        if (!serialPort || !serialPort->writeData(plan.bytes))
            statusMsg(tr("Can't write through the serial port."));
        break;
    }
}

// Sends one byte per write and pauses after each. The pause runs the event loop, so the device
// may be unplugged (and its port deleted, or even replaced by a new one) before the next byte:
// the send then stops instead of writing through a port it no longer owns.
bool SolvaneTerm::sendByteByByte(const QByteArray &bytes)
{
    const QPointer<SerialPort> port = serialPort;
    for (const char byte : bytes) {
        if (port.isNull() || port != serialPort)
            return false;
        if (!port->writeData(QByteArray(1, byte)))
            return false;
        waitForWritten(delay);
    }
    return true;
}

// Spaces the writes of a paced send while the window keeps receiving, repainting and taking keys.
// The wait sleeps in the event loop rather than polling it, so a long paste costs almost no CPU.
void SolvaneTerm::waitForWritten(int ms)
{
    if (ms <= 0)
        return;

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    connect(&wakeUp, &QTimer::timeout, &loop, &QEventLoop::quit);

    qint64 remaining;
    while ((remaining = ms - clock.elapsed()) > 0) {
        wakeUp.start(static_cast<int>(remaining));
        // A negative result means the application is quitting: pacing no longer matters.
        if (loop.exec() < 0)
            break;
    }
}

void SolvaneTerm::waitForBytesWritten(int ms)
{
    if (serialPort)
        serialPort->waitForBytesWritten(ms);
}

void SolvaneTerm::setEnterWithCR(bool on)
{
    enterWithCR = on;
}
