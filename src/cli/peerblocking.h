#pragma once

#include <QJsonObject>
#include <QString>

// The blocking between this copy and one peer, in words, from the peer's
// "blockedByYou" and "blocksYou" fields (as peers and diagnose list them).
class PeerBlocking final
{
public:
    PeerBlocking() = delete;

    // Empty when neither side blocks the other.
    static QString text(const QJsonObject &peer);
};
