#include "shell/blockidmodel.h"

BlockIdModel::BlockIdModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void BlockIdModel::setRows(const QList<BlockedList::Row> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void BlockIdModel::addIdentifier(const QByteArray &id)
{
    for (int row = rowCount() - 1; row >= 0; --row) {
        if (m_rows[row].id == id)
            removeRow(row);
    }
    beginInsertRows({}, rowCount(), rowCount());
    m_rows.append({id, {}});
    endInsertRows();
}

void BlockIdModel::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

int BlockIdModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int BlockIdModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BlockIdModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const BlockedList::Row &row = m_rows[index.row()];
    return QString::fromUtf8(index.column() == UniqueId ? row.id : row.nickname);
}

QVariant BlockIdModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == UniqueId ? QStringLiteral("Unique ID") : QStringLiteral("Last Seen on Nickname...");
}

Qt::ItemFlags BlockIdModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
