#include "net/userlistmodel.h"

#include "net/blockedlist.h"
#include "net/controlconnections.h"
#include "net/socketelement.h"

#include <algorithm>
#include <numeric>

UserListModel::UserListModel(ControlConnections &connections, const BlockedList &blocked, QObject *parent)
    : QAbstractTableModel(parent)
    , m_connections(connections)
    , m_blocked(blocked)
{
    m_rebuildTimer.setSingleShot(true);
    m_rebuildTimer.setInterval(RebuildDelayMs);
    connect(&m_rebuildTimer, &QTimer::timeout, this, &UserListModel::rebuildUserList);
}

int UserListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int UserListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UserListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Row &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromUtf8(index.column() == UsernameColumn ? row.nickname : row.sharedCount);
    case AddressRole:
        return row.address;
    case BlockIconRole:
        return int(row.icon);
    default:
        return {};
    }
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case UsernameColumn:
        return QStringLiteral("Username");
    case FilesColumn:
        return QStringLiteral("Files");
    default:
        return {};
    }
}

Qt::ItemFlags UserListModel::flags(const QModelIndex &index) const
{
    // Rows are never edited in place.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void UserListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> permutation(static_cast<size_t>(m_rows.size()));
    std::iota(permutation.begin(), permutation.end(), 0);
    std::stable_sort(permutation.begin(), permutation.end(),
                     [this](int a, int b) { return lessThan(m_rows[a], m_rows[b]); });
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(permutation.size());
    for (size_t i = 0; i < permutation.size(); ++i) {
        sorted.append(m_rows[permutation[i]]);
        newRowOf[static_cast<size_t>(permutation[i])] = static_cast<int>(i);
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit selectionRestored(selectedRow());
}

void UserListModel::scheduleRebuild()
{
    if (!m_rebuildTimer.isActive())
        m_rebuildTimer.start();
}

void UserListModel::rebuildUserList()
{
    m_rebuildTimer.stop();
    QList<Row> rows;
    for (int i = 0; i < m_connections.count(); ++i) {
        if (!m_connections.isControlLink(i))
            continue;
        const ConnectionRecord &record = m_connections.record(i);
        if (record.nickname.isEmpty())
            continue;
        Row row{record.nickname, record.sharedCount, m_connections.element(i)->remoteHostIP(), NoIcon};
        if (!record.peerId.isEmpty()) {
            if (m_blocked.isBlocked(record.peerId))
                row.icon = BlockedByUsIcon;
            else if (record.blockedByPeer)
                row.icon = BlockedByPeerIcon;
        }
        rows.append(row);
    }
    sortRows(rows);

    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();

    // Like a list that lost its selected row, a peer that left is not
    // selected again when it comes back.
    const int selected = selectedRow();
    if (selected < 0)
        m_selectedAddress.clear();
    emit selectionRestored(selected);
    emit rebuilt();
}

QString UserListModel::address(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].address : QString();
}

UserListModel::BlockIcon UserListModel::blockIcon(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].icon : NoIcon;
}

int UserListModel::selectedRow() const
{
    if (m_selectedAddress.isEmpty())
        return -1;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].address == m_selectedAddress)
            return static_cast<int>(i);
    }
    return -1;
}

bool UserListModel::lessThan(const Row &a, const Row &b) const
{
    int result = 0;
    if (m_sortColumn == FilesColumn) {
        // Counts are numbers from any sane peer; whatever else a peer sent
        // sorts after them, as text, so the order stays consistent.
        bool aIsNumber = false;
        bool bIsNumber = false;
        const qlonglong aCount = a.sharedCount.toLongLong(&aIsNumber);
        const qlonglong bCount = b.sharedCount.toLongLong(&bIsNumber);
        if (aIsNumber && bIsNumber)
            result = aCount < bCount ? -1 : (aCount > bCount ? 1 : 0);
        else if (aIsNumber != bIsNumber)
            result = aIsNumber ? -1 : 1;
        else
            result = QString::fromUtf8(a.sharedCount).compare(QString::fromUtf8(b.sharedCount), Qt::CaseInsensitive);
    } else {
        result = QString::fromUtf8(a.nickname).compare(QString::fromUtf8(b.nickname), Qt::CaseInsensitive);
    }
    return m_sortOrder == Qt::AscendingOrder ? result < 0 : result > 0;
}

void UserListModel::sortRows(QList<Row> &rows) const
{
    if (m_sortColumn < 0)
        return;
    std::stable_sort(rows.begin(), rows.end(), [this](const Row &a, const Row &b) { return lessThan(a, b); });
}
