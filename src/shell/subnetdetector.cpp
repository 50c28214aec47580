#include "shell/subnetdetector.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace {

constexpr char ClassCMask[] = "255.255.255.0";

} // namespace

QString SubnetDetector::getSubnetMask(const QString &localAddress)
{
    QList<QPair<QString, QString>> table;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool isIPv4 = false;
            const quint32 address = entry.ip().toIPv4Address(&isIPv4);
            if (isIPv4)
                table.append({addressToDotted(address), addressToDotted(entry.netmask().toIPv4Address())});
        }
    }
    return getSubnetMask(localAddress, table);
}

QString SubnetDetector::getSubnetMask(const QString &localAddress,
                                      const QList<QPair<QString, QString>> &addressMaskTable)
{
    if (addressMaskTable.isEmpty())
        return QLatin1String(ClassCMask);
    for (const auto &[address, mask] : addressMaskTable) {
        if (address == localAddress)
            return mask;
    }
    return {};
}

int SubnetDetector::subnetClass(const QString &mask)
{
    return mask == QLatin1String(ClassCMask) ? 1 : 2;
}

int SubnetDetector::subnetClassOf(const QString &localAddress)
{
    return subnetClass(getSubnetMask(localAddress));
}

QString SubnetDetector::addressToDotted(quint32 hostOrderAddress)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(hostOrderAddress >> 24)
        .arg((hostOrderAddress >> 16) & 0xFF)
        .arg((hostOrderAddress >> 8) & 0xFF)
        .arg(hostOrderAddress & 0xFF);
}
