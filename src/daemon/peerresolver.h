#pragma once

#include <QList>
#include <QString>
#include <optional>

class Core;

// Finds the peer a person names on quelm-cli's command line: an address, the
// identifier of a linked peer, or the nickname of a linked peer. A nickname
// that fits no linked peer, or several, is refused with the candidates, so a
// command never acts on somebody other than the person meant.
class PeerResolver final
{
public:
    struct Peer
    {
        QString nickname;   // empty for an address no link leads to
        QString address;
        QString id;
        bool linked = false;
    };

    struct Outcome
    {
        std::optional<Peer> peer;
        QString error;
    };

    explicit PeerResolver(Core &core);

    Outcome resolve(const QString &text) const;
    // "nick (address, ID id)", or the address alone when nothing more is known.
    static QString describe(const Peer &peer);

private:
    QList<Peer> linkedPeers() const;
    static QString listed(const QList<Peer> &peers);

    Core &m_core;
};
