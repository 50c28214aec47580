#include "transfer/downloadparking.h"

#include "base/logcategories.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/downloader.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/resumestore.h"

#include <QSet>

#include <memory>

namespace {

bool sameFile(const Download &one, const Download &other)
{
    return one.sizeKnown && other.sizeKnown && one.total == other.total
           && ResumeStore::keyOf(one.signature) == ResumeStore::keyOf(other.signature);
}

} // namespace

DownloadParking::DownloadParking(Downloader &downloader, DownloadListModel &running, DeadDownloadListModel &ended,
                                 ResumeStore &store, const QString &programFolder)
    : m_downloader(downloader)
    , m_running(running)
    , m_ended(ended)
    , m_store(store)
    , m_file(programFolder)
{
}

void DownloadParking::parkRunning()
{
    QList<int> ids;
    for (int row = 0; row < m_running.rowCount(); ++row) {
        const Download &download = m_running.at(row);
        // Without a size and a signature no peer could be asked for the file again.
        if (download.sizeKnown && !ResumeStore::keyOf(download.signature).isEmpty())
            ids.append(download.id);
    }
    for (int id : ids) {
        std::unique_ptr<Download> download = m_downloader.detachDownload(id);
        if (!download || !download->state.parked())
            continue;
        if (!download->localPath.isEmpty()
            && !m_store.parkPartialFile(download->localPath, download->total, download->signature, download->address))
            download->keptPath = download->localPath;
        m_ended.append(std::move(download));
    }
    save();
    qCInfo(lcTransfer) << ids.size() << "running downloads parked";
}

void DownloadParking::restore()
{
    for (const ParkedDownloadsFile::Entry &entry : m_file.read()) {
        auto download = std::make_unique<Download>();
        download->id = m_downloader.newDownloadId();
        download->fileName = entry.fileName;
        download->sharedName = entry.sharedName;
        download->address = entry.address;
        download->peerNick = entry.peerNick;
        download->total = entry.size;
        download->sizeKnown = true;
        download->signature = entry.signature;
        download->state.parked();
        m_ended.append(std::move(download));
    }
}

void DownloadParking::save()
{
    std::vector<ParkedDownloadsFile::Entry> entries;
    QSet<QString> files;
    for (int id : parkedIds()) {
        const Download &parked = m_ended.at(m_ended.rowOf(id));
        const QString file = QString::number(parked.total) + QLatin1Char('#') + ResumeStore::keyOf(parked.signature);
        if (files.contains(file))
            continue;
        files.insert(file);
        entries.push_back({parked.fileName, parked.sharedName, parked.address, parked.peerNick, parked.total,
                           parked.signature});
    }
    if (!m_file.write(entries))
        qCWarning(lcTransfer) << "the parked downloads could not be written to" << m_file.path();
}

void DownloadParking::discard()
{
    m_file.write({});
}

void DownloadParking::dropSettled()
{
    bool dropped = false;
    for (int id : parkedIds()) {
        if (isSettled(m_ended.at(m_ended.rowOf(id)))) {
            m_ended.take(id);
            dropped = true;
        }
    }
    if (dropped)
        save();
}

bool DownloadParking::isSettled(const Download &parked) const
{
    for (int row = 0; row < m_running.rowCount(); ++row) {
        if (sameFile(m_running.at(row), parked))
            return true;
    }
    for (int row = 0; row < m_ended.rowCount(); ++row) {
        const Download &ended = m_ended.at(row);
        if (ended.state.state() == Download::State::Complete && sameFile(ended, parked))
            return true;
    }
    return false;
}

QList<int> DownloadParking::parkedIds() const
{
    QList<int> ids;
    for (int row = 0; row < m_ended.rowCount(); ++row) {
        if (m_ended.at(row).state.state() == Download::State::Parked)
            ids.append(m_ended.at(row).id);
    }
    return ids;
}
