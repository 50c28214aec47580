#pragma once

#include "net/blockedlist.h"

#include <QAbstractTableModel>
#include <QList>

// The blocked users as the options dialog edits them: a copy of the blocked
// list that reaches the program only when the dialog is confirmed. Cells are
// never edited in place.
class BlockIdModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BlockIdModel)

public:
    enum Column { UniqueId, LastSeenNickname, ColumnCount };

    explicit BlockIdModel(QObject *parent = nullptr);

    const QList<BlockedList::Row> &rows() const { return m_rows; }
    void setRows(const QList<BlockedList::Row> &rows);
    // Every row with this identifier gives way to one new row without a nickname.
    void addIdentifier(const QByteArray &id);
    void removeRow(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QList<BlockedList::Row> m_rows;
};
