// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SOLVANEDEVICEINFO_LINUX_H
#define SOLVANEDEVICEINFO_LINUX_H

#include <QStringList>
#include <QtGlobal>

// Recognition of Solvane devices among the machine's serial ports, by USB vendor and product ID.

// True when a port with these USB identifiers is a Solvane device. A port without a USB identity
// reports 0 for both.
bool isSolvaneDevice(quint16 vendorIdentifier, quint16 productIdentifier);

// The system locations of every Solvane device port, in the order the system lists the ports.
QStringList solvaneDevPorts();

#endif // SOLVANEDEVICEINFO_LINUX_H
