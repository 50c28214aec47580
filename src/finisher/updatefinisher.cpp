#include "finisher/updatefinisher.h"

#include "common/processlookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char MainExecutable[] = "quelm";
constexpr char NewExecutable[] = "quelm_new";

// A short pause between passes so that a process being ended gets the
// processor instead of a spinning loop.
constexpr unsigned long PassPauseMs = 50;
// About two seconds for one process to go after SIGKILL.
constexpr int MaxKillsPerProcess = 40;
// Ends the loop even when copies keep being started by someone else.
constexpr int MaxPasses = 600;
constexpr int MaxFileAttempts = 20;

bool sameFile(const QString &first, const QString &second)
{
    struct stat a {};
    struct stat b {};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0
        && ::stat(QFile::encodeName(second).constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

UpdateFinisher::UpdateFinisher(const QString &folder)
    : m_folder(folder)
{
}

void UpdateFinisher::run()
{
    endRunningCopies();
    installNewExecutable();
}

void UpdateFinisher::endRunningCopies()
{
    QSet<qint64> skip{QCoreApplication::applicationPid(), qint64(::getppid())};
    QHash<qint64, int> kills;
    for (int pass = 0; pass < MaxPasses; ++pass) {
        const qint64 pid = ProcessLookup::findProcessId(QLatin1String(MainExecutable), skip);
        if (pid == 0)
            return;
        if (!ProcessLookup::isOwnedByCurrentUser(pid) || ++kills[pid] > MaxKillsPerProcess) {
            skip.insert(pid);
            continue;
        }
        ProcessLookup::terminate(pid);
        QThread::msleep(PassPauseMs);
    }
}

void UpdateFinisher::installNewExecutable()
{
    const QStringList candidates = filesNamed(QLatin1String(NewExecutable));
    if (candidates.isEmpty())
        return;
    const QString newPath = candidates.first();
    const QFileInfo newInfo(newPath);
    if (!newInfo.isFile() || !newInfo.isReadable())
        return;

    const QString installedPath = m_folder + QLatin1Char('/') + QLatin1String(MainExecutable);
    for (int attempt = 0; attempt < MaxFileAttempts; ++attempt) {
        // rename() replaces an existing "quelm" in one step.
        if (std::rename(QFile::encodeName(newPath).constData(), QFile::encodeName(installedPath).constData()) == 0) {
            removeOtherSpellingsOfOld(installedPath);
            return;
        }
        QThread::msleep(PassPauseMs);
    }
}

void UpdateFinisher::removeOtherSpellingsOfOld(const QString &installedPath)
{
    const QStringList oldFiles = filesNamed(QLatin1String(MainExecutable));
    for (const QString &oldPath : oldFiles) {
        // On a case-insensitive file system another spelling is the new
        // program itself.
        if (oldPath == installedPath || sameFile(oldPath, installedPath))
            continue;
        for (int attempt = 0; attempt < MaxFileAttempts && QFileInfo::exists(oldPath); ++attempt) {
            if (QFile::remove(oldPath))
                break;
            QThread::msleep(PassPauseMs);
        }
    }
}

QStringList UpdateFinisher::filesNamed(const QString &name) const
{
    QStringList found;
    const QDir folder(m_folder);
    const QStringList entries =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry == name)
            found.prepend(folder.filePath(entry));
        else
            found.append(folder.filePath(entry));
    }
    return found;
}
