#include "daemon/networkdiagnosis.h"

#include "base/settingnames.h"
#include "common/controlprotocol.h"
#include "common/dottedaddress.h"
#include "shell/core.h"

#include <QJsonArray>

namespace Key = ControlProtocol::Key;

namespace {

QStringList octetsOf(const QString &address)
{
    return address.split(QLatin1Char('.'));
}

QString peerName(const QString &nickname, const QString &address)
{
    return nickname.isEmpty() ? address : nickname + QLatin1String(" (") + address + QLatin1Char(')');
}

void insertAll(QJsonObject &into, const QJsonObject &from)
{
    for (auto it = from.begin(); it != from.end(); ++it)
        into.insert(it.key(), it.value());
}

} // namespace

NetworkDiagnosis::NetworkDiagnosis(Core &core)
    : m_core(core)
    , m_subnet(subnetText(core.localPeer().address(), core.localPeer().subnetClass()))
{
}

QString NetworkDiagnosis::subnetText(const QString &address, int subnetClass)
{
    if (!DottedAddress::isValid(address))
        return {};
    const QStringList octets = octetsOf(address);
    if (subnetClass == 1)
        return octets.mid(0, 3).join(QLatin1Char('.')) + QLatin1String(".0/24");
    return octets.mid(0, 2).join(QLatin1Char('.')) + QLatin1String(".0.0/16");
}

bool NetworkDiagnosis::isInSubnet(const QString &address, const QString &own, int subnetClass)
{
    const int shared = subnetClass == 1 ? 3 : 2;
    return DottedAddress::isValid(address) && DottedAddress::isValid(own)
           && octetsOf(address).mid(0, shared) == octetsOf(own).mid(0, shared);
}

QJsonObject NetworkDiagnosis::report()
{
    m_findings.clear();
    QJsonObject result{{Key::Ok, true},
                       {Key::Address, m_core.localPeer().address()},
                       {Key::Subnet, m_subnet}};
    if (m_core.localPeer().address().startsWith(QLatin1String("169.254.")))
        find(QStringLiteral("This computer has no address from the network (169.254.x.x): other copies may not reach it."));
    insertAll(result, portAndDiscovery());
    insertAll(result, hostLists());
    insertAll(result, blockedAndPeers());
    result.insert(Key::RefusedLinks, refusedLinks());
    if (m_core.network().userList().rowCount() == 0)
        find(QStringLiteral("No peer is linked to this copy yet."));
    result.insert(Key::Findings, QJsonArray::fromStringList(m_findings));
    return result;
}

QJsonObject NetworkDiagnosis::portAndDiscovery()
{
    QString selfTest = QStringLiteral("passed");
    if (m_core.config().testOnly()) {
        selfTest = QStringLiteral("not run (-testonly)");
    } else if (m_core.localPeer().isPortUntested()) {
        selfTest = QStringLiteral("failed; the fallback port is used untested");
        find(QStringLiteral("No listening port passed its self-test: a firewall may keep other copies from "
                            "linking to this one."));
    }
    const SettingsStore &settings = m_core.settings();
    const bool scanning =
        settings.get(QLatin1String(SettingNames::EnableScanning), SettingDefaults::EnableScanning) != "0";
    const bool udp = !m_core.config().testOnly() && scanning
                     && settings.get(QLatin1String(SettingNames::EnableUDP), SettingDefaults::EnableUDP) != "0";
    if (!scanning)
        find(QStringLiteral("Scanning is off: only the host cache, other copies' host lists and connect find peers."));
    else if (!udp)
        find(QStringLiteral("UDP discovery is off: only the subnet scan, the host cache and connect find peers."));
    const Discovery &discovery = m_core.network().discovery();
    return {{Key::Port, m_core.localPeer().port()},
            {Key::PortSelfTest, selfTest},
            {Key::Udp, udp},
            {Key::ScanPosition, scanPosition()},
            {Key::ScanMisses, discovery.scanMisses()}};
}

QString NetworkDiagnosis::scanPosition() const
{
    const Discovery &discovery = m_core.network().discovery();
    if (!DottedAddress::isValid(m_core.localPeer().address()))
        return {};
    const QStringList octets = octetsOf(m_core.localPeer().address());
    if (m_core.localPeer().subnetClass() == 1)
        return octets.mid(0, 3).join(QLatin1Char('.')) + QLatin1Char('.') + QString::number(discovery.scanHost());
    return octets.mid(0, 2).join(QLatin1Char('.')) + QLatin1Char('.') + QString::number(discovery.scanBlock())
           + QLatin1Char('.') + QString::number(discovery.scanHost());
}

QJsonObject NetworkDiagnosis::hostLists()
{
    const SettingsStore &settings = m_core.settings();
    const QStringList cached =
        HostCache::cachedAddresses(settings.getMachine(QLatin1String(SettingNames::HostCache)), QByteArray());
    const QStringList recent =
        HostCache::cachedAddresses(QByteArray(), settings.getMachine(QLatin1String(SettingNames::RecentHosts)));
    return {{Key::HostCache, QJsonArray::fromStringList(cached)},
            {Key::RecentHosts, QJsonArray::fromStringList(recent)}};
}

QJsonObject NetworkDiagnosis::blockedAndPeers()
{
    const BlockedList &blocked = m_core.network().blockedList();
    QJsonArray blockedRows;
    for (const BlockedList::Row &row : blocked.rows()) {
        blockedRows.append(QJsonObject{{Key::Id, QString::fromLatin1(row.id)},
                                       {Key::Nickname, QString::fromUtf8(row.nickname)}});
    }
    QJsonArray peers;
    const ControlConnections &connections = m_core.network().connections();
    for (int index : connections.controlLinks()) {
        const ConnectionRecord &record = connections.record(index);
        const QString address = connections.element(index)->remoteHostIP();
        const QString nickname = QString::fromUtf8(record.nickname);
        const bool sameSubnet = isInSubnet(address, m_core.localPeer().address(), m_core.localPeer().subnetClass());
        const bool blockedByYou = blocked.isBlocked(record.peerId);
        if (!sameSubnet) {
            find(peerName(nickname, address) + QLatin1String(" is on another subnet than ") + m_subnet
                 + QLatin1String(": the scan does not reach it; it is found only through the host cache, an "
                                 "announcement or connect."));
        }
        if (blockedByYou) {
            find(peerName(nickname, address) + QLatin1String(" is blocked by you (identifier ")
                 + QString::fromLatin1(record.peerId) + QLatin1String("): its searches and messages are ignored."));
        }
        if (record.blockedByPeer)
            find(peerName(nickname, address) + QLatin1String(" has blocked you: it ignores your searches and messages."));
        peers.append(QJsonObject{{Key::Address, address},
                                 {Key::Nickname, nickname},
                                 {Key::SameSubnet, sameSubnet},
                                 {Key::BlockedByYou, blockedByYou},
                                 {Key::BlocksYou, record.blockedByPeer}});
    }
    return {{Key::Blocked, blockedRows}, {Key::Peers, peers}};
}

QJsonArray NetworkDiagnosis::refusedLinks()
{
    QJsonArray rows;
    for (const RefusedLinks::Entry &entry : m_core.network().connections().refusedLinks().entries()) {
        rows.append(QJsonObject{{Key::Address, entry.address},
                                {Key::Reason, entry.reason},
                                {Key::Time, entry.when.toString(Qt::ISODate)}});
    }
    if (!rows.isEmpty())
        find(QStringLiteral("Some links were refused or cut lately; see the refused links for the reasons."));
    return rows;
}
