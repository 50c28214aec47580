#include "net/controlconnections.h"

#include "base/logcategories.h"
#include "common/dottedaddress.h"
#include "net/descriptorlimit.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "net/wirecodec.h"
#include "net/wirekeywords.h"

#include <QHostAddress>
#include <cerrno>

namespace {

constexpr int MaxPeerIdLength = 32;

bool couldStillBecome(const QByteArray &data, const char *opening)
{
    return QByteArray(opening).startsWith(data);
}

bool isPlausiblePeerId(const QByteArray &id)
{
    if (id.isEmpty() || id.size() > MaxPeerIdLength)
        return false;
    for (char c : id) {
        if (static_cast<uchar>(c) <= 32 || c == '|' || c == '?' || c == ':')
            return false;
    }
    return true;
}

} // namespace

ControlConnections::ControlConnections(SocketArray &sockets, SocketElement &listenSocket,
                                       const LocalPeer &localPeer, QObject *parent)
    : QObject(parent)
    , m_sockets(sockets)
    , m_listenSocket(listenSocket)
    , m_localPeer(localPeer)
{
    m_clock.start();
    connect(&listenSocket, &SocketElement::connectionRequest, this, &ControlConnections::onConnectionRequest);
    connect(&sockets, &SocketArray::connected, this, &ControlConnections::onConnected);
    connect(&sockets, &SocketArray::dataArrival, this, &ControlConnections::onDataArrival);
    connect(&sockets, &SocketArray::closed, this, &ControlConnections::onClosed);
    connect(&sockets, &SocketArray::errorOccurred, this, &ControlConnections::onClosed);
    // A peer that cannot be reached waits longer before each new attempt.
    connect(this, &ControlConnections::outgoingFailed, this, [this](const QString &address, int) {
        m_throttle.noteFailed(address, m_clock.elapsed());
        m_deferred.defer(address, m_clock.elapsed());
    });
    connect(&sockets, &SocketArray::bytesWritten, this,
            [this](int index, qint64 bytes) { mutableRecord(index).writtenBytes += bytes; });
    setTimeouts(HandshakeTimeoutMs, ConnectTimeoutMs);
    connect(&m_watch, &QTimer::timeout, this, &ControlConnections::closeStalledConnections);
    m_watch.start();
    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(AcceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, &listenSocket, &SocketElement::resumeAccepting);
    connect(&listenSocket, &SocketElement::acceptFailed, &m_acceptRetry, qOverload<>(&QTimer::start));
    // A connection that ends makes room for the next one waiting to be accepted.
    connect(&sockets, &SocketArray::stateChanged, this, [this](int, int state) {
        if (state == SocketElement::Closed || state == SocketElement::Error)
            resumeAcceptingWhenRoom();
    });
    ensureRecords();
}

int ControlConnections::count() const
{
    return m_sockets.count();
}

const ConnectionRecord &ControlConnections::record(int index) const
{
    static const ConnectionRecord none;
    if (index < 0 || index >= static_cast<int>(m_records.size()))
        return none;
    return m_records[static_cast<size_t>(index)];
}

ConnectionRecord &ControlConnections::mutableRecord(int index)
{
    ensureRecords();
    return m_records[static_cast<size_t>(index)];
}

SocketElement *ControlConnections::element(int index) const
{
    return m_sockets.at(index);
}

bool ControlConnections::isControlLink(int index) const
{
    const SocketElement *socket = m_sockets.at(index);
    return socket && socket->state() == SocketElement::Connected && !record(index).incomingPending;
}

QList<int> ControlConnections::controlLinks() const
{
    QList<int> links;
    for (int i = 0; i < count(); ++i) {
        if (isControlLink(i))
            links.append(i);
    }
    return links;
}

