// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SOLVANETERMTESTACCESS_H
#define SOLVANETERMTESTACCESS_H

#include "device/serialport_.h"
#include "functionkeys/functiondlg.h"
#include "hexview/hexview.h"
#include "solvaneterm.h"
#include "transmit/transmitqueue.h"
#include "view/dovikview.h"

#include <QTimer>

// Lets tests and benchmarks look at the window's private state and run its handlers the way
// its signals would.
class SolvaneTermTestAccess
{
public:
    explicit SolvaneTermTestAccess(SolvaneTerm &window)
        : w(window)
    { }

    Ui_Dovik &ui() const { return w.ui; }
    DovikView *termView() const { return w.termView; }
    HexView *hexEdit() const { return w.hexEdit; }
    SerialPort *serialPort() const { return w.serialPort; }
    void setSerialPort(SerialPort *port) const { w.serialPort = port; }
    FunctionDlg *functionDlg() const { return w.functionDlg; }
    QTimer *connectionTimer() const { return w.connectionTimer; }
    TransmitQueue *transmitQueue() const { return w.transmitQueue; }
    int delay() const { return w.delay; }
    bool hexamode() const { return w.hexamode; }
    bool enterWithCR() const { return w.enterWithCR; }
    bool deviceFound() const { return w.deviceFound; }
    bool deviceWasFound() const { return w.deviceWasFound; }

    void checkConnection() const { w.checkConnection(); }
    void readComm() const { w.readComm(); }
    void keyInput(int key, const QString &text) const { w.keyInput(key, text); }
    void clearScreen() const { w.clearScreen(); }
    void functionSetting() const { w.functionSetting(); }
    void applyFunction() const { w.applyFunction(); }
    void saveCapture() const { w.saveCapture(); }
    void closeSolvaneDevice() const { w.closeSolvaneDevice(); }
    bool openSolvaneDevice(const QStringList &ports) const { return w.openSolvaneDevice(ports); }

private:
    SolvaneTerm &w;
};

#endif // SOLVANETERMTESTACCESS_H
