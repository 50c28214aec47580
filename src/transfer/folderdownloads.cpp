#include "transfer/folderdownloads.h"

#include "base/logcategories.h"
#include "transfer/download.h"
#include "transfer/folderpaths.h"

#include <QString>
#include <algorithm>
#include <cerrno>

FolderDownloads::FolderDownloads(Context context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_model(m_groups, [this](int id) { return m_context.find(id); })
{
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, &m_model, &FolderDownloadModel::refreshRunning);
    connect(&m_infoDeadlines, &Deadlines::expired, this, &FolderDownloads::onFileInfoOverdue);
}

FolderDownloads::~FolderDownloads() = default;

int FolderDownloads::startFolder(const QString &address, const QByteArray &folder,
                                 std::vector<FolderDownload::File> files, const QString &rootName)
{
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const FolderDownload::File &file) {
                                   return file.address != address || !FolderPaths::liesUnder(file.sharedName, folder);
                               }),
                files.end());
    if (files.size() > static_cast<size_t>(MaxFiles))
        files.resize(static_cast<size_t>(MaxFiles));
    const QString local = FolderPaths::folderName(folder, rootName);
    return add(std::make_unique<FolderDownload>(m_nextId++, local, folder, std::move(files), local));
}

int FolderDownloads::startSelection(std::vector<FolderDownload::File> files)
{
    if (files.size() > static_cast<size_t>(MaxFiles))
        files.resize(static_cast<size_t>(MaxFiles));
    const QString name = QString::number(files.size()) + QLatin1String(" selected files");
    return add(std::make_unique<FolderDownload>(m_nextId++, name, QByteArray(), std::move(files), QString()));
}

int FolderDownloads::add(std::unique_ptr<FolderDownload> group)
{
    if (group->entryCount() == 0)
        return -1;
    const int id = group->id();
    qCInfo(lcTransfer) << "group" << id << group->name() << "of" << group->entryCount() << "files started";
    m_model.beginAddGroup();
    m_groups.push_back(std::move(group));
    m_model.endAddGroup();
    FolderDownload &added = *m_groups.back();
    for (const QString &address : added.addresses())
        pump(address);
    reportIfEnded(added);
    return id;
}

FolderDownload *FolderDownloads::find(int id)
{
    const auto found = std::find_if(m_groups.begin(), m_groups.end(),
                                    [id](const std::unique_ptr<FolderDownload> &group) { return group->id() == id; });
    return found == m_groups.end() ? nullptr : found->get();
}

const FolderDownload *FolderDownloads::group(int id) const
{
    return const_cast<FolderDownloads *>(this)->find(id);
}

int FolderDownloads::waitingCount() const
{
    int waiting = 0;
    for (const auto &group : m_groups) {
        for (int index = 0; index < group->entryCount(); ++index)
            waiting += group->entry(index).download < 0 && !group->entry(index).ended;
    }
    return waiting;
}

void FolderDownloads::pump(const QString &address)
{
    for (const auto &group : m_groups) {
        while (m_outstanding.value(address) < MaxOutstandingPerPeer) {
            if (!startNext(*group, address))
                break;
        }
    }
}

bool FolderDownloads::startNext(FolderDownload &group, const QString &address)
{
    const int index = group.takeWaiting(address);
    if (index < 0)
        return false;
    const FolderDownload::Entry &entry = group.entry(index);
    const int download = m_context.start(entry.file.sharedName, address, group.subfolderOf(index));
    if (download < 0) {
        // No transfer connection is left here: the file waits no longer.
        DownloadState refused;
        refused.failed(DownloadState::ErrorKind::Socket);
        group.started(index, -1);
        group.ended(index, refused, 0);
        m_model.entryChanged(group.id(), index);
        return true;
    }
    ++m_outstanding[address];
    m_members.insert(download, {group.id(), index});
    m_infoDeadlines.set(download, m_fileInfoTimeoutMs);
    group.started(index, download);
    m_model.entryChanged(group.id(), index);
    return true;
}

void FolderDownloads::downloadRetried(int endedId, int retryId)
{
    const auto member = m_members.constFind(endedId);
    if (member == m_members.cend())
        return;
    const auto [groupId, index] = *member;
    m_members.erase(member);
    m_members.insert(retryId, {groupId, index});
    m_infoDeadlines.remove(endedId);
    m_infoDeadlines.set(retryId, m_fileInfoTimeoutMs);
    FolderDownload *group = find(groupId);
    // The retry opens a connection of its own again.
    if (m_placeGiven.remove(endedId) && group)
        ++m_outstanding[group->entry(index).file.address];
    if (group) {
        group->retried(index, retryId);
        m_model.entryChanged(groupId, index);
    }
}

