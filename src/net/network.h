#pragma once

#include "net/blockedlist.h"
#include "net/blocking.h"
#include "net/controlconnections.h"
#include "net/discovery.h"
#include "net/dispatcher.h"
#include "net/hostcache.h"
#include "net/hostnameresolver.h"
#include "net/socketarray.h"
#include "net/socketelement.h"
#include "net/userlistmodel.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <functional>

class Prompter;
class SettingsStore;

// The peer network of one copy: the listening socket, the control array and
// its connections, message dispatch, discovery and the host cache, blocking
// and the user list. It owns these parts and wires them among themselves.
class Network final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Network)

public:
    // What the network reads from the rest of the copy.
    struct Context {
        std::function<QByteArray()> ownId;
        std::function<int()> listenPort;
        std::function<QString()> localAddress;
        std::function<std::array<int, 4>()> localOctets;
        std::function<int()> subnetClass;
        std::function<bool()> testOnly;
        std::function<bool()> scanRunning;
        std::function<qint64()> sharedFileCount;
    };

    Network(SettingsStore &settings, Prompter &prompter, Context context, QObject *parent = nullptr);

    SocketArray &sockets() { return m_sockets; }
    SocketElement &listenSocket() { return m_listenSocket; }
    ControlConnections &connections() { return m_connections; }
    Dispatcher &dispatcher() { return m_dispatcher; }
    HostCache &hostCache() { return m_hostCache; }
    HostNameResolver &resolver() { return m_resolver; }
    Discovery &discovery() { return m_discovery; }
    BlockedList &blockedList() { return m_blockedList; }
    Blocking &blocking() { return m_blocking; }
    UserListModel &userList() { return m_userList; }

    // Every socket of the network binds to this address from now on.
    void setLocalIP(const QString &address);

private:
    void wireSignals();
    void onOutgoingConnected(int index, const QString &address);
    Dispatcher::Context dispatchContext(SettingsStore &settings);
    Discovery::Context discoveryContext();

    Context m_context;
    SocketArray m_sockets;
    SocketElement m_listenSocket;
    ControlConnections m_connections;
    Dispatcher m_dispatcher;
    HostNameResolver m_resolver;
    HostCache m_hostCache;
    Discovery m_discovery;
    BlockedList m_blockedList;
    Blocking m_blocking;
    UserListModel m_userList;
};
