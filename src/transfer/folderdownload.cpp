#include "transfer/folderdownload.h"

#include "transfer/folderpaths.h"

#include <QSet>

FolderDownload::FolderDownload(int id, QString name, QByteArray folder, std::vector<File> files,
                               const QString &localFolder)
    : m_id(id)
    , m_name(std::move(name))
    , m_folder(std::move(folder))
    , m_localFolder(localFolder)
{
    QSet<QPair<QByteArray, QString>> seen;
    seen.reserve(static_cast<qsizetype>(files.size()));
    m_entries.reserve(files.size());
    for (File &file : files) {
        if (seen.contains({file.sharedName, file.address}))
            continue;
        seen.insert({file.sharedName, file.address});
        Entry entry;
        if (file.size > 0)
            m_bytesTotal += file.size;
        m_waiting[file.address].push_back(static_cast<int>(m_entries.size()));
        entry.file = std::move(file);
        m_entries.push_back(std::move(entry));
    }
}

QString FolderDownload::subfolderOf(int index) const
{
    if (m_folder.isEmpty())
        return {};
    return FolderPaths::subfolderOf(m_folder, m_localFolder, entry(index).file.sharedName);
}

bool FolderDownload::hasWaiting() const
{
    for (const std::deque<int> &waiting : m_waiting) {
        if (!waiting.empty())
            return true;
    }
    return false;
}

FolderDownload::Status FolderDownload::status() const
{
    if (m_stopped != Status::Running)
        return m_stopped;
    if (m_running > 0 || hasWaiting())
        return Status::Running;
    return m_filesDone == entryCount() ? Status::Complete : Status::Incomplete;
}

int FolderDownload::takeWaiting(const QString &address)
{
    const auto waiting = m_waiting.find(address);
    if (m_stopped != Status::Running || waiting == m_waiting.end() || waiting->empty())
        return -1;
    const int index = waiting->front();
    waiting->pop_front();
    return index;
}

void FolderDownload::started(int index, int download)
{
    m_entries.at(static_cast<size_t>(index)).download = download;
    ++m_running;
}

void FolderDownload::retried(int index, int download)
{
    m_entries.at(static_cast<size_t>(index)).download = download;
}

void FolderDownload::ended(int index, const DownloadState &outcome, qint64 size)
{
    Entry &entry = m_entries.at(static_cast<size_t>(index));
    if (entry.ended)
        return;
    entry.ended = true;
    entry.outcome = outcome;
    --m_running;
    if (outcome.state() != DownloadState::State::Complete)
        return;
    ++m_filesDone;
    // A listed size can be stale: what arrived counts.
    m_bytesTotal += size - qMax<qint64>(entry.file.size, 0);
    entry.file.size = size;
    m_bytesDone += size;
}

void FolderDownload::endWaiting(const QString &address, const DownloadState &outcome)
{
    const auto waiting = m_waiting.find(address);
    if (waiting == m_waiting.end())
        return;
    for (int index : *waiting) {
        Entry &entry = m_entries.at(static_cast<size_t>(index));
        entry.ended = true;
        entry.outcome = outcome;
    }
    waiting->clear();
}

void FolderDownload::stop(Status why)
{
    m_stopped = why;
    DownloadState outcome;
    if (why == Status::DiskFull)
        outcome.failed(DownloadState::ErrorKind::DiskFull);
    else
        outcome.cancelled();
    for (const QString &address : m_waiting.keys())
        endWaiting(address, outcome);
}

bool FolderDownload::restart()
{
    if (m_running > 0)
        return false;
    m_stopped = Status::Running;
    for (size_t index = 0; index < m_entries.size(); ++index) {
        Entry &entry = m_entries[index];
        if (entry.ended && entry.outcome.state() != DownloadState::State::Complete) {
            entry.ended = false;
            entry.outcome = DownloadState();
            m_waiting[entry.file.address].push_back(static_cast<int>(index));
        }
    }
    return hasWaiting();
}
