#pragma once

#include "share/shareboundary.h"
#include "share/sharedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// One complete state of the shared-file index. A rebuild makes a new snapshot
// and swaps it in whole; readers holding the old one keep a consistent view.
class IndexSnapshot final
{
public:
    QStringList roots;               // root n is roots[n - 1]; missing folders keep their number
    std::vector<SharedFile> files;   // in walk order

    // "2:music\rock\song.mp3": root number, ":", the path below the root with "\".
    QByteArray sharedName(const SharedFile &file) const;
    QString fullPath(const SharedFile &file) const;
    // The local path of a shared name, or nothing when the name is malformed,
    // names no root, or would leave its root.
    std::optional<QString> resolveSharedName(const QByteArray &sharedName) const;
    // resolveSharedName(), and only when the file, its links followed, lies
    // inside a root: what may be served. Consults the disk.
    std::optional<QString> resolveServedPath(const QByteArray &sharedName) const;
    // The indexed file a shared name names, or null.
    const SharedFile *findSharedFile(const QByteArray &sharedName) const;
    // Builds the lookup findSharedFile() uses; the walk does this off the
    // main thread. A snapshot filled by hand gets it on first use.
    void buildNameLookup() const;
    // Resolves the roots once for resolveServedPath(), so serving a file
    // resolves only that file's path. Built by the walk, or on first use.
    void buildBoundary() const;

    // Whether the walk takes a folder or file of this name: not hidden, valid
    // UTF-8, and nameable on the wire (no "\", ":", "|", "?", "/" or control
    // character). Only such names resolve, so a peer cannot reach a file the
    // walk left out.
    static bool isShareableName(QByteArrayView name);
    // A file record with its search text.
    static SharedFile makeFile(QByteArray relativePath, qint64 size, qint32 root);
    // The local path of `relative` ("/"-separated) below `root`.
    static QString joinPath(const QString &root, const QString &relative);

private:
    // (hash of root and relative path, file position), sorted: 8 bytes a file.
    mutable std::vector<std::pair<quint32, quint32>> m_nameLookup;
    mutable std::optional<ShareBoundary> m_boundary;
};
