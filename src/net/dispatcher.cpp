#include "net/dispatcher.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "net/localpeer.h"
#include "net/socketelement.h"
#include "net/wirekeywords.h"

namespace {

// Host lists come from peers: only this many addresses of one list are tried.
constexpr int MaxHostListPieces = 256;

template <std::size_t N>
QByteArray restAfter(const QByteArray &message, const char (&keyword)[N])
{
    return message.mid(WireKeywords::length(keyword));
}

} // namespace

Dispatcher::Dispatcher(ControlConnections &connections, LocalPeer &localPeer, Context context, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_localPeer(localPeer)
    , m_context(std::move(context))
{
}

void Dispatcher::dispatch(int index, const QByteArray &message)
{
    if (message == WireKeywords::KeepAlive)
        return;
    if (message.startsWith(WireKeywords::Role)) {
        handleRole(index, restAfter(message, WireKeywords::Role));
    } else if (message.startsWith(WireKeywords::HostList)) {
        handleHostList(restAfter(message, WireKeywords::HostList));
    } else if (message.startsWith(WireKeywords::Nickname)) {
        m_connections.setNickname(index, restAfter(message, WireKeywords::Nickname));
    } else if (message.startsWith(WireKeywords::FileShared)) {
        m_connections.setSharedCount(index, restAfter(message, WireKeywords::FileShared));
        emit userListChanged();
    } else if (message.startsWith(WireKeywords::Blocked)) {
        m_connections.setBlockedByPeer(index, restAfter(message, WireKeywords::Blocked) == WireKeywords::FlagOn);
        emit userListChanged();
    } else if (passesGateOne(index)) {
        dispatchGated(index, message);
    }
}

void Dispatcher::dispatchGated(int index, const QByteArray &message)
{
    const QString address = m_connections.element(index)->remoteHostIP();
    if (message.startsWith(WireKeywords::InstantMessage)) {
        emit imReceived(address, restAfter(message, WireKeywords::InstantMessage));
        return;
    }
    if (message.startsWith(WireKeywords::InstantMessageTyping)) {
        emit imTypingReceived(address, restAfter(message, WireKeywords::InstantMessageTyping) == WireKeywords::FlagOn);
        return;
    }
    if (!m_connections.record(index).isClient)
        return;
    if (message.startsWith(WireKeywords::Search)) {
        const QByteArray request = restAfter(message, WireKeywords::Search);
        if (!request.isEmpty())
            emit searchReceived(index, request);
    } else if (message.startsWith(WireKeywords::Result)) {
        handleResult(index, restAfter(message, WireKeywords::Result));
    } else if (message.startsWith(WireKeywords::Chat)) {
        emit chatReceived(m_connections.record(index).nickname, restAfter(message, WireKeywords::Chat));
    }
}

bool Dispatcher::passesGateOne(int index) const
{
    const ConnectionRecord &entry = m_connections.record(index);
    return !entry.peerId.isEmpty() && !entry.blockedByPeer && !m_context.isBlocked(entry.peerId);
}

void Dispatcher::handleRole(int index, const QByteArray &role)
{
    m_connections.markIdentified(index, role == WireKeywords::ClientRole);
    if (!m_connections.resolveDuplicateLinks(index))
        return;
    sendHostList(index);
    emit linkEstablished(index);
}

void Dispatcher::handleHostList(const QByteArray &list)
{
    if (list.isEmpty())
        return;
    const QList<QByteArray> pieces = list.split('|');
    const qsizetype addresses = qMin<qsizetype>(pieces.size() - 1, MaxHostListPieces);
    for (qsizetype i = 0; i < addresses; ++i)
        m_context.connectTo(QString::fromLatin1(pieces[i]));
}

void Dispatcher::handleResult(int index, const QByteArray &rest)
{
    if (rest.isEmpty() || rest.startsWith(':'))
        return;
    const auto echoes = [&rest](const QByteArray &query) {
        const QByteArray prefix = query + ':';
        return rest.size() >= prefix.size() && qstrnicmp(rest.constData(), prefix.constData(), prefix.size()) == 0;
    };
    if (echoes(m_currentQuery))
        emit resultReceived(index, rest.mid(m_currentQuery.size() + 1));
    else if (!m_quietQuery.isEmpty() && echoes(m_quietQuery))
        emit quietResultReceived(index, rest.mid(m_quietQuery.size() + 1));
}

void Dispatcher::announceToAll()
{
    const QByteArray nick = WireKeywords::Nickname + m_localPeer.storedNickname();
    const QByteArray uniqueId = WireKeywords::UniqueId + m_localPeer.id();
    const QByteArray shared = WireKeywords::FileShared + QByteArray::number(m_context.sharedFileCount());
    for (int index : m_connections.controlLinks()) {
        m_connections.send(index, nick);
        m_connections.send(index, uniqueId);
        m_connections.send(index, shared);
    }
}

void Dispatcher::sendHostList(int index)
{
    QByteArray list = WireKeywords::HostList;
    for (int other : m_connections.controlLinks()) {
        if (other != index)
            list += m_connections.element(other)->remoteHostIP().toLatin1() + '|';
    }
    const qint64 bytes = m_connections.send(index, list);
    qCDebug(lcNet).noquote() << "traffic hostlist" << bytes << "to" << m_connections.element(index)->remoteHostIP();
}

void Dispatcher::greet(int index)
{
    m_connections.send(index, QByteArray(WireKeywords::Role) + WireKeywords::ClientRole);
    // A corrected nickname goes to every peer; the new one, not yet a control
    // link, is told directly in any case.
    m_connections.send(index, WireKeywords::Nickname + m_localPeer.nickname());
    m_connections.send(index, WireKeywords::FileShared + QByteArray::number(m_context.sharedFileCount()));
    const bool blocked = m_context.isBlocked(m_connections.record(index).peerId);
    m_connections.send(index,
                       WireKeywords::Blocked + QByteArray(blocked ? WireKeywords::FlagOn : WireKeywords::FlagOff));
}
