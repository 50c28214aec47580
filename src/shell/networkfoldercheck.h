#pragma once

#include <QByteArray>
#include <QString>

// Whether a folder lies on a network file system (NFS, SMB/CIFS, sshfs and
// the like), where the program refuses to run.
class NetworkFolderCheck final
{
public:
    NetworkFolderCheck() = delete;

    // From statfs; a FUSE file system is looked up in /proc/self/mountinfo
    // to tell sshfs, rclone and similar from local ones. A folder that
    // cannot be examined counts as local.
    static bool isOnNetworkFileSystem(const QString &folder);

    // The mount that holds `canonicalFolder` according to the mountinfo text
    // (the longest mount point containing it, the latest one when mounts are
    // stacked), and whether its type or source names a network file system.
    static bool isNetworkMount(const QString &canonicalFolder, const QByteArray &mountInfo);
};
