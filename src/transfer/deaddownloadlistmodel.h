#pragma once

#include "transfer/download.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// The ended downloads, newest last, as the Downloads tab shows them. The
// table owns them until it is cleared; their texts are made here from
// their state.
class DeadDownloadListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeadDownloadListModel)

public:
    enum Column { LocalFilenameColumn, StatusColumn, ColumnCount };

    explicit DeadDownloadListModel(QObject *parent = nullptr);
    ~DeadDownloadListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Appends an ended download; returns its row.
    int append(std::unique_ptr<Download> download);
    const Download &at(int row) const { return *m_downloads.at(static_cast<size_t>(row)); }
    // The row of a download, or -1.
    int rowOf(int id) const;
    // Takes an entry out of the table; null when there is none with this id.
    std::unique_ptr<Download> take(int id);
    void clear();
    // The port every peer listens on, for the words of a failed connection.
    void setPeerPort(std::function<int()> port) { m_peerPort = std::move(port); }
    // For a download that ended unfinished: what happened and what to try;
    // empty for a finished or cancelled one.
    QString explanation(const Download &download) const;
    // "verified" with the digest's first 16 hex digits, or "not verified"
    // and why, for a finished download or one whose digest differed; empty
    // for any other.
    static QString verificationText(const Download &download);
    static QString statusText(const Download &download);

private:
    static QString localName(const Download &download);
    QString toolTip(const Download &download) const;

    std::vector<std::unique_ptr<Download>> m_downloads;
    // The row of each entry; an entry taken out renumbers the ones after it.
    QHash<int, int> m_rows;
    std::function<int()> m_peerPort;
};
