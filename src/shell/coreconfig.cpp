#include "shell/coreconfig.h"

#include "common/programfolder.h"
#include "shell/localaddressfinder.h"

#include <QDir>
#include <QStandardPaths>

bool CoreConfig::testOnly() const
{
    return commandLine.toLower() == QLatin1String("-testonly");
}

HomePage::Addresses CoreConfig::defaultHomePageAddresses()
{
    return {QUrl(QStringLiteral("qrc:/home/welcome.html")), QUrl(qEnvironmentVariable("QUELM_UPDATE_URL")),
            QUrl(QStringLiteral("qrc:/home/welcome.html?blocked=1"))};
}

CoreConfig CoreConfig::forHome(const QString &home, const QString &address)
{
    CoreConfig config;
    config.programFolder = QDir::cleanPath(home);
    config.executableFolder = config.programFolder;
    config.userSettingsPath = config.programFolder + QLatin1String("/settings/user.ini");
    config.machineSettingsPath = config.programFolder + QLatin1String("/settings/machine.ini");
    config.addressSource = [address] { return address; };
    return config;
}

CoreConfig CoreConfig::fromEnvironment(const QStringList &arguments, const QString &executableFolder)
{
    CoreConfig config;
    if (!qEnvironmentVariableIsEmpty("QUELM_HOME")) {
        config = forHome(ProgramFolder::fromEnvironment(), QString());
    } else {
        config.programFolder = ProgramFolder::fromEnvironment();
        const QString configRoot =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/Vendrakos");
        config.userSettingsPath = configRoot + QLatin1String("/Quelm.ini");
        config.machineSettingsPath = configRoot + QLatin1String("/QuelmMachine.ini");
    }
    config.executableFolder = executableFolder;
    config.commandLine = arguments.mid(1).join(QLatin1Char(' '));
    config.addressSource = [] { return LocalAddressFinder::find(qgetenv("QUELM_ADDRESS")); };
    return config;
}
