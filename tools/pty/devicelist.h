// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEVICELIST_H
#define DEVICELIST_H

#include <QByteArray>
#include <QString>
#include <QVector>

// One line of the device list that the udev answering library reads.
struct ListedDevice
{
    QString path;
    // Negative: a serial port with no USB identity.
    int vendorId = -1;
    int productId = -1;
    // Empty: the library makes one up.
    QString serialNumber;
};

QByteArray deviceListText(const QVector<ListedDevice> &devices);

// Written aside and renamed into place, so that a scan never sees half a list. False, with the
// reason in error, when the file cannot be written.
bool writeDeviceList(const QString &path, const QVector<ListedDevice> &devices, QString *error);

#endif // DEVICELIST_H
