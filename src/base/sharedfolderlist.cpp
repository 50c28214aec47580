#include "base/sharedfolderlist.h"

QStringList SharedFolderList::parse(const QByteArray &stored)
{
    QStringList folders;
    for (const QByteArray &piece : stored.split(';')) {
        if (!piece.isEmpty())
            folders.append(QString::fromUtf8(piece));
    }
    return folders;
}

QByteArray SharedFolderList::format(const QStringList &folders)
{
    QByteArray stored;
    for (const QString &folder : folders)
        stored += folder.toUtf8() + ';';
    return stored;
}
