#pragma once

#include <QByteArray>
#include <QString>

// The IPv4 address this copy listens on and binds its connections to.
class LocalAddressFinder final
{
public:
    LocalAddressFinder() = delete;

    // `quelmAddressEnv` (the QUELM_ADDRESS variable) when it is set, taken as
    // given. Otherwise the first IPv4 address of the interface that carries
    // the default route, else the first IPv4 address of an interface that
    // is up and not the loopback, else "0.0.0.0".
    static QString find(const QByteArray &quelmAddressEnv);

    // The interface of the default route with the lowest metric in the
    // text of /proc/net/route; empty when there is none.
    static QString defaultRouteInterface(const QByteArray &routeTable);
};
