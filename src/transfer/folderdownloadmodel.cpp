#include "transfer/folderdownloadmodel.h"

#include "common/formatsize.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/download.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/folderdownload.h"

namespace {

const char *const Captions[] = {"Folder", "Files", "Received", "Status"};

// A group row's internal id is 0; a file row's is its group's row + 1.
constexpr quintptr GroupRowId = 0;

} // namespace

FolderDownloadModel::FolderDownloadModel(const std::vector<std::unique_ptr<FolderDownload>> &groups,
                                         std::function<const Download *(int)> findDownload, QObject *parent)
    : QAbstractItemModel(parent)
    , m_groups(groups)
    , m_findDownload(std::move(findDownload))
{
}

QModelIndex FolderDownloadModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent))
        return {};
    return createIndex(row, column, parent.isValid() ? static_cast<quintptr>(parent.row()) + 1 : GroupRowId);
}

QModelIndex FolderDownloadModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == GroupRowId)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, GroupRowId);
}

int FolderDownloadModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_groups.size());
    if (parent.internalId() != GroupRowId || parent.column() != 0 || parent.row() >= static_cast<int>(m_groups.size()))
        return 0;
    return m_groups[static_cast<size_t>(parent.row())]->entryCount();
}

int FolderDownloadModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant FolderDownloadModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const bool isGroup = index.internalId() == GroupRowId;
    const size_t groupRow = isGroup ? static_cast<size_t>(index.row()) : index.internalId() - 1;
    if (groupRow >= m_groups.size())
        return {};
    const FolderDownload &group = *m_groups[groupRow];
    if (role == GroupIdRole)
        return group.id();
    if (role == Qt::ToolTipRole && !isGroup && index.column() == NameColumn)
        return QString::fromUtf8(group.entry(index.row()).file.sharedName);
    if (role != Qt::DisplayRole)
        return {};
    return isGroup ? groupText(group, index.column()) : entryText(group, index.row(), index.column());
}

QString FolderDownloadModel::groupText(const FolderDownload &group, int column) const
{
    switch (column) {
    case NameColumn: return group.name();
    case FilesColumn:
        return QString::number(group.filesDone()) + QLatin1String(" of ") + QString::number(group.entryCount());
    case ReceivedColumn: return formatSize(receivedOf(group)) + QLatin1String(" of ") + formatSize(group.bytesTotal());
    case StatusColumn:
        switch (group.status()) {
        case FolderDownload::Status::Running:
            return group.runningCount() > 0 ? QStringLiteral("Downloading...") : QStringLiteral("Waiting");
        case FolderDownload::Status::Complete: return QStringLiteral("Complete");
        case FolderDownload::Status::Incomplete: return QStringLiteral("Incomplete");
        case FolderDownload::Status::Cancelled: return QStringLiteral("Cancelled");
        case FolderDownload::Status::DiskFull: return QStringLiteral("Stopped (disk full)");
        }
        return {};
    default: return {};
    }
}

QString FolderDownloadModel::entryText(const FolderDownload &group, int entry, int column) const
{
    const FolderDownload::Entry &file = group.entry(entry);
    const Download *download = file.ended || file.download < 0 ? nullptr : m_findDownload(file.download);
    switch (column) {
    case NameColumn: {
        const QString name = download ? download->fileName : QString::fromUtf8(file.file.sharedName.mid(
                                                                 file.file.sharedName.lastIndexOf('\\') + 1));
        const QString subfolder = group.subfolderOf(entry);
        return subfolder.isEmpty() ? name : subfolder + QLatin1Char('/') + name;
    }
    case ReceivedColumn:
        if (download)
            return formatSize(download->received) + QLatin1String(" of ") + formatSize(download->total);
        return file.file.size >= 0 ? formatSize(file.file.size) : QString();
    case StatusColumn:
        if (download)
            return DownloadListModel::statusText(*download);
        if (file.ended) {
            Download ended;
            ended.state = file.outcome;
            return DeadDownloadListModel::statusText(ended);
        }
        return QStringLiteral("Waiting");
    default: return {};
    }
}

qint64 FolderDownloadModel::receivedOf(const FolderDownload &group) const
{
    qint64 received = group.bytesDone();
    if (group.runningCount() == 0)
        return received;
    for (int entry = 0; entry < group.entryCount(); ++entry) {
        const FolderDownload::Entry &file = group.entry(entry);
        if (file.ended || file.download < 0)
            continue;
        if (const Download *download = m_findDownload(file.download))
            received += download->received;
    }
    return received;
}

QVariant FolderDownloadModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QLatin1String(Captions[section]);
}

int FolderDownloadModel::rowOf(int groupId) const
{
    for (size_t row = 0; row < m_groups.size(); ++row) {
        if (m_groups[row]->id() == groupId)
            return static_cast<int>(row);
    }
    return -1;
}

void FolderDownloadModel::beginAddGroup()
{
    const int row = static_cast<int>(m_groups.size());
    beginInsertRows({}, row, row);
}

void FolderDownloadModel::endAddGroup()
{
    endInsertRows();
}

void FolderDownloadModel::beginRemoveGroup(int row)
{
    beginRemoveRows({}, row, row);
}

void FolderDownloadModel::endRemoveGroup()
{
    endRemoveRows();
}

void FolderDownloadModel::groupChanged(int groupId)
{
    const int row = rowOf(groupId);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole});
}

void FolderDownloadModel::entryChanged(int groupId, int entry)
{
    const int row = rowOf(groupId);
    if (row < 0)
        return;
    const QModelIndex parent = index(row, 0);
    emit dataChanged(index(entry, 0, parent), index(entry, ColumnCount - 1, parent), {Qt::DisplayRole});
}

void FolderDownloadModel::refreshRunning()
{
    for (size_t row = 0; row < m_groups.size(); ++row) {
        const FolderDownload &group = *m_groups[row];
        if (group.runningCount() == 0)
            continue;
        groupChanged(group.id());
        // A view asks only for the rows it shows.
        const QModelIndex parent = index(static_cast<int>(row), 0);
        emit dataChanged(index(0, 0, parent), index(group.entryCount() - 1, ColumnCount - 1, parent),
                         {Qt::DisplayRole});
    }
}
