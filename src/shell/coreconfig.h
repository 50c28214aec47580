#pragma once

#include "shell/homepage.h"

#include <QString>
#include <QStringList>
#include <functional>

// Where one running copy lives and which address it uses. Everything a copy
// would otherwise take from the process environment is here, so that several
// copies can run side by side in one process.
struct CoreConfig
{
    QString programFolder;        // working folders, lock and write test
    QString executableFolder;     // folder of the running executable
    QString userSettingsPath;     // INI file of the user hive
    QString machineSettingsPath;  // INI file of the machine hive
    QString commandLine;          // the arguments after the program name, joined by spaces
    QStringList conflictingPrograms{QStringLiteral("Korvi.exe"), QStringLiteral("korvi")};
    // Tells the current local address; asked at start and by the address watch.
    std::function<QString()> addressSource;
    HomePage::Addresses homePageAddresses = defaultHomePageAddresses();

    bool testOnly() const;

    // The shipped welcome page first and as the fallback; the update page from
    // QUELM_UPDATE_URL when set, so it can move without a rebuild, else none
    // (the setting UpdateURL may still name one).
    static HomePage::Addresses defaultHomePageAddresses();

    // A copy whose program folder is `home` (settings in home/settings).
    static CoreConfig forHome(const QString &home, const QString &address);
    // The copy this process runs: QUELM_HOME and QUELM_ADDRESS when set.
    static CoreConfig fromEnvironment(const QStringList &arguments, const QString &executableFolder);
};
