#include "transfer/foldernames.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <ctime>

namespace {

// File systems stamp changes with a coarse clock: a change that follows a
// listing within this margin may leave the folder's times as they were.
constexpr qint64 CoarseClockMarginNs = 1000000000;

qint64 nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

FolderNames::FolderNames(QString folder)
    : m_folder(std::move(folder))
{
}

const QStringList &FolderNames::names()
{
    const std::optional<FileChangeStamp> stamp = FileChangeStamp::of(QFile::encodeName(m_folder));
    if (stamp && m_stamp && *stamp == *m_stamp)
        return m_names;
    const qint64 listedAt = nowNs();
    m_names = stamp ? QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Name) : QStringList();
    const bool settled = stamp && std::max(stamp->modifiedNs, stamp->changedNs) + CoarseClockMarginNs < listedAt;
    m_stamp = settled ? stamp : std::nullopt;
    return m_names;
}
