#include "share/filesignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray failed()
{
    return QByteArrayLiteral("-1");
}

} // namespace

qint64 FileSignature::signatureLength(qint64 fileLength)
{
    if (fileLength <= 0)
        return 0;
    qint64 length = fileLength / 1024;
    const qint64 rest = fileLength % 1024;
    if (rest > 512 || (rest == 512 && length % 2 != 0))
        ++length;
    return std::min(length, MaxSignatureLength);
}

bool FileSignature::fileIsPresent(const QString &path)
{
    QString trimmed = path.trimmed();
    if (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    // Non-blocking, so that a named pipe cannot stall the caller.
    const int fd = ::open(QFile::encodeName(trimmed).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == EACCES;
    // Opening a folder read-only succeeds here, but a folder is no file.
    struct stat info {};
    const bool isFolder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    ::close(fd);
    return !isFolder;
}

QByteArray FileSignature::md5Text(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray FileSignature::computeFileSignature(const QString &path)
{
    // The presence test trims blanks; such a path takes the long way.
    if (path.trimmed() != path)
        return computeWithPresenceTest(path);
    // One open, one stat and one read: this runs for every file a peer
    // fetches, on both sides. Non-blocking, so that a named pipe cannot
    // stall the caller.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return failed();
    struct stat info {};
    QByteArray signature = failed();
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const qint64 length = signatureLength(static_cast<qint64>(info.st_size));
        QByteArray prefix(length, Qt::Uninitialized);
        qint64 got = 0;
        while (got < length) {
            const ssize_t n = ::read(fd, prefix.data() + got, static_cast<size_t>(length - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        if (length > 0 && got == length)
            signature = md5Text(prefix);
    }
    ::close(fd);
    return signature;
}

QByteArray FileSignature::computeWithPresenceTest(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return failed();
    const qint64 length = signatureLength(info.size());
    if (!fileIsPresent(path))
        return {};
    if (length == 0)
        return failed();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed();
    const QByteArray prefix = file.read(length);
    if (prefix.size() != length)
        return failed();
    return md5Text(prefix);
}
