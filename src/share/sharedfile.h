#pragma once

#include <QByteArray>
#include <QtGlobal>

// One shared file as the index keeps it: small, since a copy may share a
// million of them. The shared name and the full path are derived from it.
struct SharedFile
{
    QByteArray relativePath;  // UTF-8, "/"-separated, below its root folder
    qint64 size = 0;          // bytes, when the file was indexed
    qint32 root = 0;          // root number, counted from 1
    // The path lower-cased and cut at its last ".", made once when indexed:
    // what keyword searches test, with the shared name's "\" still "/".
    QByteArray searchText;
};
