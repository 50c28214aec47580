#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// The running downloads, one row per transfer, as the Downloads tab shows them.
class DownloadListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadListModel)

public:
    enum Column {
        FilenameColumn,
        PercentColumn,
        RateColumn,
        StatusColumn,
        ReceivedColumn,
        TotalColumn,
        NicknameColumn,
        IdColumn,
        ColumnCount
    };

    struct Row {
        QString fileName;
        QString percent;
        QString rate;
        QString status;
        QString received;
        QString total;
        QString nickname;
        int slot = -1;
        QString address;  // the serving peer the download was started with
    };

    explicit DownloadListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void append(const Row &row);
    // The row of a slot, or -1.
    int findDownloadRow(int slot) const;
    const Row &row(int row) const { return m_rows.at(row); }
    // Sets one column of a slot's row; nothing when the slot has no row.
    void setText(int slot, Column column, const QString &text);
    QString text(int slot, Column column) const;
    // False when the slot had no row.
    bool removeSlot(int slot);

private:
    static QString &field(Row &row, int column);
    static const QString &field(const Row &row, int column);

    QVector<Row> m_rows;
};
