#pragma once

#include <QAbstractTableModel>
#include <QTimer>

// A flat table as a view should see it when rows are appended in bursts:
// rows appended to the end of the source reach the view once per turn of the
// event loop, as one block, so a table of thousands is laid out and
// repainted once per burst instead of once per row. Rows keep the source's
// numbers; everything other than appending is passed on at once.
class BatchedRowsModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatchedRowsModel)

public:
    explicit BatchedRowsModel(QAbstractItemModel &source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // One block of appended rows has been shown; `last` is its last row.
    void rowsAppended(int last);

private:
    void onRowsInserted(int first, int last);
    void onRowsAboutToBeRemoved(int first, int last);
    void onRowsRemoved();
    void onReset();
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);
    void showAppended();

    QAbstractItemModel &m_source;
    // The source's first m_shown rows are this model's rows; any after them
    // wait for the end of the turn.
    int m_shown = 0;
    // Rows being removed that this model shows.
    int m_removing = 0;
    QTimer m_appendTimer;
};
