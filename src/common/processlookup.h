#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Finds running processes by the file name of their executable, through
// /proc. Names are compared without regard to case. A process that ends or
// cannot be read while it is looked at simply does not match, and zombies
// (ended but not yet reaped) are not running processes.
class ProcessLookup final
{
public:
    ProcessLookup() = delete;

    // The lowest process id whose executable is called `exeName`, skipping
    // the ids in `skip`; 0 when there is none.
    static qint64 findProcessId(const QString &exeName, const QSet<qint64> &skip = {});
    // Every such process id, in ascending order.
    static QList<qint64> findProcessIds(const QString &exeName, const QSet<qint64> &skip = {});
    static bool isProcessRunning(const QString &exeName);

    // The file name of the process's executable: from /proc/<pid>/exe (the
    // " (deleted)" mark of a replaced file removed), else its comm, else
    // argv[0]. Empty when the process is gone.
    static QString executableName(qint64 pid);
    // Every name the process can be known by (the three sources above, those
    // available). A process matches when any of them equals the name looked
    // for: exe cannot be read for another user's process, and a script or a
    // program started through a link is known by its comm. comm is cut to 15
    // characters, so a full comm that merely begins another of the names does
    // not count on its own.
    static QStringList executableNames(qint64 pid);

    // Whether the process's real user is the user running this process.
    static bool isOwnedByCurrentUser(qint64 pid);
    // Sends SIGKILL; true when the signal was delivered. Ids below 1 are
    // refused, as kill() would treat them as process groups.
    static bool terminate(qint64 pid);
};
