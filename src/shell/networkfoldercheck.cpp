#include "shell/networkfoldercheck.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <sys/vfs.h>

namespace {

// statfs f_type values of network file systems (see statfs(2)).
constexpr unsigned long NetworkMagics[] = {
    0x6969,     // NFS
    0x517B,     // SMB
    0xFE534D42, // SMB2
    0xFF534D42, // CIFS
    0x564C,     // NCP
    0x73757245, // CODA
    0x5346414F, // AFS
    0x6B414653, // kAFS
    0x01021997, // 9P
    0x00C36400, // CEPH
    0x0BD00BD0, // Lustre
};
constexpr unsigned long FuseMagic = 0x65735546;

// Mount types, as mountinfo names them, of file systems served over the network.
const char *const NetworkMountTypes[] = {
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "coda", "afs", "9p", "ceph", "lustre", "davfs",
    "glusterfs", "fuse.sshfs", "fuse.rclone", "fuse.davfs2", "fuse.glusterfs", "fuse.s3fs", "fuse.gcsfuse",
    "fuse.ceph-fuse", "fuse.ceph", "fuse.curlftpfs", "fuse.smbnetfs", "fuse.gvfsd-fuse", "fuse.goofys",
    "fuse.juicefs", "fuse.lizardfs", "fuse.mfs", "fuse.cephfs", "fuse.seaweedfs", "fuse.blobfuse",
};

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// mountinfo writes space, tab, newline and backslash as \ooo octal escapes.
QByteArray unescapeMountField(const QByteArray &field)
{
    QByteArray result;
    result.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size() && isOctalDigit(field.at(i + 1))
            && isOctalDigit(field.at(i + 2)) && isOctalDigit(field.at(i + 3))) {
            result.append(char(((field.at(i + 1) - '0') << 6) | ((field.at(i + 2) - '0') << 3) | (field.at(i + 3) - '0')));
            i += 3;
            continue;
        }
        result.append(field.at(i));
    }
    return result;
}

bool containsPath(const QByteArray &mountPoint, const QByteArray &path)
{
    if (mountPoint == "/")
        return path.startsWith('/');
    return path == mountPoint || path.startsWith(mountPoint + '/');
}

bool isNetworkType(const QByteArray &type, const QByteArray &source)
{
    for (const char *networkType : NetworkMountTypes) {
        if (type == networkType)
            return true;
    }
    // davfs2 and similar mount a web address under the plain FUSE type.
    return (type == "fuse" || type == "fuseblk") && source.contains("://");
}

} // namespace

bool NetworkFolderCheck::isNetworkMount(const QString &canonicalFolder, const QByteArray &mountInfo)
{
    const QByteArray path = QFile::encodeName(canonicalFolder);
    qsizetype bestLength = -1;
    bool bestIsNetwork = false;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 5 || separator + 2 >= fields.size())
            continue;
        const QByteArray mountPoint = unescapeMountField(fields.at(4));
        if (!containsPath(mountPoint, path) || mountPoint.size() < bestLength)
            continue;
        bestLength = mountPoint.size();
        bestIsNetwork = isNetworkType(unescapeMountField(fields.at(separator + 1)),
                                      unescapeMountField(fields.at(separator + 2)));
    }
    return bestIsNetwork;
}

bool NetworkFolderCheck::isOnNetworkFileSystem(const QString &folder)
{
    struct statfs info {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    for (const unsigned long magic : NetworkMagics) {
        if (type == magic)
            return true;
    }
    if (type != FuseMagic)
        return false;
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly))
        return false;
    return isNetworkMount(QFileInfo(folder).canonicalFilePath(), mountInfo.readAll());
}
