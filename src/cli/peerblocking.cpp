#include "cli/peerblocking.h"

#include "common/controlprotocol.h"

namespace Key = ControlProtocol::Key;

QString PeerBlocking::text(const QJsonObject &peer)
{
    const bool byYou = peer.value(Key::BlockedByYou).toBool();
    const bool ofYou = peer.value(Key::BlocksYou).toBool();
    if (byYou && ofYou)
        return QStringLiteral("both ways");
    if (byYou)
        return QStringLiteral("blocked by you");
    if (ofYou)
        return QStringLiteral("blocks you");
    return {};
}
