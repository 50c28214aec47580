#pragma once

#include "base/settingsstore.h"
#include "chat/chat.h"
#include "net/network.h"
#include "share/sharing.h"
#include "shell/coreconfig.h"
#include "shell/coretimers.h"
#include "shell/homepage.h"
#include "shell/listenportchooser.h"
#include "shell/listenportkeeper.h"
#include "transfer/transfers.h"
#include "shell/statusdisplay.h"

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <array>
#include <memory>

class Prompter;

// One running copy of Quelm, the composition root: it owns one object per
// subsystem, the settings store and the timers, and wires only what crosses
// subsystems. Nothing here is global, so several copies can share a process.
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
    // Orderly end: timers stopped, every socket closed, the resume store emptied.
    void shutDown();
    int runningDownloadCount() const { return m_transfers.runningDownloadCount(); }
    // Asks before ending while downloads run; false when the person declines.
    bool confirmExit();

    const CoreConfig &config() const { return m_config; }
    SettingsStore &settings() { return m_settings; }
    Prompter &prompter() { return m_prompter; }
    CoreTimers &timers() { return m_timers; }
    Network &network() { return m_network; }
    Sharing &sharing() { return m_sharing; }
    Transfers &transfers() { return m_transfers; }
    Chat &chat() { return m_chat; }
    ListenPortChooser &portChooser() { return m_portChooser; }
    ListenPortKeeper &portKeeper() { return m_portKeeper; }
    StatusDisplay &status() { return m_status; }
    HomePage &homePage() { return m_homePage; }

    InstanceClaim claimInstance();

    QByteArray ownId() const { return m_ownId; }
    void setOwnId(const QByteArray &id) { m_ownId = id; }
    int listenPort() const { return m_listenPort; }
    void setListenPort(int port) { m_listenPort = port; }
    // Set when every port failed its self-test and the fallback port is used untested.
    bool isListenPortUntested() const { return m_listenPortUntested; }
    void setListenPortUntested(bool untested) { m_listenPortUntested = untested; }
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
    qint64 sharedFileCount() { return m_sharing.sharedIndex().count(); }

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
    void moveToNewAddress(int port);
    void onAliveTick();
    void hideBlinkLabel();
    void wireSignals();
    Network::Context networkContext();
    Sharing::Context sharingContext();
    Transfers::Context transfersContext();
    Chat::Context chatContext();
    StatusDisplay::Context statusContext();

    CoreConfig m_config;
    Prompter &m_prompter;
    SettingsStore m_settings;
    CoreTimers m_timers;
    Network m_network;
    Sharing m_sharing;
    Transfers m_transfers;
    Chat m_chat;
    ListenPortChooser m_portChooser;
    ListenPortKeeper m_portKeeper;
    StatusDisplay m_status;
    HomePage m_homePage;
    std::unique_ptr<QLockFile> m_instanceLock;
    int m_aliveTicks = 0;

    QByteArray m_ownId;
    int m_listenPort = 0;
    bool m_listenPortUntested = false;
    QString m_localAddress;
    std::array<int, 4> m_localOctets{};
    int m_subnetClass = 2;
    bool m_firstRunFlag = false;
    QString m_caption;
    QString m_ipLabelText;
    bool m_blinkLabelVisible = true;
};
