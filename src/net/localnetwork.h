#pragma once

#include <QHostAddress>
#include <QString>

// The network of the interface that carries the copy's own address. Discovery
// takes announcements only from there: the UDP socket listens on every
// interface, and an announcement arriving from another network would make
// the copy connect to wherever its sender points.
class LocalNetwork final
{
public:
    LocalNetwork() = default;
    // Looks the address up among the interfaces: the entry holding it, else
    // the first whose network contains it.
    static LocalNetwork of(const QString &address);
    LocalNetwork(int interfaceIndex, const QHostAddress &network, int prefixLength);

    bool isValid() const { return m_prefixLength >= 0; }
    // A sender on this network, on this interface when the system named the
    // interface a datagram came in on.
    bool accepts(const QHostAddress &sender, uint interfaceIndex) const;

private:
    int m_interfaceIndex = 0;
    QHostAddress m_network;
    int m_prefixLength = -1;
};
