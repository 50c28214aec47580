#include "shell/localaddressfinder.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>

#include <limits>

namespace {

constexpr char NoAddress[] = "0.0.0.0";
constexpr unsigned RouteUpFlag = 0x1;

QString firstIPv4Address(const QNetworkInterface &networkInterface)
{
    const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return entry.ip().toString();
    }
    return {};
}

} // namespace

QString LocalAddressFinder::defaultRouteInterface(const QByteArray &routeTable)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...,
    // numbers in hexadecimal except the counters and the metric.
    QString best;
    qint64 bestMetric = std::numeric_limits<qint64>::max();
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(1) != "00000000" || fields.at(7) != "00000000")
            continue;
        bool flagsOk = false;
        bool metricOk = false;
        const unsigned flags = fields.at(3).toUInt(&flagsOk, 16);
        const qint64 metric = fields.at(6).toLongLong(&metricOk);
        if (!flagsOk || !metricOk || !(flags & RouteUpFlag) || metric >= bestMetric)
            continue;
        best = QString::fromUtf8(fields.at(0));
        bestMetric = metric;
    }
    return best;
}

QString LocalAddressFinder::find(const QByteArray &quelmAddressEnv)
{
    const QByteArray given = quelmAddressEnv.trimmed();
    if (!given.isEmpty())
        return QString::fromUtf8(given);

    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly)) {
        const QString name = defaultRouteInterface(routes.readAll());
        if (!name.isEmpty()) {
            const QString address = firstIPv4Address(QNetworkInterface::interfaceFromName(name));
            if (!address.isEmpty())
                return address;
        }
    }

    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const auto flags = networkInterface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString address = firstIPv4Address(networkInterface);
        if (!address.isEmpty())
            return address;
    }
    return QLatin1String(NoAddress);
}
