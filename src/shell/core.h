#pragma once

#include "base/settingsstore.h"
#include "chat/chat.h"
#include "net/network.h"
#include "share/sharing.h"
#include "shell/addresswatch.h"
#include "shell/coreconfig.h"
#include "shell/homepage.h"
#include "shell/listenportchooser.h"
#include "shell/listenportkeeper.h"
#include "shell/shellpresence.h"
#include "shell/statusdisplay.h"
#include "transfer/transfers.h"

#include <QLockFile>
#include <QObject>
#include <memory>

class Prompter;

// One running copy of Quelm, the composition root: it owns one object per
// subsystem and the settings store, and wires only what crosses subsystems.
// Nothing here is global, so several copies can share a process.
class Core final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Core)

public:
    enum class InstanceClaim { Claimed, HeldByAnotherCopy, Unavailable };

    static constexpr char Version[] = QUELM_VERSION_TEXT;

    Core(CoreConfig config, Prompter &prompter, QObject *parent = nullptr);
    ~Core() override;

    // Runs the start-up sequence. False means start-up refused or was given
    // up and the process must end.
    bool start();
    // Orderly end: every subsystem stops, every socket closes, the resume
    // store is emptied unless unfinished downloads are kept.
    void shutDown();
    int runningDownloadCount() const { return m_transfers.runningDownloadCount(); }
    // Asks before ending while downloads run and would be lost; false when
    // the person declines.
    bool confirmExit();

    const CoreConfig &config() const { return m_config; }
    SettingsStore &settings() { return m_settings; }
    Prompter &prompter() { return m_prompter; }
    Network &network() { return m_network; }
    LocalPeer &localPeer() { return m_network.localPeer(); }
    Sharing &sharing() { return m_sharing; }
    Transfers &transfers() { return m_transfers; }
    Chat &chat() { return m_chat; }
    ListenPortChooser &portChooser() { return m_portChooser; }
    ListenPortKeeper &portKeeper() { return m_portKeeper; }
    AddressWatch &addressWatch() { return m_addressWatch; }
    StatusDisplay &status() { return m_status; }
    HomePage &homePage() { return m_homePage; }
    ShellPresence &presence() { return m_presence; }

    InstanceClaim claimInstance();
    // Entries of the shared-file table.
    qint64 sharedFileCount() { return m_sharing.sharedIndex().count(); }

private:
    void wireSignals();
    Network::Context networkContext();
    // The configured addresses, with the update page of the settings when the environment names none.
    HomePage::Addresses homePageAddresses() const;

    CoreConfig m_config;
    Prompter &m_prompter;
    SettingsStore m_settings;
    Network m_network;
    Sharing m_sharing;
    Transfers m_transfers;
    Chat m_chat;
    ListenPortChooser m_portChooser;
    ListenPortKeeper m_portKeeper;
    AddressWatch m_addressWatch;
    StatusDisplay m_status;
    HomePage m_homePage;
    ShellPresence m_presence;
    std::unique_ptr<QLockFile> m_instanceLock;
};
