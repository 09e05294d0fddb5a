// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "device/serialport_.h"
#include "transmit/transmitqueue.h"
#include "transmitplan.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void SolvaneTerm::keyInput(int key, QString text)
{
    const TransmitPlan plan
        = planTransmit(key, text, enterWithCR, functionString, functionCheckCR, functionCheckLF);
    if (plan.kind == TransmitPlan::Nothing)
        return;

    qDebug("keycode 0x%x delay %d", key, getDelay());
    qDebug() << "text : " << text;

    // Whatever is still going out goes first: a key typed during a paste waits its turn.
    switch (plan.kind) {
    case TransmitPlan::Nothing:
        break;
    case TransmitPlan::PacedPaste:
        transmitQueue->send(TransmitQueue::Kind::Paste, plan.bytes);
        break;
    case TransmitPlan::PacedFunctionKey:
        qDebug("keycode 0x%x delay %d", key, getDelay());
        qDebug() << "function : " << plan.text;
        transmitQueue->send(TransmitQueue::Kind::FunctionKey, plan.bytes);
        break;
    case TransmitPlan::Write:
        qDebug() << "text2 : " << plan.text;
        transmitQueue->send(TransmitQueue::Kind::Typed, plan.bytes);
        break;
    }
}

// Waits while the window keeps receiving, repainting and taking keys, sleeping in the event loop
// rather than polling it. Paced sends no longer wait here: the transmit queue runs them from a
// timer, so nothing sent can slip in between their bytes.
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
