#pragma once

#include "transfer/download.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

// The running downloads, one row each, as the Downloads tab shows them. The
// table owns them until they end; their texts are made here from their state
// and numbers.
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

    explicit DownloadListModel(QObject *parent = nullptr);
    ~DownloadListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void append(std::unique_ptr<Download> download);
    const Download &at(int row) const { return *m_downloads.at(static_cast<size_t>(row)); }
    // The row of a download, or -1.
    int rowOf(int id) const;
    // Null when the download does not run.
    Download *find(int id);
    const Download *find(int id) const;
    // The download's row shows its fields anew once this turn of the event
    // loop is over: data arriving for many downloads at once, or the rate
    // sample of them all, is told to the views as one change.
    void refresh(int id);
    // The download leaves the table; null when it has no row.
    std::unique_ptr<Download> take(int id);
    static QString statusText(const Download &download);

private:
    void announceRefreshed();

    std::vector<std::unique_ptr<Download>> m_downloads;
    QHash<int, Download *> m_byId;
    QSet<int> m_refreshed;
    QTimer m_refreshTimer;
};
