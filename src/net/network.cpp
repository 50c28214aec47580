#include "net/network.h"

#include "base/settingsstore.h"

Network::Network(SettingsStore &settings, Prompter &prompter, Context context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_localPeer(settings)
    , m_listenSocket(-1)
    , m_connections(m_sockets, m_listenSocket, m_localPeer)
    , m_dispatcher(m_connections, m_localPeer, dispatchContext())
    , m_linkNotices(m_connections)
    , m_resolver([this](const QString &address) { m_connections.connectTo(address); })
    // Remembered and typed hosts may be names; addresses from the network never are.
    , m_hostCache(settings, [this](const QString &host) { m_resolver.connectTo(host); })
    , m_discovery(settings, m_sockets, m_localPeer,
                  [this](const QString &address) { m_connections.connectTo(address); }, discoveryContext())
    , m_blocking(m_blockedList, m_connections, settings, prompter)
    , m_userList(m_connections, m_blockedList)
{
    m_keepAliveTimer.setInterval(KeepAliveIntervalMs);
    wireSignals();
}

void Network::wireSignals()
{
    connect(&m_localPeer, &LocalPeer::addressChanged, this, &Network::setLocalIP);
    connect(&m_localPeer, &LocalPeer::nicknameChanged, &m_dispatcher, &Dispatcher::announceToAll);
    connect(&m_keepAliveTimer, &QTimer::timeout, &m_connections, &ControlConnections::keepAliveTick);
    connect(&m_connections, &ControlConnections::peerIdentified, &m_dispatcher, &Dispatcher::greet);
    connect(&m_connections, &ControlConnections::messageReceived, &m_dispatcher, &Dispatcher::dispatch);
    connect(&m_dispatcher, &Dispatcher::linkEstablished, &m_linkNotices, &LinkNotices::noteNewLink);
    connect(&m_connections, &ControlConnections::outgoingConnected, this, &Network::onOutgoingConnected);
    // What peers send is coalesced: a flood of frames costs one rebuild per short interval.
    connect(&m_connections, &ControlConnections::linkClosed, &m_userList, &UserListModel::scheduleRebuild);
    connect(&m_dispatcher, &Dispatcher::userListChanged, &m_userList, &UserListModel::scheduleRebuild);
    connect(&m_blocking, &Blocking::userListChanged, &m_userList, &UserListModel::rebuildUserList);
}

void Network::setLocalIP(const QString &address)
{
    m_sockets.setLocalIP(address);
    m_listenSocket.setLocalIP(address);
}

void Network::startKeepAlive()
{
    m_keepAliveTimer.start();
}

void Network::stop()
{
    m_keepAliveTimer.stop();
    m_discovery.stop();
    m_connections.closeAll();
}

void Network::onOutgoingConnected(int, const QString &address)
{
    m_discovery.noteConnected(address);
    m_hostCache.addToHostCache(address);
}

Dispatcher::Context Network::dispatchContext()
{
    Dispatcher::Context context;
    context.sharedFileCount = m_context.sharedFileCount;
    context.isBlocked = [this](const QByteArray &id) { return m_blockedList.isBlocked(id); };
    context.connectTo = [this](const QString &address) { m_connections.connectTo(address); };
    return context;
}

Discovery::Context Network::discoveryContext()
{
    Discovery::Context context;
    context.testOnly = m_context.testOnly;
    context.connectToTypedHost = [this](const QString &host) { m_resolver.connectTo(host); };
    return context;
}
