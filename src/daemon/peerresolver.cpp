#include "daemon/peerresolver.h"

#include "common/dottedaddress.h"
#include "common/peerdescription.h"
#include "shell/core.h"

#include <QStringList>

namespace {

// Bounds what a refusal lists and echoes, whatever the network's nicknames.
constexpr int MaxListed = 10;
constexpr int MaxEchoed = 64;

} // namespace

PeerResolver::PeerResolver(Core &core)
    : m_core(core)
{
}

QList<PeerResolver::Peer> PeerResolver::linkedPeers() const
{
    const UserListModel &list = m_core.network().userList();
    const ControlConnections &connections = m_core.network().connections();
    QList<Peer> peers;
    for (int row = 0; row < list.rowCount(); ++row) {
        Peer peer;
        peer.address = list.address(row);
        peer.nickname = list.data(list.index(row, UserListModel::UsernameColumn)).toString();
        const int link = connections.findConnection(peer.address);
        peer.id = link >= 0 ? QString::fromLatin1(connections.record(link).peerId) : QString();
        peer.linked = true;
        peers.append(peer);
    }
    return peers;
}

PeerResolver::Outcome PeerResolver::resolve(const QString &text) const
{
    const QList<Peer> peers = linkedPeers();
    const QString name = text.trimmed();
    if (DottedAddress::isValid(name)) {
        for (const Peer &peer : peers) {
            if (peer.address == name)
                return {peer, {}};
        }
        return {Peer{{}, name, {}, false}, {}};
    }
    for (const Peer &peer : peers) {
        if (!peer.id.isEmpty() && peer.id == name)
            return {peer, {}};
    }
    QList<Peer> exact;
    QList<Peer> folded;
    QList<Peer> similar;
    for (const Peer &peer : peers) {
        if (peer.nickname == name)
            exact.append(peer);
        else if (peer.nickname.compare(name, Qt::CaseInsensitive) == 0)
            folded.append(peer);
        else if (!name.isEmpty() && peer.nickname.contains(name, Qt::CaseInsensitive))
            similar.append(peer);
    }
    const QList<Peer> &matches = exact.isEmpty() ? folded : exact;
    if (matches.size() == 1)
        return {matches.first(), {}};
    const QString quoted = QLatin1Char('"') + name.left(MaxEchoed) + QLatin1Char('"');
    if (matches.size() > 1) {
        return {std::nullopt, QString::number(matches.size()) + QLatin1String(" linked peers are called ") + quoted
                                  + QLatin1String(": ") + listed(matches)
                                  + QLatin1String("; name one by its address")};
    }
    QString error = QLatin1String("no linked peer is called ") + quoted;
    error += similar.isEmpty() ? QStringLiteral("; quelm-cli peers lists them")
                               : QString(QLatin1String("; similar: ") + listed(similar));
    return {std::nullopt, error};
}

QString PeerResolver::describe(const Peer &peer)
{
    return PeerDescription::text(peer.nickname, peer.address, peer.id);
}

QString PeerResolver::listed(const QList<Peer> &peers)
{
    QStringList names;
    for (const Peer &peer : peers.mid(0, MaxListed))
        names.append(describe(peer));
    if (peers.size() > MaxListed)
        names.append(QString::number(peers.size() - MaxListed) + QLatin1String(" more"));
    return names.join(QLatin1String(", "));
}
