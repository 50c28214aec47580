#include "transfer/deaddownloadlistmodel.h"

DeadDownloadListModel::DeadDownloadListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int DeadDownloadListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int DeadDownloadListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeadDownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const Entry &entry = m_entries.at(index.row());
    if (role == Qt::ToolTipRole && index.column() == StatusColumn && !entry.toolTip.isEmpty())
        return entry.toolTip;
    if (role != Qt::DisplayRole)
        return {};
    return index.column() == StatusColumn ? entry.status : entry.text;
}

QVariant DeadDownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == LocalFilenameColumn)
        return QStringLiteral("Local Filename");
    return section == StatusColumn ? QStringLiteral("Status") : QVariant();
}

int DeadDownloadListModel::append(const Entry &entry)
{
    const int position = static_cast<int>(m_entries.size());
    beginInsertRows({}, position, position);
    m_entries.append(entry);
    endInsertRows();
    emit entryAdded(position);
    return position;
}

void DeadDownloadListModel::setStatus(int row, const QString &status, const QString &toolTip)
{
    if (row < 0 || row >= m_entries.size())
        return;
    m_entries[row].status = status;
    m_entries[row].toolTip = toolTip;
    emit dataChanged(index(row, StatusColumn), index(row, StatusColumn));
}

void DeadDownloadListModel::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}
