#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class ControlConnections;
class HashLookup;
class IndexSnapshot;

// Full-content digests between copies that both offer them, on the control
// link. The side that opened the link offers once after its greeting; the
// side that accepted it offers back only when offered, so a peer that
// connects without offering hears nothing new. Only a peer that offered is
// asked for a file's digest. Peers that do not know these words drop them
// as unknown keywords, and nothing else on the link or on transfer
// connections changes.
//
//   offer:   "quelmhashes:1"
//   ask:     "quelmhashask:" + shared name
//   answer:  "quelmhash:" + 64 lower-case hex digits of SHA-256, or "none"
//            while the file is not hashed or not shared, + "|" + shared name
class DigestExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DigestExchange)

public:
    // Asks a peer may leave unanswered at once; more are not sent.
    static constexpr int MaxOutstandingAsks = 32;
    // An ask unanswered this long no longer counts as outstanding.
    static constexpr int AskExpiryMs = 30000;
    // Asks answered per link within one window; more are dropped.
    static constexpr int MaxAsksPerWindow = 64;
    static constexpr int AskWindowMs = 10000;
    // Longer shared names are neither asked for nor answered.
    static constexpr qsizetype MaxSharedNameLength = 4096;

    using SnapshotSource = std::function<std::shared_ptr<const IndexSnapshot>()>;

    DigestExchange(ControlConnections &connections, SnapshotSource snapshot, QObject *parent = nullptr);

    // Where this copy's digests come from; null answers every ask with "none".
    void setHashLookup(const HashLookup *lookup) { m_lookup = lookup; }
    // Off: this copy neither offers, asks nor answers, as a copy that does
    // not know digests. Takes effect for links named from then on.
    void setOffering(bool offering) { m_offering = offering; }
    bool isOffering() const { return m_offering; }
    // The control link to `address` announced digests.
    bool offeredBy(const QString &address) const;
    // Asks the peer at `address` for a file's digest; false when it does not
    // offer them or has too many asks outstanding.
    bool ask(const QString &address, const QByteArray &sharedName);
    // How long this side's ask for the file still counts as outstanding, in
    // ms; -1 when none is (answered, expired, or its link is gone).
    int askTimeLeft(const QString &address, const QByteArray &sharedName) const;

signals:
    // A peer told a file's digest; empty when it has none for it.
    void digestAnswered(const QString &address, const QByteArray &sharedName, const QByteArray &digest);
    // The link an ask went out on closed: no answer will come.
    void askDropped(const QString &address, const QByteArray &sharedName);

private:
    struct Asked {
        QByteArray sharedName;
        QElapsedTimer since;
    };
    struct Link {
        QByteArray peerId;
        QString address;
        bool offers = false;
        bool offered = false;  // this side's offer went out on the link
        std::deque<Asked> asked;
        QElapsedTimer window;
        int asksInWindow = 0;
    };

    void onPeerIdentified(int index);
    void onLinkClosed(int index);
    void sendOffer(int index, Link &link);
    void onMessage(int index, const QByteArray &message);
    // The state of a link whose peer is still the one it was made for.
    Link *linkAt(int index);
    void answer(int index, Link &link, const QByteArray &sharedName);
    void takeAnswer(int index, Link &link, const QByteArray &field);
    QByteArray digestOf(const QByteArray &sharedName) const;
    static void dropExpired(Link &link);

    ControlConnections &m_connections;
    SnapshotSource m_snapshot;
    const HashLookup *m_lookup = nullptr;
    bool m_offering = true;
    std::map<int, Link> m_links;
};
