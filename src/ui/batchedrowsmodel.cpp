#include "ui/batchedrowsmodel.h"

#include <algorithm>

BatchedRowsModel::BatchedRowsModel(QAbstractItemModel &source, QObject *parent)
    : QAbstractTableModel(parent)
    , m_source(source)
    , m_shown(source.rowCount())
{
    m_appendTimer.setSingleShot(true);
    m_appendTimer.setInterval(0);
    connect(&m_appendTimer, &QTimer::timeout, this, &BatchedRowsModel::showAppended);
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
    connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
    connect(&source, &QAbstractItemModel::rowsRemoved, this, &BatchedRowsModel::onRowsRemoved);
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this, &BatchedRowsModel::beginResetModel);
    connect(&source, &QAbstractItemModel::modelReset, this, &BatchedRowsModel::onReset);
    // The source models never reorder rows; a layout change is shown as a new table.
    connect(&source, &QAbstractItemModel::layoutAboutToBeChanged, this, &BatchedRowsModel::beginResetModel);
    connect(&source, &QAbstractItemModel::layoutChanged, this, &BatchedRowsModel::onReset);
    connect(&source, &QAbstractItemModel::dataChanged, this, &BatchedRowsModel::onDataChanged);
    connect(&source, &QAbstractItemModel::headerDataChanged, this, &BatchedRowsModel::headerDataChanged);
}

int BatchedRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int BatchedRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_source.columnCount();
}

QVariant BatchedRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    return m_source.data(m_source.index(index.row(), index.column()), role);
}

QVariant BatchedRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_source.headerData(section, orientation, role);
}

Qt::ItemFlags BatchedRowsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return Qt::NoItemFlags;
    return m_source.flags(m_source.index(index.row(), index.column()));
}

void BatchedRowsModel::onRowsInserted(int first, int last)
{
    if (first >= m_shown) {
        m_appendTimer.start();
        return;
    }
    // Rows put among the shown ones are shown at once, or the rows after
    // them would change their numbers unannounced.
    beginInsertRows({}, first, last);
    m_shown += last - first + 1;
    endInsertRows();
}

void BatchedRowsModel::onRowsAboutToBeRemoved(int first, int last)
{
    m_removing = first < m_shown ? std::min(last, m_shown - 1) - first + 1 : 0;
    if (m_removing > 0)
        beginRemoveRows({}, first, first + m_removing - 1);
}

void BatchedRowsModel::onRowsRemoved()
{
    if (m_removing == 0)
        return;
    m_shown -= m_removing;
    m_removing = 0;
    endRemoveRows();
}

void BatchedRowsModel::onReset()
{
    m_appendTimer.stop();
    m_shown = m_source.rowCount();
    endResetModel();
}

void BatchedRowsModel::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                     const QList<int> &roles)
{
    const int last = std::min(bottomRight.row(), m_shown - 1);
    if (topLeft.row() <= last)
        emit dataChanged(index(topLeft.row(), topLeft.column()), index(last, bottomRight.column()), roles);
}

void BatchedRowsModel::showAppended()
{
    const int available = m_source.rowCount();
    if (available <= m_shown)
        return;
    beginInsertRows({}, m_shown, available - 1);
    m_shown = available;
    endInsertRows();
    emit rowsAppended(available - 1);
}
