#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// What changes whenever a file or folder is written, replaced or, for a
// folder, gains or loses an entry: size, inode, and modification and status
// change times to the nanosecond. Lets a reader skip re-reading what has not
// changed at the cost of one stat.
struct FileChangeStamp
{
    qint64 size = 0;
    quint64 inode = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // The stamp of `encodedPath` (local 8-bit encoding), links followed;
    // nothing when there is no such file or folder.
    static std::optional<FileChangeStamp> of(const QByteArray &encodedPath);

    bool operator==(const FileChangeStamp &other) const
    {
        return size == other.size && inode == other.inode && modifiedNs == other.modifiedNs
               && changedNs == other.changedNs;
    }
    bool operator!=(const FileChangeStamp &other) const { return !(*this == other); }
};
