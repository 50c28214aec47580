#include "share/filestamp.h"

#include <sys/stat.h>

std::optional<FileStamp> FileStamp::of(const QByteArray &encodedPath)
{
    struct stat info {};
    if (::stat(encodedPath.constData(), &info) != 0)
        return std::nullopt;
    return fromStat(info);
}

FileStamp FileStamp::fromStat(const struct stat &info)
{
    return {static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}
