#include "solvaneterm.h"

#include "device/serialport_.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

// Navigation, editing, modifier and lock keys send nothing.
bool isDroppedKey(int key)
{
    return (key >= Qt::Key_Escape && key <= Qt::Key_Backtab)
        || (key >= Qt::Key_Insert && key <= Qt::Key_Clear)
        || (key >= Qt::Key_Home && key <= Qt::Key_PageDown)
        || (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock);
}

char byteForPacedSend(QChar c)
{
    return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '\0';
}

} // namespace

void SolvaneTerm::keyInput(int key, QString text)
{
    if (isDroppedKey(key))
        return;

    qDebug("keycode 0x%x delay %d", key, getDelay());
    qDebug() << "text : " << text;

    if (key == Qt::Key_F35) {
        if (!sendByteByByte(text))
            statusMsg(tr("Can't write through the serial port."));
        return;
    }

    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        const int index = key - Qt::Key_F1;
        if (index < functionString.size() && functionString.at(index).first == key) {
            sendFunctionKey(index);
            return;
        }
    } else if (enterWithCR && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        text = QStringLiteral("\r\n");
    }

    sendPlain(text);
}

void SolvaneTerm::sendPlain(const QString &text)
{
    qDebug() << "text2 : " << text;
    if (!serialPort || !serialPort->writeData(text.toLatin1()))
        statusMsg(tr("Can't write through the serial port."));
}

void SolvaneTerm::sendFunctionKey(int index)
{
    qDebug("keycode 0x%x delay %d", functionString.at(index).first, getDelay());

    QString s = functionString.at(index).second;
    if (functionCheckCR.at(index).second && !s.contains(QLatin1Char('\r')))
        s.append(QLatin1Char('\r'));
    if (functionCheckLF.at(index).second && !s.contains(QLatin1Char('\n')))
        s.append(QLatin1Char('\n'));

    qDebug() << "function : " << s;

    if (!sendByteByByte(s)) {
        statusMsg(tr("Can't write through the serial port."));
        qDebug("Can't write through the serial port.");
    }
}

// Sends one byte per write and pauses after each. The pause runs the event loop, so the device
// may be unplugged (and its port deleted, or even replaced by a new one) before the next byte:
// the send then stops instead of writing through a port it no longer owns.
bool SolvaneTerm::sendByteByByte(const QString &text)
{
    const QPointer<SerialPort> port = serialPort;
    for (const QChar c : text) {
        if (port.isNull() || port != serialPort)
            return false;
        if (!port->writeData(QByteArray(1, byteForPacedSend(c))))
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
