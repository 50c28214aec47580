#include "transfer/downloadlistmodel.h"

#include "common/formatsize.h"
#include "transfer/downloadprogress.h"

namespace {

const char *const Captions[] = {"Filename", "%", "KB/s", "Status", "Received", "Total", "Nickname", "ID"};

} // namespace

DownloadListModel::DownloadListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &DownloadListModel::announceRefreshed);
}

DownloadListModel::~DownloadListModel() = default;

int DownloadListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_downloads.size());
}

int DownloadListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Download &download = at(index.row());
    // The file's name exactly as the serving peer shares it.
    if (role == Qt::ToolTipRole && index.column() == FilenameColumn)
        return QString::fromUtf8(download.sharedName);
    if (role != Qt::DisplayRole)
        return {};
    // The progress columns fill in with the first bytes written.
    const bool downloading = download.state.state() == Download::State::Downloading;
    switch (index.column()) {
    case FilenameColumn: return download.fileName;
    case PercentColumn:
        return downloading ? DownloadProgress::percentText(download.received, download.total) : QString();
    case RateColumn: return download.rate ? DownloadProgress::rateText(*download.rate) : QString();
    case StatusColumn: return statusText(download);
    case ReceivedColumn: return downloading ? formatSize(download.received) : QString();
    case TotalColumn: return download.sizeKnown ? formatSize(download.total) : QString();
    case NicknameColumn: return download.peerNick;
    case IdColumn: return QString::number(download.slot);
    default: return {};
    }
}

QString DownloadListModel::statusText(const Download &download)
{
    switch (download.state.state()) {
    case Download::State::Connecting: return QStringLiteral("Connecting...");
    case Download::State::GettingInfo: return QStringLiteral("Getting Info...");
    case Download::State::Requesting: return QStringLiteral("Requesting...");
    case Download::State::Queued:
        return QLatin1String("Queued (") + QString::number(download.state.queuePosition()) + QLatin1Char(')');
    case Download::State::Downloading: return QStringLiteral("Downloading...");
    default: return {};
    }
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QLatin1String(Captions[section]);
}

void DownloadListModel::append(std::unique_ptr<Download> download)
{
    const int position = rowCount();
    beginInsertRows({}, position, position);
    m_byId.insert(download->id, download.get());
    m_downloads.push_back(std::move(download));
    endInsertRows();
}

int DownloadListModel::rowOf(int id) const
{
    for (size_t row = 0; row < m_downloads.size(); ++row) {
        if (m_downloads[row]->id == id)
            return static_cast<int>(row);
    }
    return -1;
}

Download *DownloadListModel::find(int id)
{
    return m_byId.value(id);
}

const Download *DownloadListModel::find(int id) const
{
    return m_byId.value(id);
}

void DownloadListModel::refresh(int id)
{
    if (!m_byId.contains(id))
        return;
    m_refreshed.insert(id);
    m_refreshTimer.start();
}

void DownloadListModel::announceRefreshed()
{
    int first = -1;
    int last = -1;
    for (size_t row = 0; row < m_downloads.size() && !m_refreshed.isEmpty(); ++row) {
        if (m_refreshed.remove(m_downloads[row]->id)) {
            first = first < 0 ? static_cast<int>(row) : first;
            last = static_cast<int>(row);
        }
    }
    m_refreshed.clear();
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1), {Qt::DisplayRole});
}

std::unique_ptr<Download> DownloadListModel::take(int id)
{
    const int row = rowOf(id);
    if (row < 0)
        return nullptr;
    beginRemoveRows({}, row, row);
    std::unique_ptr<Download> download = std::move(m_downloads[static_cast<size_t>(row)]);
    m_downloads.erase(m_downloads.begin() + row);
    m_byId.remove(id);
    m_refreshed.remove(id);
    endRemoveRows();
    return download;
}
