#pragma once

#include <QByteArray>
#include <QString>

// Where the files of a folder download go. Shared names come from a peer,
// so every piece of a path made from them is checked before it names a
// folder here.
class FolderPaths final
{
public:
    // What an unsafe piece becomes, as for the name of a single download.
    static const QString FallbackPiece;

    // The folder holding a shared name: "2:photos\2024" for
    // "2:photos\2024\a.jpg", the root "2:" for "2:a.jpg".
    static QByteArray folderOf(const QByteArray &sharedName);
    // True when the shared name lies anywhere below the folder.
    static bool liesUnder(const QByteArray &sharedName, const QByteArray &folder);
    // The piece itself when it can name a folder or file here, else FallbackPiece:
    // empty, ".", "..", a "/" or a NUL inside are refused.
    static QString safePiece(const QByteArray &piece);
    // The local folder a folder download is saved in: its last piece, or
    // `rootName` for a shared root.
    static QString folderName(const QByteArray &folder, const QString &rootName);
    // The folder below the downloads folder that receives `sharedName`:
    // the folder's own name, then the pieces between it and the file.
    static QString subfolderOf(const QByteArray &folder, const QString &localFolder, const QByteArray &sharedName);
};
