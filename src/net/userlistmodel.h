#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

class BlockedList;
class ControlConnections;

// The visible peer table: one row per control link whose peer has told its
// nickname, rebuilt from the connection records after every change. It keeps
// the selected peer (by address) and the chosen sort across rebuilds.
class UserListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UserListModel)

public:
    enum Column { UsernameColumn = 0, FilesColumn = 1, ColumnCount };
    enum Role {
        AddressRole = Qt::UserRole,   // QString: the peer's address, the row's key
        BlockIconRole,                // int, a BlockIcon
    };
    enum BlockIcon { NoIcon = 0, BlockedByPeerIcon = 1, BlockedByUsIcon = 2 };

    UserListModel(ControlConnections &connections, const BlockedList &blocked, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Stable; the order is kept for later rebuilds.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void rebuildUserList();
    // A rebuild soon: however many changes ask for one meanwhile, one runs.
    void scheduleRebuild();
    static constexpr int RebuildDelayMs = 50;

    QString address(int row) const;
    BlockIcon blockIcon(int row) const;
    // The view reports the person's choice here; empty for no selection.
    QString selectedAddress() const { return m_selectedAddress; }
    void setSelectedAddress(const QString &address) { m_selectedAddress = address; }
    // The row of the selected peer, or -1 when none is selected or it is gone.
    int selectedRow() const;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

signals:
    // After a rebuild or a sort: the view selects this row (-1: none).
    void selectionRestored(int row);
    // The table was rebuilt from the records.
    void rebuilt();

private:
    struct Row {
        QByteArray nickname;
        QByteArray sharedCount;
        QString address;
        BlockIcon icon = NoIcon;
    };

    bool lessThan(const Row &a, const Row &b) const;
    void sortRows(QList<Row> &rows) const;

    ControlConnections &m_connections;
    const BlockedList &m_blocked;
    QList<Row> m_rows;
    QString m_selectedAddress;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTimer m_rebuildTimer;
};
