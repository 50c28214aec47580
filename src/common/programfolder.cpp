#include "common/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

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

bool ProgramFolder::createPrivateFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !createPrivateFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(clean).constData(), S_IRWXU) == 0 || errno == EEXIST;
}
