#include "net/network.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"

Network::Network(SettingsStore &settings, Prompter &prompter, Context context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_listenSocket(-1)
    , m_connections(m_sockets, m_listenSocket,
                    {m_context.ownId, m_context.listenPort, m_context.localAddress})
    , m_dispatcher(m_connections, dispatchContext(settings))
    , m_resolver([this](const QString &address) { m_connections.connectTo(address); })
    // Remembered and typed hosts may be names; addresses from the network never are.
    , m_hostCache(settings, [this](const QString &host) { m_resolver.connectTo(host); })
    , m_discovery(settings, m_sockets, [this](const QString &address) { m_connections.connectTo(address); },
                  discoveryContext())
    , m_blocking(m_blockedList, m_connections, settings, prompter)
    , m_userList(m_connections, m_blockedList)
{
    wireSignals();
}

void Network::wireSignals()
{
    connect(&m_connections, &ControlConnections::peerIdentified, &m_dispatcher, &Dispatcher::greet);
    connect(&m_connections, &ControlConnections::messageReceived, &m_dispatcher, &Dispatcher::dispatch);
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

void Network::onOutgoingConnected(int, const QString &address)
{
    m_discovery.noteConnected(address);
    m_hostCache.addToHostCache(address);
}

Dispatcher::Context Network::dispatchContext(SettingsStore &settings)
{
    Dispatcher::Context context;
    context.ownId = m_context.ownId;
    context.nickname = [&settings] { return settings.get(QLatin1String(SettingNames::Nickname)); };
    context.normaliseNickname = [&settings] { return settings.normaliseNickname(); };
    context.sharedFileCount = m_context.sharedFileCount;
    context.isBlocked = [this](const QByteArray &id) { return m_blockedList.isBlocked(id); };
    context.connectTo = [this](const QString &address) { m_connections.connectTo(address); };
    return context;
}

Discovery::Context Network::discoveryContext()
{
    Discovery::Context context;
    context.localAddress = m_context.localAddress;
    context.connectToTypedHost = [this](const QString &host) { m_resolver.connectTo(host); };
    context.localOctets = m_context.localOctets;
    context.subnetClass = m_context.subnetClass;
    context.listenPort = m_context.listenPort;
    context.testOnly = m_context.testOnly;
    context.scanRunning = m_context.scanRunning;
    return context;
}
