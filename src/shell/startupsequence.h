#pragma once

#include <QString>

class Core;

// The start-up of one copy, run once, strictly in order: refusals of unsafe
// environments, identity, splash, working folders, nickname, listening port,
// tables, listening, timers, tray icon and main window, then discovery and
// the address watch.
class StartupSequence final
{
public:
    explicit StartupSequence(Core &core);

    // False when start-up ended the program.
    bool run();

    static QString firewallMessage();

private:
    void startEarlyTimers();
    bool refuseUnsafeEnvironment();
    bool checkConflictingProgram();
    bool checkNetworkAdapter();
    void removeUpdaterLeftover();
    void prepareFolders();
    bool waitForNickname();
    void checkFirstRun();
    void setCaptionAndAddress();
    bool claimListenPort();
    int chooseListenPort();
    void loadTables();
    void startConnections();
    void prepareInterface();
    void showMainWindow();
    void startDiscovery();
    void step(const QString &splashStatus);
    void refuse(const QString &text);

    Core &m_core;
    bool m_firstRun = false;
};
