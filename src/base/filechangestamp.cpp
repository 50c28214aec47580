#include "base/filechangestamp.h"

#include <sys/stat.h>

std::optional<FileChangeStamp> FileChangeStamp::of(const QByteArray &encodedPath)
{
    struct stat info {};
    if (::stat(encodedPath.constData(), &info) != 0)
        return std::nullopt;
    constexpr qint64 NsPerSecond = 1000000000;
    FileChangeStamp stamp;
    stamp.size = static_cast<qint64>(info.st_size);
    stamp.inode = static_cast<quint64>(info.st_ino);
    stamp.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * NsPerSecond + info.st_mtim.tv_nsec;
    stamp.changedNs = static_cast<qint64>(info.st_ctim.tv_sec) * NsPerSecond + info.st_ctim.tv_nsec;
    return stamp;
}