void ControlConnections::connectTo(const QString &address)
{
    if (!DottedAddress::isValid(address) || address == m_listenSocket.localIP() || address == m_localPeer.address())
        return;
    int pending = 0;
    for (int i = 0; i < count(); ++i) {
        SocketElement *socket = m_sockets.at(i);
        const bool matches = socket->remoteHostIP() == address
                             || (socket->remoteHost() == address && !record(i).incomingPending);
        if (!matches) {
            pending += socket->state() == SocketElement::Connecting;
            continue;
        }
        if (socket->state() != SocketElement::Error)
            return;
        socket->close();
    }
    // A flood of addresses must not turn into a flood of connection attempts.
    const qint64 pendingBound = qMin<qint64>(MaxPendingConnects, DescriptorLimit::current() / 8);
    if (pending >= pendingBound || !m_throttle.allow(address, m_clock.elapsed())) {
        m_deferred.defer(address, m_clock.elapsed());
        return;
    }
    const int slot = allocateSlot();
    if (slot < 0) {
        m_deferred.defer(address, m_clock.elapsed());
        return;
    }
    SocketElement *socket = m_sockets.at(slot);
    socket->setLocalPort(0);
    mutableRecord(slot).openedAtMs = m_clock.elapsed();
    socket->connectTo(address, m_localPeer.port());
}

int ControlConnections::allocateSlot()
{
    const int slot = m_sockets.allocate();
    if (slot >= 0)
        resetRecord(slot);
    return slot;
}

void ControlConnections::resetRecord(int index)
{
    mutableRecord(index) = ConnectionRecord();
}

int ControlConnections::findConnection(const QString &address) const
{
    for (int i = count() - 1; i >= 0; --i) {
        if (isControlLink(i) && m_sockets.at(i)->remoteHostIP() == address)
            return i;
    }
    return -1;
}

qint64 ControlConnections::send(int index, const QByteArray &message)
{
    SocketElement *socket = m_sockets.at(index);
    const QByteArray &peerId = record(index).peerId;
    if (!socket || peerId.isEmpty())
        return 0;
    const QByteArray frame = WireCodec::frameMessage(message, m_localPeer.id(), peerId);
    if (socket->state() == SocketElement::Connected && socket->bytesToWrite() + frame.size() > MaxBacklogBytes) {
        cutLink(index, QStringLiteral("the peer does not read what is sent to it"));
        return 0;
    }
    socket->sendData(frame);
    return frame.size();
}

void ControlConnections::closeElement(int index)
{
    if (SocketElement *socket = m_sockets.at(index))
        socket->close();
}

void ControlConnections::closeConnection(int index)
{
    SocketElement *socket = m_sockets.at(index);
    if (!socket || socket->state() == SocketElement::Closed)
        return;
    m_trim.noteReleased(socket->bytesToWrite());
    socket->close();
    handleClose(index);
}

void ControlConnections::closeAll()
{
    for (int i = 0; i < count(); ++i)
        closeConnection(i);
}

void ControlConnections::setNickname(int index, const QByteArray &nickname)
{
    mutableRecord(index).nickname = nickname;
}

void ControlConnections::setSharedCount(int index, const QByteArray &sharedCount)
{
    mutableRecord(index).sharedCount = sharedCount;
}

void ControlConnections::setBlockedByPeer(int index, bool blocked)
{
    mutableRecord(index).blockedByPeer = blocked;
}

void ControlConnections::markTransferQueued(int index)
{
    mutableRecord(index).transferQueued = true;
}

void ControlConnections::markIdentified(int index, bool isClient)
{
    ConnectionRecord &entry = mutableRecord(index);
    entry.incomingPending = false;
    entry.receiveBuffer.setPendingCapBytes(FrameReassembler::DefaultCapBytes);
    if (isClient)
        entry.isClient = true;
}

bool ControlConnections::resolveDuplicateLinks(int index)
{
    const QString address = m_sockets.at(index)->remoteHostIP();
    for (int other = 0; other < count(); ++other) {
        const ConnectionRecord &entry = record(other);
        // Transfers and connections that have not named a peer yet are left alone:
        // an accepted connection may still turn out to carry a download.
        if (other == index || entry.peerId.isEmpty() || entry.isTransfer
            || m_sockets.at(other)->remoteHostIP() != address)
            continue;
        if (survivorOf(index, other) == index) {
            m_sockets.at(other)->close();
        } else {
            m_sockets.at(index)->close();
            return false;
        }
    }
    return true;
}

