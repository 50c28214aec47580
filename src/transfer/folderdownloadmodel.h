#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <memory>
#include <vector>

class FolderDownload;
struct Download;

// The folder downloads of the Downloads tab as a tree: one row per group
// with its files and bytes done, its files below it. The groups belong to
// FolderDownloads; this only shows them.
class FolderDownloadModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderDownloadModel)

public:
    enum Column { NameColumn, FilesColumn, ReceivedColumn, StatusColumn, ColumnCount };
    enum Role {
        GroupIdRole = Qt::UserRole,  // int: the group's id, on every row of it
    };

    FolderDownloadModel(const std::vector<std::unique_ptr<FolderDownload>> &groups,
                        std::function<const Download *(int)> findDownload, QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The group's row number; -1 when it has none.
    int rowOf(int groupId) const;

    void beginAddGroup();
    void endAddGroup();
    void beginRemoveGroup(int row);
    void endRemoveGroup();
    void groupChanged(int groupId);
    void entryChanged(int groupId, int entry);
    // The rows of running files and their groups show their progress anew.
    void refreshRunning();

private:
    QString groupText(const FolderDownload &group, int column) const;
    QString entryText(const FolderDownload &group, int entry, int column) const;
    qint64 receivedOf(const FolderDownload &group) const;

    const std::vector<std::unique_ptr<FolderDownload>> &m_groups;
    std::function<const Download *(int)> m_findDownload;
};
