#include "transfer/folderpaths.h"

#include <QList>

const QString FolderPaths::FallbackPiece = QStringLiteral("download");

namespace {

// "2:" of "2:photos": the root number and its colon.
qsizetype rootEnd(const QByteArray &sharedName)
{
    const qsizetype colon = sharedName.indexOf(':');
    return colon < 0 ? 0 : colon + 1;
}

} // namespace

QByteArray FolderPaths::folderOf(const QByteArray &sharedName)
{
    const qsizetype slash = sharedName.lastIndexOf('\\');
    return slash < 0 ? sharedName.left(rootEnd(sharedName)) : sharedName.left(slash);
}

bool FolderPaths::liesUnder(const QByteArray &sharedName, const QByteArray &folder)
{
    if (folder.isEmpty() || !sharedName.startsWith(folder) || sharedName.size() == folder.size())
        return false;
    return folder.endsWith(':') || sharedName.at(folder.size()) == '\\';
}

QString FolderPaths::safePiece(const QByteArray &piece)
{
    const QString text = QString::fromUtf8(piece);
    if (text.isEmpty() || text == QLatin1String(".") || text == QLatin1String("..") || text.contains(QLatin1Char('/'))
        || text.contains(QChar(0)))
        return FallbackPiece;
    return text;
}

QString FolderPaths::folderName(const QByteArray &folder, const QString &rootName)
{
    const qsizetype slash = folder.lastIndexOf('\\');
    if (slash >= 0)
        return safePiece(folder.mid(slash + 1));
    const QByteArray below = folder.mid(rootEnd(folder));
    return below.isEmpty() ? safePiece(rootName.toUtf8()) : safePiece(below);
}

QString FolderPaths::subfolderOf(const QByteArray &folder, const QString &localFolder, const QByteArray &sharedName)
{
    QString path = localFolder;
    const qsizetype start = folder.endsWith(':') ? folder.size() : folder.size() + 1;
    const qsizetype end = sharedName.lastIndexOf('\\');
    if (end < start)
        return path;
    for (const QByteArray &piece : sharedName.mid(start, end - start).split('\\'))
        path += QLatin1Char('/') + safePiece(piece);
    return path;
}