int ControlConnections::survivorOf(int newer, int older) const
{
    const ConnectionRecord &newEntry = record(newer);
    const ConnectionRecord &oldEntry = record(older);
    const bool concurrent = oldEntry.openedAtMs >= 0 && m_clock.elapsed() - oldEntry.openedAtMs < ConcurrentWindowMs;
    if (!concurrent || newEntry.accepted == oldEntry.accepted)
        return newer;
    // Two copies that connected to each other at the same moment each see both
    // connections; both keep the one opened by the lower address.
    const quint32 local = QHostAddress(m_localPeer.address()).toIPv4Address();
    const quint32 remote = QHostAddress(m_sockets.at(newer)->remoteHostIP()).toIPv4Address();
    const bool keepOwnOutgoing = local < remote;
    return newEntry.accepted != keepOwnOutgoing ? newer : older;
}

void ControlConnections::setTimeouts(int handshakeMs, int connectMs)
{
    m_handshakeTimeoutMs = handshakeMs;
    m_connectTimeoutMs = connectMs;
    m_watch.setInterval(qBound(50, qMin(handshakeMs, connectMs) / 3, 5000));
}

void ControlConnections::keepAliveTick()
{
    for (int i = 0; i < count(); ++i) {
        SocketElement *socket = m_sockets.at(i);
        if (socket->state() == SocketElement::Connected && !record(i).incomingPending)
            send(i, WireKeywords::KeepAlive);
        else if (socket->state() == SocketElement::Error)
            socket->close();
    }
}

void ControlConnections::onConnectionRequest(int, QTcpSocket *request)
{
    // A request left unaccepted here is dropped by the listener.
    const QString address = request->peerAddress().toString();
    const AcceptBounds::Verdict verdict = AcceptBounds::judge(acceptedCounts(address), DescriptorLimit::current());
    switch (verdict) {
    case AcceptBounds::Verdict::Accept:
    case AcceptBounds::Verdict::AcceptForTransfer:
        break;
    case AcceptBounds::Verdict::RefuseAddress:
        m_refused.note(address, QStringLiteral("too many connections from this address"));
        return;
    case AcceptBounds::Verdict::PauseAll:
        m_refused.note(address, QStringLiteral("too many connections in all"));
        m_listenSocket.pauseAccepting();
        return;
    }
    const int slot = m_sockets.firstFreeIndex();
    if (!m_sockets.ensure(slot))
        return;
    resetRecord(slot);
    ConnectionRecord &entry = mutableRecord(slot);
    entry.incomingPending = true;
    entry.accepted = true;
    entry.transferOnly = verdict == AcceptBounds::Verdict::AcceptForTransfer;
    entry.receiveBuffer.setPendingCapBytes(PreIdentityBufferBytes);
    entry.openedAtMs = m_clock.elapsed();
    SocketElement *socket = m_sockets.at(slot);
    socket->close();
    socket->setTag(QLatin1String(IncomingTag));
    socket->accept(request);
}

void ControlConnections::onConnected(int index)
{
    SocketElement *socket = m_sockets.at(index);
    mutableRecord(index).openedAtMs = m_clock.elapsed();
    m_throttle.noteSucceeded(socket->remoteHostIP());
    socket->sendData(WireKeywords::Handshake + m_localPeer.id() + WireCodec::HandshakeTerminator);
    emit outgoingConnected(index, socket->remoteHostIP());
}

void ControlConnections::onDataArrival(int index)
{
    SocketElement *socket = m_sockets.at(index);
    QByteArray chunk = socket->getData();
    m_trim.noteReleased(chunk.size());
    if (record(index).peerId.isEmpty()) {
        bool stop = false;
        chunk = handleHandshakeData(index, chunk, stop);
        if (stop)
            return;
    }
    if (record(index).peerId.isEmpty() || chunk.isEmpty())
        return;
    dispatchChunk(index, chunk);
}

void ControlConnections::dispatchChunk(int index, const QByteArray &chunk)
{
    FrameReassembler::Feed feed = mutableRecord(index).receiveBuffer.feed(chunk);
    if (feed.overflow) {
        // A frame larger than any sound message: the peer is cut off.
        m_refused.note(m_sockets.at(index)->remoteHostIP(), QStringLiteral("a frame larger than any message"));
        m_sockets.at(index)->close();
        handleClose(index);
        return;
    }
    const QByteArray ownId = m_localPeer.id();
    const QByteArray peerId = record(index).peerId;
    SocketElement *socket = m_sockets.at(index);
    for (const QByteArray &body : feed.bodies) {
        // A handler may close this very connection (a duplicate link, a block).
        if (socket->state() != SocketElement::Connected)
            return;
        emit messageReceived(index, WireCodec::unframeMessage(body, ownId, peerId));
    }
}

