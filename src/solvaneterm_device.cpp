// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "device/serialport_.h"
#include "device/solvanedeviceinfo_linux.h"
#include "find/bytefinder.h"
#include "find/findbar.h"
#include "hexview/hexview.h"
#include "transmit/transmitqueue.h"
#include "view/dovikview.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QScrollBar>

void SolvaneTerm::checkConnection()
{
    QStringList ports = solvaneDevPorts();
    deviceFound = !ports.isEmpty();

    bool reopening = false;
    if (serialPort) {
        const QString name = serialPort->portName;
        const bool listed = ports.contains(name);
        if (listed && serialPort->opened)
            return;
        deviceFound = false;
        // A device that resets hangs up its port and can be back under the same name before
        // this check: its old connection is over all the same, and it is opened again now,
        // whatever else is listed before it.
        if (listed) {
            reportDeviceLost();
            deviceWasFound = false;
            deviceFound = true;
            reopening = true;
            ports.removeAll(name);
            ports.prepend(name);
        }
    }

    bool openFailed = false;
    QString openFailure;
    if (!deviceWasFound && deviceFound) {
        if (openSolvaneDevice(ports, &openFailure)) {
            statusMsg(QLatin1String("the Solvane Device was found. [") + serialPort->portName
                + QLatin1Char(']'));
            qDebug() << "the Solvane Device was found. [" << serialPort->portName << "]";
        } else {
            openFailed = true;
            deviceFound = false;
            deviceWasFound = true;
            qDebug("exit");
        }
    }

    if (deviceWasFound != deviceFound && !deviceFound) {
        // A port the user may not open is the usual first problem; it must not read as a
        // missing device.
        if (openFailed) {
            statusMsg(tr("the Solvane Device was found but cannot be opened. [%1] %2: see "
                         "\"Permissions\" in the README.")
                          .arg(ports.first(), openFailure));
            // A reset device's lost connection has been reported already, a moment ago.
            if (!reopening)
                qDebug("the Solvane Device was not found.");
            closeSolvaneDevice();
        } else {
            reportDeviceLost();
        }
    } else if (!deviceChecked && !deviceFound) {
        // Otherwise the settings message would stay for as long as no device turns up.
        statusMsg(tr("the Solvane Device was not found."));
    }

    deviceChecked = true;
    deviceWasFound = deviceFound;
}

void SolvaneTerm::reportDeviceLost()
{
    // What the port still holds goes to the views and the debug log before the loss is told.
    if (serialPort)
        serialPort->close();
    statusMsg(tr("the Solvane Device was not found."));
    qDebug("the Solvane Device was not found.");
    closeSolvaneDevice();
}

bool SolvaneTerm::openSolvaneDevice(const QStringList &ports, QString *failure)
{
    const QString name = ports.first();
    qDebug() << "p : " << name;

    serialPort = new SerialPort(nullptr);
    serialPort->setBaudRate(BAUD115200);
    serialPort->setFlowControl(FLOW_OFF);
    serialPort->setParity(PAR_NONE);
    serialPort->setDataBits(DATA_8);
    serialPort->setStopBits(STOP_1);
    connect(serialPort, SIGNAL(readComm()), this, SLOT(readComm()));

    const bool opened = serialPort->open(name);
    if (opened) {
        termView->setEnabled(true);
        hexEdit->setEnabled(true);
        termView->setFocus(Qt::OtherFocusReason);
        clearScreen();
        termView->show();
        setHexamode(hexamode);
        hexEdit->show();
        ui.actionSend_File->setEnabled(true);
        ui.actionTerminal_Paste->setEnabled(true);
        startFolderLog();
    } else {
        // Read before close(), which replaces the reason with its own complaint.
        if (failure)
            *failure = serialPort->getErrorString();
        serialPort->close();
        delete serialPort;
        serialPort = nullptr;
    }
    return opened;
}

void SolvaneTerm::closeSolvaneDevice()
{
    if (serialPort) {
        serialPort->close();
        delete serialPort;
        serialPort = nullptr;
    }
    // The connection's own file ends with it; its last bytes came with the close.
    stopFolderLog();
    clearScreen();
    termView->setDisabled(true);
    hexEdit->setDisabled(true);
    termView->hide();
    hexEdit->hide();
    ui.actionSend_File->setEnabled(false);
    ui.actionTerminal_Paste->setEnabled(false);
    // Nothing meant for this connection goes to the next one.
    transmitQueue->abandon();
}

bool SolvaneTerm::isConnected() const
{
    return serialPort ? serialPort->opened : false;
}

void SolvaneTerm::readComm()
{
    QByteArray block;
    if (serialPort) {
        // Taking the whole queue at once keeps the order and costs one copy per byte.
        QList<unsigned char> &queue = serialPort->receiveQueue;
        block.reserve(queue.size());
        for (const unsigned char byte : qAsConst(queue))
            block.append(static_cast<char>(byte));
        queue.clear();
    }

    // Formatting a large block costs more than showing it; skip it when nobody would read it.
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug() << "SolvaneTerm::readComm() : " << block;
    logReceived(block);

    termView->insertView(block);

    hexEdit->appendData(block);
    hexReceived += block.size();
    if (!findBar->isHidden() && findBar->hexMode())
        byteFinder->historyChanged();
    QScrollBar *scrollBar = hexEdit->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum());
}

void SolvaneTerm::clearScreen()
{
    termView->clear();
    hexEdit->setData(QByteArray());
    hexReceived = 0;
    byteFinder->historyReset();
}

void SolvaneTerm::setHexamode(bool on)
{
    hexamode = on;
    if (on)
        ui.hexaGroup->show();
    else
        ui.hexaGroup->hide();
}
