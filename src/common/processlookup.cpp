#include "common/processlookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <limits>
#include <limits.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The kernel keeps at most this many characters of a process's comm.
constexpr int MaxCommLength = 15;

QString procPath(qint64 pid, const char *entry)
{
    return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry));
}

// /proc files report a size of 0, so they are read up to a bound instead.
QByteArray readProcFile(qint64 pid, const char *entry, qint64 maxSize = 4096)
{
    QFile file(procPath(pid, entry));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(maxSize);
}

QString nameFromExeLink(qint64 pid)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(QFile::encodeName(procPath(pid, "exe")).constData(), target, sizeof target);
    if (length <= 0)
        return {};
    QString path = QFile::decodeName(QByteArray(target, int(length)));
    const QLatin1String deletedMark(" (deleted)");
    if (path.endsWith(deletedMark))
        path.chop(deletedMark.size());
    return QFileInfo(path).fileName();
}

QString nameFromComm(qint64 pid)
{
    QByteArray comm = readProcFile(pid, "comm", 64);
    if (comm.endsWith('\n'))
        comm.chop(1);
    return QFile::decodeName(comm);
}

QString nameFromCommandLine(qint64 pid)
{
    const QByteArray commandLine = readProcFile(pid, "cmdline");
    const QByteArray argv0 = commandLine.left(commandLine.indexOf('\0'));
    return QFileInfo(QFile::decodeName(argv0)).fileName();
}

// The state letter follows the closing parenthesis of the command name,
// which may itself hold parentheses and spaces.
bool isZombieOrGone(qint64 pid)
{
    const QByteArray stat = readProcFile(pid, "stat", 512);
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return true;
    const char state = stat.at(close + 2);
    return state == 'Z' || state == 'X' || state == 'x';
}

bool runsAs(qint64 pid, const QString &exeName)
{
    return ProcessLookup::executableNames(pid).contains(exeName, Qt::CaseInsensitive) && !isZombieOrGone(pid);
}

QList<qint64> allProcessIds()
{
    QList<qint64> ids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (isNumber && pid > 0)
            ids.append(pid);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

QStringList ProcessLookup::executableNames(qint64 pid)
{
    const QString fromExe = nameFromExeLink(pid);
    const QString fromCommandLine = nameFromCommandLine(pid);
    QString fromComm = nameFromComm(pid);
    // A full comm is usually just the start of the real name; counting it as
    // a name of its own would match a shorter name that merely begins alike.
    if (fromComm.size() == MaxCommLength
        && (fromExe.startsWith(fromComm) || fromCommandLine.startsWith(fromComm)))
        fromComm.clear();

    QStringList names;
    for (const QString &name : {fromExe, fromComm, fromCommandLine}) {
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

QString ProcessLookup::executableName(qint64 pid)
{
    const QStringList names = executableNames(pid);
    return names.isEmpty() ? QString() : names.first();
}

QList<qint64> ProcessLookup::findProcessIds(const QString &exeName, const QSet<qint64> &skip)
{
    QList<qint64> found;
    if (exeName.isEmpty())
        return found;
    for (const qint64 pid : allProcessIds()) {
        if (skip.contains(pid))
            continue;
        if (runsAs(pid, exeName))
            found.append(pid);
    }
    return found;
}

qint64 ProcessLookup::findProcessId(const QString &exeName, const QSet<qint64> &skip)
{
    if (exeName.isEmpty())
        return 0;
    for (const qint64 pid : allProcessIds()) {
        if (skip.contains(pid))
            continue;
        if (runsAs(pid, exeName))
            return pid;
    }
    return 0;
}

bool ProcessLookup::isProcessRunning(const QString &exeName)
{
    return findProcessId(exeName) != 0;
}

bool ProcessLookup::isOwnedByCurrentUser(qint64 pid)
{
    // "Uid:" lists the real, effective, saved and file-system user ids.
    const QList<QByteArray> lines = readProcFile(pid, "status", 8192).split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
        bool isNumber = false;
        const qint64 realUid = fields.value(0).toLongLong(&isNumber);
        return isNumber && realUid == qint64(::getuid());
    }
    return false;
}

bool ProcessLookup::terminate(qint64 pid)
{
    if (pid < 1 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), SIGKILL) == 0;
}