QByteArray ControlConnections::handleHandshakeData(int index, const QByteArray &chunk, bool &stop)
{
    stop = true;
    ConnectionRecord &entry = mutableRecord(index);
    SocketElement *socket = m_sockets.at(index);
    // A transfer connection's requests are read as a stream by their server,
    // which bounds them; TCP may split them over any number of arrivals.
    if (entry.isTransfer) {
        emit transferRequest(index, chunk);
        return {};
    }
    if (++entry.handshakeCount > 2) {
        m_refused.note(socket->remoteHostIP(), QStringLiteral("no handshake in its first two messages"));
        socket->close();
        return {};
    }
    QByteArray data = entry.handshakeLine + chunk;
    entry.handshakeLine.clear();
    if (data.startsWith(WireKeywords::FileInfoRequest) || data.startsWith(WireKeywords::FileRequest)) {
        // A connection taken as a possible link now counts among the transfers.
        if (!entry.transferOnly
            && !AcceptBounds::hasTransferRoom(acceptedCounts(socket->remoteHostIP()), DescriptorLimit::current())) {
            cutLink(index, QStringLiteral("too many transfers from this address"));
            return {};
        }
        entry.isTransfer = true;
        emit transferRequest(index, data);
        return {};
    }
    // TCP may cut the line anywhere: a beginning that can still become a
    // handshake or a request waits for the rest.
    const int end = data.indexOf(WireCodec::HandshakeTerminator);
    const bool partial = end < 0 && data.size() < MaxHandshakeLine
                         && (data.startsWith(WireKeywords::HandshakeOpening)
                             || couldStillBecome(data, WireKeywords::Handshake)
                             || couldStillBecome(data, WireKeywords::FileInfoRequest)
                             || couldStillBecome(data, WireKeywords::FileRequest));
    if (partial) {
        entry.handshakeLine = data;
        return {};
    }
    if (entry.transferOnly) {
        cutLink(index, QStringLiteral("too many connections from this address"));
        return {};
    }
    if (!data.startsWith(WireKeywords::HandshakeOpening) || end < 0 || end > MaxHandshakeLine) {
        m_refused.note(socket->remoteHostIP(), QStringLiteral("not a handshake of this program"));
        socket->close();
        return {};
    }
    bool replyDue = false;
    qsizetype idStart = 0;
    if (data.startsWith(WireKeywords::Handshake)) {
        replyDue = true;
        idStart = WireKeywords::length(WireKeywords::Handshake);
    } else if (data.startsWith(WireKeywords::HandshakeReply)) {
        idStart = WireKeywords::length(WireKeywords::HandshakeReply);
    } else {
        m_refused.note(socket->remoteHostIP(), QStringLiteral("not a handshake of this program"));
        socket->close();
        return {};
    }
    const QByteArray peerId = data.mid(idStart, end - idStart);
    if (!isPlausiblePeerId(peerId)) {
        m_refused.note(socket->remoteHostIP(), QStringLiteral("an identifier that is not plausible"));
        socket->close();
        return {};
    }
    entry.peerId = peerId;
    if (replyDue)
        socket->sendData(WireKeywords::HandshakeReply + m_localPeer.id() + WireCodec::HandshakeTerminator);
    qCInfo(lcNet) << "link with" << socket->remoteHostIP() << (entry.accepted ? "accepted" : "opened");
    m_deferred.forget(socket->remoteHostIP());
    emit peerIdentified(index);
    if (socket->state() != SocketElement::Connected)
        return {};
    stop = false;
    return data.mid(end + WireKeywords::length(WireCodec::HandshakeTerminator));
}

void ControlConnections::onClosed(int index)
{
    const SocketElement *socket = m_sockets.at(index);
    if (socket->state() == SocketElement::Error && !record(index).accepted && record(index).peerId.isEmpty())
        emit outgoingFailed(socket->remoteHost(), socket->errorNumber());
    m_trim.noteReleased(m_sockets.at(index)->bytesToWrite());
    m_sockets.at(index)->close();
    handleClose(index);
}

