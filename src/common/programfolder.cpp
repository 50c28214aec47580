#include "common/programfolder.h"

#include <QDir>
#include <QStandardPaths>

QString ProgramFolder::fromEnvironment()
{
    const QString home = qEnvironmentVariable("QUELM_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Quelm");
}

QString ProgramFolder::controlSocketPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("quelmd.socket"));
}
