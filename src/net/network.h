#pragma once

#include "net/blockedlist.h"
#include "net/blocking.h"
#include "net/controlconnections.h"
#include "net/discovery.h"
#include "net/dispatcher.h"
#include "net/hostcache.h"
#include "net/hostnameresolver.h"
#include "net/linknotices.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "net/socketelement.h"
#include "net/userlistmodel.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class Prompter;
class SettingsStore;

// The peer network of one copy: the listening socket, the control array and
// its connections, message dispatch, discovery, the host cache and the
// notices of new links, blocking and the user list. It owns these parts and
// wires them among themselves.
class Network final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Network)

public:
    static constexpr int KeepAliveIntervalMs = 30000;

    // What the network reads from the rest of the copy.
    struct Context {
        bool testOnly = false;
        std::function<qint64()> sharedFileCount;
    };

    Network(SettingsStore &settings, Prompter &prompter, Context context, QObject *parent = nullptr);

    LocalPeer &localPeer() { return m_localPeer; }
    const LocalPeer &localPeer() const { return m_localPeer; }
    SocketArray &sockets() { return m_sockets; }
    SocketElement &listenSocket() { return m_listenSocket; }
    ControlConnections &connections() { return m_connections; }
    Dispatcher &dispatcher() { return m_dispatcher; }
    LinkNotices &linkNotices() { return m_linkNotices; }
    HostCache &hostCache() { return m_hostCache; }
    HostNameResolver &resolver() { return m_resolver; }
    Discovery &discovery() { return m_discovery; }
    BlockedList &blockedList() { return m_blockedList; }
    Blocking &blocking() { return m_blocking; }
    UserListModel &userList() { return m_userList; }

    // Links are kept alive from now on.
    void startKeepAlive();
    bool isKeepingAlive() const { return m_keepAliveTimer.isActive(); }
    // The end of the run: discovery stops and every link closes.
    void stop();

private:
    void setLocalIP(const QString &address);
    void wireSignals();
    void onOutgoingConnected(int index, const QString &address);
    Dispatcher::Context dispatchContext();
    Discovery::Context discoveryContext();

    Context m_context;
    LocalPeer m_localPeer;
    QTimer m_keepAliveTimer;
    SocketArray m_sockets;
    SocketElement m_listenSocket;
    ControlConnections m_connections;
    Dispatcher m_dispatcher;
    LinkNotices m_linkNotices;
    HostNameResolver m_resolver;
    HostCache m_hostCache;
    Discovery m_discovery;
    BlockedList m_blockedList;
    Blocking m_blocking;
    UserListModel m_userList;
};
