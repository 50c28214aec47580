#pragma once

#include "net/acceptbounds.h"
#include "net/connectionrecord.h"
#include "net/connectthrottle.h"
#include "net/deferredconnects.h"
#include "net/memorytrim.h"
#include "net/refusedlinks.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <vector>

class LocalPeer;
class SocketArray;
class SocketElement;

// The control connections of one copy: one record per element of the control
// array, accepting and opening connections, the identity handshake, framed
// sending and receiving, closing and the keep-alive.
class ControlConnections final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlConnections)

public:
    static constexpr char IncomingTag[] = "???INCOMING";
    // An accepted connection that names itself neither as a peer nor as a
    // transfer within this time is closed.
    static constexpr int HandshakeTimeoutMs = 15000;
    // An outgoing connection that is not through in this time is given up.
    static constexpr int ConnectTimeoutMs = 10000;
    // A handshake line longer than this is not one.
    static constexpr int MaxHandshakeLine = 256;
    // Outgoing connection attempts allowed to be under way at once.
    static constexpr int MaxPendingConnects = 100;
    // Two links to one peer opened within this time are taken as two copies
    // connecting to each other at the same moment.
    static constexpr int ConcurrentWindowMs = 10000;
    // A connection that has not sent "id/" holds at most this much of a
    // partial frame: enough for the greeting, not for a flood.
    static constexpr qsizetype PreIdentityBufferBytes = 8 * 1024;
    // Bytes queued for one peer and not yet taken by it. Sending more closes
    // the link: the peer does not read.
    static constexpr qint64 MaxBacklogBytes = 8 * 1024 * 1024;
    // A link that has bytes waiting and of which the system takes none for
    // this long is closed.
    static constexpr int DrainTimeoutMs = 30000;
    // After accepting failed, it is tried again this much later at the latest.
    static constexpr int AcceptRetryMs = 1000;

    ControlConnections(SocketArray &sockets, SocketElement &listenSocket, const LocalPeer &localPeer,
                       QObject *parent = nullptr);

    int count() const;
    const ConnectionRecord &record(int index) const;
    SocketElement *element(int index) const;
    // Connected, and past "id/" for an accepted connection.
    bool isControlLink(int index) const;
    QList<int> controlLinks() const;

    // Opens a control connection to a dotted IPv4 address unless one exists.
    // Texts that are not dotted IPv4 addresses are ignored, never resolved.
    void connectTo(const QString &address);
    int allocateSlot();
    void resetRecord(int index);
    // Highest index of a live control link to `address`, or -1.
    int findConnection(const QString &address) const;
    // Frames `message` for the peer and queues it. Nothing is sent before
    // the peer has named itself: a frame needs both identifiers. Returns
    // the bytes queued.
    qint64 send(int index, const QByteArray &message);
    void closeElement(int index);
    // Closes a connection and handles it as if the peer had closed it.
    void closeConnection(int index);
    // Closes other connections to this connection's peer address when its
    // "id/" arrives. Both copies of a pair keep the same survivor. False when
    // this connection itself was the one closed.
    bool resolveDuplicateLinks(int index);
    // Closes every connection, each handled as if its peer had closed it.
    void closeAll();
    SocketArray &sockets() { return m_sockets; }

    void setNickname(int index, const QByteArray &nickname);
    void setSharedCount(int index, const QByteArray &count);
    void setBlockedByPeer(int index, bool blocked);
    // The peer sent "id/": it is a control link from now on.
    void markIdentified(int index, bool isClient);
    // A transfer connection whose file request is queued may stay silent.
    void markTransferQueued(int index);

    void keepAliveTick();
    void setTimeouts(int handshakeMs, int connectMs);
    void setDrainTimeout(int ms) { m_drainTimeoutMs = ms; }
    void setReconnectInterval(int ms) { m_throttle.setRetryInterval(ms); }
    // Links refused or cut lately, and why.
    const RefusedLinks &refusedLinks() const { return m_refused; }

signals:
    // The peer named itself; the greeting frames go out from here.
    void peerIdentified(int index);
    void messageReceived(int index, const QByteArray &message);
    // An outgoing control connection is established (not a port probe).
    void outgoingConnected(int index, const QString &address);
    // An outgoing control connection could not be established; the number
    // is the system's (ECONNREFUSED, ETIMEDOUT, ...).
    void outgoingFailed(const QString &address, int errorNumber);
    // A control link or a named peer's connection closed.
    void linkClosed(int index);
    // Bytes from an accepted connection that opened with a transfer request,
    // as they arrive.
    void transferRequest(int index, const QByteArray &chunk);
    // An accepted connection that never became a control link closed.
    void acceptedConnectionClosed(int index);

private:
    void onConnectionRequest(int index, QTcpSocket *request);
    void onConnected(int index);
    void onDataArrival(int index);
    void onClosed(int index);
    void handleClose(int index);
    QByteArray handleHandshakeData(int index, const QByteArray &chunk, bool &stop);
    void dispatchChunk(int index, const QByteArray &chunk);
    int survivorOf(int newer, int older) const;
    ConnectionRecord &mutableRecord(int index);
    void ensureRecords();
    void closeStalledConnections();
    // Closes a link of which nothing waiting was taken within the drain timeout.
    void checkBacklog(int index, qint64 now);
    AcceptBounds::Counts acceptedCounts(const QString &address) const;
    void resumeAcceptingWhenRoom();
    // Closes a link that broke a rule, noting why.
    void cutLink(int index, const QString &reason);

    SocketArray &m_sockets;
    SocketElement &m_listenSocket;
    const LocalPeer &m_localPeer;
    std::vector<ConnectionRecord> m_records;
    QElapsedTimer m_clock;
    QTimer m_watch;
    QTimer m_acceptRetry;
    ConnectThrottle m_throttle;
    DeferredConnects m_deferred;
    MemoryTrim m_trim;
    RefusedLinks m_refused;
    int m_drainTimeoutMs = DrainTimeoutMs;
    int m_handshakeTimeoutMs = HandshakeTimeoutMs;
    int m_connectTimeoutMs = ConnectTimeoutMs;
};
