#include "share/filehasher.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileHasher::FileHasher(const std::atomic<bool> &stop, std::atomic<qint64> *bytesRead)
    : m_stop(stop)
    , m_bytesRead(bytesRead)
    , m_buffer(BlockBytes, Qt::Uninitialized)
{
}

FileHasher::Result FileHasher::hash(const QString &path)
{
    Result result;
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return result;
    struct stat before {};
    if (::fstat(descriptor, &before) == 0 && S_ISREG(before.st_mode)) {
        result.stamp = FileStamp::fromStat(before);
        // A larger read-ahead for the one pass; afterwards the pages are
        // dropped so hashing does not push out what uploads are reading.
        ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
        const bool whole = digestContent(descriptor, result.stamp.size);
        ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
        struct stat after {};
        // A file written to while it was read has no digest for either stamp.
        if (whole && ::fstat(descriptor, &after) == 0 && FileStamp::fromStat(after) == result.stamp)
            result.digest = m_digest.result();
    }
    ::close(descriptor);
    if (result.digest.isEmpty())
        m_digest.result();   // starts over for the next file
    return result;
}

bool FileHasher::digestContent(int descriptor, qint64 size)
{
    qint64 total = 0;
    while (!m_stop.load(std::memory_order_relaxed)) {
        const ssize_t got = ::read(descriptor, m_buffer.data(), static_cast<size_t>(BlockBytes));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 && total == size;
        m_digest.addData(m_buffer.constData(), got);
        total += got;
        if (m_bytesRead)
            m_bytesRead->fetch_add(got, std::memory_order_relaxed);
    }
    return false;
}