void ControlConnections::handleClose(int index)
{
    const ConnectionRecord &entry = record(index);
    if (!entry.nickname.isEmpty() && !entry.incomingPending) {
        qCInfo(lcNet) << "link with" << entry.nickname << "closed";
        emit linkClosed(index);
    }
    if (entry.incomingPending)
        emit acceptedConnectionClosed(index);
}

void ControlConnections::closeStalledConnections()
{
    const qint64 now = m_clock.elapsed();
    for (const QString &address : m_deferred.due(now))
        connectTo(address);
    for (int i = 0; i < count(); ++i) {
        SocketElement *socket = m_sockets.at(i);
        const ConnectionRecord &entry = record(i);
        if (entry.openedAtMs < 0)
            continue;
        const qint64 age = now - entry.openedAtMs;
        // Neither named nor past "id/" in time: not a peer that speaks this protocol.
        // A transfer connection is bound by the same time until its request is queued.
        const bool silent = socket->state() == SocketElement::Connected && !entry.transferQueued
                            && (entry.peerId.isEmpty() || entry.incomingPending) && age > m_handshakeTimeoutMs;
        const bool hangingConnect = socket->state() == SocketElement::Connecting && age > m_connectTimeoutMs;
        if (silent)
            cutLink(i, QStringLiteral("no handshake in time"));
        else if (hangingConnect) {
            emit outgoingFailed(socket->remoteHost(), ETIMEDOUT);
            cutLink(i, QStringLiteral("the connection attempt got no answer"));
        }
        else if (socket->state() == SocketElement::Connected)
            checkBacklog(i, now);
    }
    m_trim.trimIfDue();
}

void ControlConnections::checkBacklog(int index, qint64 now)
{
    // Progress is what the system took, not the backlog's size: a sender that
    // refills the backlog as it drains keeps it large while the peer reads.
    ConnectionRecord &entry = mutableRecord(index);
    const bool taken = entry.writtenBytes != entry.writtenAtLastLook;
    entry.writtenAtLastLook = entry.writtenBytes;
    if (taken || m_sockets.at(index)->bytesToWrite() == 0) {
        entry.stuckSinceMs = -1;
        return;
    }
    if (entry.stuckSinceMs < 0)
        entry.stuckSinceMs = now;
    // The peer has taken nothing for a long time: what waits for it is dropped with the link.
    else if (now - entry.stuckSinceMs > m_drainTimeoutMs)
        cutLink(index, QStringLiteral("the peer does not read what is sent to it"));
}

void ControlConnections::cutLink(int index, const QString &reason)
{
    const SocketElement *socket = m_sockets.at(index);
    const QString address = socket->remoteHostIP().isEmpty() ? socket->remoteHost() : socket->remoteHostIP();
    m_refused.note(address, reason);
    closeConnection(index);
}

AcceptBounds::Counts ControlConnections::acceptedCounts(const QString &address) const
{
    AcceptBounds::Counts counts;
    for (int i = 0; i < count(); ++i) {
        const SocketElement *socket = m_sockets.at(i);
        const ConnectionRecord &entry = record(i);
        const int state = socket->state();
        if (!entry.accepted || state == SocketElement::Closed || state == SocketElement::Error)
            continue;
        const bool fromAddress = socket->remoteHostIP() == address;
        if (entry.isTransfer || entry.transferOnly) {
            ++counts.transfers;
            counts.transfersFromAddress += fromAddress;
            continue;
        }
        ++counts.total;
        if (!fromAddress)
            continue;
        ++counts.fromAddress;
        counts.unidentifiedFromAddress += entry.incomingPending;
    }
    return counts;
}

void ControlConnections::resumeAcceptingWhenRoom()
{
    if (!m_listenSocket.isAcceptPaused())
        return;
    const qint64 limit = DescriptorLimit::current();
    const AcceptBounds::Counts counts = acceptedCounts(QString());
    if (counts.total < AcceptBounds::maxTotal(limit) || counts.transfers < AcceptBounds::maxTransfers(limit))
        m_listenSocket.resumeAccepting();
}

void ControlConnections::ensureRecords()
{
    if (static_cast<int>(m_records.size()) < m_sockets.count())
        m_records.resize(static_cast<size_t>(m_sockets.count()));
}
