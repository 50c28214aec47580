#pragma once

#include "net/blockedlist.h"
#include "net/blocking.h"
#include "net/controlconnections.h"
#include "net/discovery.h"
#include "net/dispatcher.h"
#include "net/hostcache.h"
#include "net/socketarray.h"
#include "net/userlistmodel.h"
#include "net/socketelement.h"
#include "share/searchservice.h"
#include "share/sharedindex.h"
#include "shell/coreconfig.h"
#include "shell/coretimers.h"
#include "shell/listenportchooser.h"
#include "shell/listenportkeeper.h"
#include "shell/settingsstore.h"
#include "shell/statusdisplay.h"

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <array>
#include <memory>

class Prompter;

// One running copy of Quelm: it owns that copy's sockets, timers, tables and
// settings store. Nothing here is global, so several copies can share a process.
class Core final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Core)

public:
    enum class InstanceClaim { Claimed, HeldByAnotherCopy, Unavailable };

    static constexpr char Version[] = QUELM_VERSION_TEXT;
    static constexpr int FallbackPort = 1971;

    Core(CoreConfig config, Prompter &prompter, QObject *parent = nullptr);
    ~Core() override;

    // Runs the start-up sequence. False means start-up refused or was given
    // up and the process must end.
    bool start();
    // Orderly end: timers stopped, every socket closed.
    void shutDown();

    const CoreConfig &config() const { return m_config; }
    SettingsStore &settings() { return m_settings; }
    Prompter &prompter() { return m_prompter; }
    CoreTimers &timers() { return m_timers; }
    SocketArray &sockets() { return m_sockets; }
    SocketArray &transferSockets() { return m_transferSockets; }
    SocketElement &listenSocket() { return m_listenSocket; }
    ListenPortChooser &portChooser() { return m_portChooser; }
    ListenPortKeeper &portKeeper() { return m_portKeeper; }
    ControlConnections &connections() { return m_connections; }
    Dispatcher &dispatcher() { return m_dispatcher; }
    HostCache &hostCache() { return m_hostCache; }
    Discovery &discovery() { return m_discovery; }
    BlockedList &blockedList() { return m_blockedList; }
    Blocking &blocking() { return m_blocking; }
    UserListModel &userList() { return m_userList; }
    StatusDisplay &status() { return m_status; }
    SharedIndex &sharedIndex() { return m_sharedIndex; }
    SearchService &search() { return m_search; }

    InstanceClaim claimInstance();

    QByteArray ownId() const { return m_ownId; }
    void setOwnId(const QByteArray &id) { m_ownId = id; }
    int listenPort() const { return m_listenPort; }
    void setListenPort(int port) { m_listenPort = port; }
    // Re-runs the port choice; `current` is kept when nothing is found.
    int chooseListenPort(int current);

    QString localAddress() const { return m_localAddress; }
    // Sets the address every socket binds to and splits it into its octets.
    void setLocalAddress(const QString &address);
    const std::array<int, 4> &localOctets() const { return m_localOctets; }
    int subnetClass() const { return m_subnetClass; }
    void detectSubnet();

    bool firstRunFlag() const { return m_firstRunFlag; }
    void setFirstRunFlag(bool flag) { m_firstRunFlag = flag; }
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString ipLabelText() const { return m_ipLabelText; }
    void setIpLabelText(const QString &text);
    bool isBlinkLabelVisible() const { return m_blinkLabelVisible; }
    // Entries of the shared-file table.
    qint64 sharedFileCount() const { return m_sharedIndex.count(); }

    // The address watch: moves the copy to a new local address when it changed.
    void ipCheckupTick();

    // What the desktop shows while start-up runs and when it ends.
    void showSplash();
    void setSplashStatus(const QString &status);
    void installTrayIcon(const QString &tip);
    void showMainWindow();

signals:
    void splashShown();
    void splashStatusChanged(const QString &status);
    void trayIconInstalled(const QString &tip);
    void mainWindowShown();
    void captionChanged(const QString &caption);
    void ipLabelChanged(const QString &text);
    void blinkLabelVisibilityChanged(bool visible);

private:
    void onBlinkTick();
    void onFirstRunMessage();
    void onListenSocketLost();
    void onAliveTick();
    void onOutgoingConnected(int index, const QString &address);
    void hideBlinkLabel();
    void wireSignals();
    ControlConnections::Context connectionContext();
    Dispatcher::Context dispatchContext();
    Discovery::Context discoveryContext();
    StatusDisplay::Context statusContext();
    SearchService::Context searchContext();

    CoreConfig m_config;
    Prompter &m_prompter;
    SettingsStore m_settings;
    CoreTimers m_timers;
    SocketArray m_sockets;
    SocketArray m_transferSockets;
    SocketElement m_listenSocket;
    ListenPortChooser m_portChooser;
    ListenPortKeeper m_portKeeper;
    ControlConnections m_connections;
    Dispatcher m_dispatcher;
    HostCache m_hostCache;
    Discovery m_discovery;
    BlockedList m_blockedList;
    Blocking m_blocking;
    UserListModel m_userList;
    StatusDisplay m_status;
    SharedIndex m_sharedIndex;
    SearchService m_search;
    std::unique_ptr<QLockFile> m_instanceLock;
    int m_aliveTicks = 0;

    QByteArray m_ownId;
    int m_listenPort = 0;
    QString m_localAddress;
    std::array<int, 4> m_localOctets{};
    int m_subnetClass = 2;
    bool m_firstRunFlag = false;
    QString m_caption;
    QString m_ipLabelText;
    bool m_blinkLabelVisible = true;
};
