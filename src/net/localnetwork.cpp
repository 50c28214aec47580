#include "net/localnetwork.h"

#include <QNetworkInterface>

LocalNetwork::LocalNetwork(int interfaceIndex, const QHostAddress &network, int prefixLength)
    : m_interfaceIndex(interfaceIndex)
    , m_network(network)
    , m_prefixLength(prefixLength)
{
}

LocalNetwork LocalNetwork::of(const QString &address)
{
    const QHostAddress own(address);
    if (own.protocol() != QAbstractSocket::IPv4Protocol)
        return {};
    LocalNetwork containing;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const LocalNetwork candidate(interface.index(), entry.ip(), entry.prefixLength());
            if (entry.ip() == own)
                return candidate;
            if (!containing.isValid() && own.isInSubnet(entry.ip(), entry.prefixLength()))
                containing = candidate;
        }
    }
    return containing;
}

bool LocalNetwork::accepts(const QHostAddress &sender, uint interfaceIndex) const
{
    if (!isValid() || !sender.isInSubnet(m_network, m_prefixLength))
        return false;
    return interfaceIndex == 0 || m_interfaceIndex == 0 || static_cast<int>(interfaceIndex) == m_interfaceIndex;
}