void FolderDownloads::downloadAwaitsDigest(int id)
{
    const auto member = m_members.constFind(id);
    if (member == m_members.cend() || m_placeGiven.contains(id))
        return;
    const FolderDownload *group = find(member->first);
    if (!group)
        return;
    m_placeGiven.insert(id);
    const QString address = group->entry(member->second).file.address;
    releasePlace(address);
    pump(address);
}

void FolderDownloads::releasePlace(const QString &address)
{
    if (--m_outstanding[address] <= 0)
        m_outstanding.remove(address);
}

void FolderDownloads::onFileInfoOverdue(int id)
{
    const Download *download = m_context.find(id);
    if (!m_members.contains(id) || !download || !download->state.isRunning() || download->sizeKnown)
        return;
    // A busy peer that keeps telling our place in its queue is there: the
    // file waits its turn like any queued download.
    if (download->state.state() == DownloadState::State::Queued) {
        m_infoDeadlines.set(id, m_fileInfoTimeoutMs);
        return;
    }
    m_context.abort(id, ETIMEDOUT,
                    QStringLiteral("The peer did not tell the file's size within %1 s of the request.")
                        .arg(m_fileInfoTimeoutMs / 1000.0));
}

void FolderDownloads::downloadEnded(int id)
{
    const auto member = m_members.constFind(id);
    if (member == m_members.cend())
        return;
    m_infoDeadlines.remove(id);
    const bool placeGiven = m_placeGiven.remove(id);
    const auto [groupId, index] = *member;
    m_members.erase(member);
    FolderDownload *group = find(groupId);
    const Download *download = m_context.find(id);
    if (!group || !download)
        return;
    const QString address = group->entry(index).file.address;
    if (!placeGiven)
        releasePlace(address);
    const DownloadState outcome = download->state;
    group->ended(index, outcome, download->total);
    const bool cancelled = outcome.state() == DownloadState::State::Cancelled;
    if (outcome.state() == DownloadState::State::Error && outcome.errorKind() == DownloadState::ErrorKind::DiskFull) {
        // What arrived stays: finished files in place, parts parked.
        group->stop(FolderDownload::Status::DiskFull);
        for (int other : membersOf(groupId))
            m_context.cancel(other);
    } else if (!cancelled && outcome.state() != DownloadState::State::Complete && !download->sizeKnown) {
        // The peer did not even tell the file's size: it left, and the
        // files still waiting for it end the same way without being asked for.
        group->endWaiting(address, outcome);
    }
    m_model.groupChanged(groupId);
    reportIfEnded(*group);
    pump(address);
}

std::vector<int> FolderDownloads::membersOf(int groupId) const
{
    std::vector<int> running;
    for (auto member = m_members.cbegin(); member != m_members.cend(); ++member) {
        if (member->first == groupId)
            running.push_back(member.key());
    }
    return running;
}

void FolderDownloads::reportIfEnded(const FolderDownload &group)
{
    if (group.status() == FolderDownload::Status::Running || group.runningCount() > 0
        || m_reported.contains(group.id()))
        return;
    m_reported.insert(group.id());
    qCInfo(lcTransfer) << "group" << group.id() << "ended:" << group.filesDone() << "of" << group.entryCount()
                       << "files";
    emit groupEnded(group.id());
}

void FolderDownloads::downloadsChanged()
{
    if (!m_members.isEmpty() && !m_refresh.isActive())
        m_refresh.start();
}

void FolderDownloads::cancel(int id)
{
    FolderDownload *group = find(id);
    if (!group || group->status() != FolderDownload::Status::Running)
        return;
    group->stop(FolderDownload::Status::Cancelled);
    for (int download : membersOf(id))
        m_context.cancel(download);
    m_model.groupChanged(id);
    reportIfEnded(*group);
}

bool FolderDownloads::resume(int id)
{
    FolderDownload *group = find(id);
    if (!group || !group->restart())
        return false;
    m_reported.remove(id);
    m_model.groupChanged(id);
    for (const QString &address : group->addresses())
        pump(address);
    return true;
}

void FolderDownloads::clearEnded()
{
    for (size_t row = m_groups.size(); row-- > 0;) {
        if (m_groups[row]->status() != FolderDownload::Status::Running && m_groups[row]->runningCount() == 0) {
            m_reported.remove(m_groups[row]->id());
            m_model.beginRemoveGroup(static_cast<int>(row));
            m_groups.erase(m_groups.begin() + static_cast<std::ptrdiff_t>(row));
            m_model.endRemoveGroup();
        }
    }
}
