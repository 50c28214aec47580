#include "transfer/downloadlistmodel.h"

namespace {

const char *const Captions[] = {"Filename", "%", "KB/s", "Status", "Received", "Total", "Nickname", "ID"};

} // namespace

DownloadListModel::DownloadListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int DownloadListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DownloadListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole)
        return {};
    const Row &entry = m_rows.at(index.row());
    if (index.column() == IdColumn)
        return QString::number(entry.slot);
    return field(entry, index.column());
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QLatin1String(Captions[section]);
}

void DownloadListModel::append(const Row &row)
{
    const int position = static_cast<int>(m_rows.size());
    beginInsertRows({}, position, position);
    m_rows.append(row);
    endInsertRows();
}

int DownloadListModel::findDownloadRow(int slot) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).slot == slot)
            return i;
    }
    return -1;
}

void DownloadListModel::setText(int slot, Column column, const QString &text)
{
    const int position = findDownloadRow(slot);
    if (position < 0 || column == IdColumn)
        return;
    QString &target = field(m_rows[position], column);
    if (target == text)
        return;
    target = text;
    const QModelIndex changed = index(position, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

QString DownloadListModel::text(int slot, Column column) const
{
    const int position = findDownloadRow(slot);
    if (position < 0)
        return {};
    return data(index(position, column)).toString();
}

bool DownloadListModel::removeSlot(int slot)
{
    const int position = findDownloadRow(slot);
    if (position < 0)
        return false;
    beginRemoveRows({}, position, position);
    m_rows.removeAt(position);
    endRemoveRows();
    return true;
}

QString &DownloadListModel::field(Row &row, int column)
{
    return const_cast<QString &>(field(static_cast<const Row &>(row), column));
}

const QString &DownloadListModel::field(const Row &row, int column)
{
    switch (column) {
    case PercentColumn: return row.percent;
    case RateColumn: return row.rate;
    case StatusColumn: return row.status;
    case ReceivedColumn: return row.received;
    case TotalColumn: return row.total;
    case NicknameColumn: return row.nickname;
    default: return row.fileName;
    }
}
