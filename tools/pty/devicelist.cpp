// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicelist.h"

#include <QSaveFile>

QByteArray deviceListText(const QVector<ListedDevice> &devices)
{
    QString text;
    for (const ListedDevice &device : devices) {
        text += device.path;
        if (device.vendorId >= 0)
            text += QString::asprintf(" %04x %04x", device.vendorId, device.productId);
        else
            text += device.serialNumber.isEmpty() ? QStringLiteral(" -") : QStringLiteral(" - -");
        if (!device.serialNumber.isEmpty())
            text += QLatin1Char(' ') + device.serialNumber;
        text += QLatin1Char('\n');
    }
    return text.toLocal8Bit();
}

bool writeDeviceList(const QString &path, const QVector<ListedDevice> &devices, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(deviceListText(devices));
        if (file.commit())
            return true;
    }
    *error = file.errorString();
    return false;
}
