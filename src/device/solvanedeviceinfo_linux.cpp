// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/solvanedeviceinfo_linux.h"

#include <QSerialPortInfo>
#include <QString>

namespace {

QString hexText(quint16 identifier)
{
    return QString::asprintf("%04X", identifier);
}

} // namespace

bool isSolvaneDevice(quint16 vendorIdentifier, quint16 productIdentifier)
{
    const QString vendor = hexText(vendorIdentifier);
    const QString product = hexText(productIdentifier);
    // The product test of the 239A family is a substring test, not an equality: every product
    // whose four digits hold "2B" anywhere belongs to it.
    return (vendor.contains(QLatin1String("04D8")) && product.contains(QLatin1String("000A")))
        || (vendor.contains(QLatin1String("04D8")) && product.contains(QLatin1String("00DF")))
        || (vendor.contains(QLatin1String("239A")) && product.contains(QLatin1String("2B")));
}

QStringList solvaneDevPorts()
{
    QStringList ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        if (isSolvaneDevice(info.vendorIdentifier(), info.productIdentifier()))
            ports.append(info.systemLocation());
    }
    return ports;
}
