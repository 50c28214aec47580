#include "net/dispatcher.h"

#include "net/controlconnections.h"
#include "net/localpeer.h"
#include "net/socketelement.h"

namespace {

// Host lists come from peers: only this many addresses of one list are tried.
constexpr int MaxHostListPieces = 256;

QByteArray restAfter(const QByteArray &message, const char *keyword)
{
    return message.mid(static_cast<qsizetype>(qstrlen(keyword)));
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
    if (message == ControlConnections::KeepAliveMessage)
        return;
    if (message.startsWith("id/")) {
        handleRole(index, restAfter(message, "id/"));
    } else if (message.startsWith("hostlist:")) {
        handleHostList(restAfter(message, "hostlist:"));
    } else if (message.startsWith("nick:")) {
        m_connections.setNickname(index, restAfter(message, "nick:"));
    } else if (message.startsWith("fileshared:")) {
        m_connections.setSharedCount(index, restAfter(message, "fileshared:"));
        emit userListChanged();
    } else if (message.startsWith("blocked:")) {
        m_connections.setBlockedByPeer(index, restAfter(message, "blocked:") == "1");
        emit userListChanged();
    } else if (passesGateOne(index)) {
        dispatchGated(index, message);
    }
}

void Dispatcher::dispatchGated(int index, const QByteArray &message)
{
    const QString address = m_connections.element(index)->remoteHostIP();
    if (message.startsWith("im:")) {
        emit imReceived(address, restAfter(message, "im:"));
        return;
    }
    if (message.startsWith("imtyping:")) {
        emit imTypingReceived(address, restAfter(message, "imtyping:") == "1");
        return;
    }
    if (!m_connections.record(index).isClient)
        return;
    if (message.startsWith("search:")) {
        const QByteArray request = restAfter(message, "search:");
        if (!request.isEmpty())
            emit searchReceived(index, request);
    } else if (message.startsWith("result:")) {
        handleResult(index, restAfter(message, "result:"));
    } else if (message.startsWith("chat:")) {
        emit chatReceived(m_connections.record(index).nickname, restAfter(message, "chat:"));
    }
}

bool Dispatcher::passesGateOne(int index) const
{
    const ConnectionRecord &entry = m_connections.record(index);
    return !entry.peerId.isEmpty() && !entry.blockedByPeer && !m_context.isBlocked(entry.peerId);
}

void Dispatcher::handleRole(int index, const QByteArray &role)
{
    m_connections.markIdentified(index, role == "client");
    if (!m_connections.resolveDuplicateLinks(index))
        return;
    sendHostList(index);
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
    const QByteArray prefix = m_currentQuery + ':';
    if (rest.size() < prefix.size() || qstrnicmp(rest.constData(), prefix.constData(), prefix.size()) != 0)
        return;
    emit resultReceived(index, rest.mid(prefix.size()));
}

void Dispatcher::announceToAll()
{
    const QByteArray nick = "nick:" + m_localPeer.storedNickname();
    const QByteArray uniqueId = "uniqueid:" + m_localPeer.id();
    const QByteArray shared = "fileshared:" + QByteArray::number(m_context.sharedFileCount());
    for (int index : m_connections.controlLinks()) {
        m_connections.send(index, nick);
        m_connections.send(index, uniqueId);
        m_connections.send(index, shared);
    }
}

void Dispatcher::sendHostList(int index)
{
    QByteArray list = "hostlist:";
    for (int other : m_connections.controlLinks()) {
        if (other != index)
            list += m_connections.element(other)->remoteHostIP().toLatin1() + '|';
    }
    m_connections.send(index, list);
}

void Dispatcher::greet(int index)
{
    m_connections.send(index, "id/client");
    // A corrected nickname goes to every peer; the new one, not yet a control
    // link, is told directly in any case.
    m_connections.send(index, "nick:" + m_localPeer.nickname());
    m_connections.send(index, "fileshared:" + QByteArray::number(m_context.sharedFileCount()));
    const QByteArray blocked = m_context.isBlocked(m_connections.record(index).peerId) ? "blocked:1" : "blocked:0";
    m_connections.send(index, blocked);
}
