#include "cli/peerblocking.h"

QString PeerBlocking::text(const QJsonObject &peer)
{
    const bool byYou = peer.value(QLatin1String("blockedByYou")).toBool();
    const bool ofYou = peer.value(QLatin1String("blocksYou")).toBool();
    if (byYou && ofYou)
        return QStringLiteral("both ways");
    if (byYou)
        return QStringLiteral("blocked by you");
    if (ofYou)
        return QStringLiteral("blocks you");
    return {};
}
