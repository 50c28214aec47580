#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

struct stat;

// What tells one version of a file from the next without reading it: its
// size and its modification time to the nanosecond.
struct FileStamp
{
    qint64 size = 0;
    qint64 modifiedNs = 0;

    // The stamp of the file at `encodedPath` (local 8-bit encoding), links
    // followed; nothing when it cannot be taken.
    static std::optional<FileStamp> of(const QByteArray &encodedPath);
    static FileStamp fromStat(const struct stat &info);

    bool operator==(const FileStamp &other) const { return size == other.size && modifiedNs == other.modifiedNs; }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};
