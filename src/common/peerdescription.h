#pragma once

#include <QString>

// How quelmd and quelm-cli name a peer to a person: "nick (address, ID id)",
// so that a command says exactly whom it acted on.
class PeerDescription final
{
public:
    PeerDescription() = delete;

    // The parts that are known; the address alone when there is no nickname.
    static QString text(const QString &nickname, const QString &address, const QString &id);
};
