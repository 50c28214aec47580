#pragma once

#include "transfer/deadlines.h"
#include "transfer/folderdownload.h"
#include "transfer/folderdownloadmodel.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class Downloader;
struct Download;

// Folder and multi-selection downloads. Each file becomes a download of
// its own, but a serving peer never has more than MaxOutstandingPerPeer of
// them asked of it at once from here: the rest wait in their group, so a
// folder of thousands of files neither floods the peer's queue nor uses up
// this side's connections.
class FolderDownloads final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderDownloads)

public:
    static constexpr int MaxOutstandingPerPeer = 4;
    // A browse lists at most a million files; a group takes no more.
    static constexpr int MaxFiles = 1000000;
    // Progress of running files is shown again at most this often.
    static constexpr int RefreshMs = 250;
    // A file whose peer has not told its size this long after it was asked
    // for ends as a timeout, so a peer that never answers frees its place.
    static constexpr int FileInfoTimeoutMs = 30000;

    struct Context {
        std::function<int(const QByteArray &sharedName, const QString &address, const QString &subfolder)> start;
        std::function<void(int id)> cancel;
        // Ends a running download as an error of its transfer connection.
        std::function<void(int id, int number, const QString &description)> abort;
        std::function<const Download *(int id)> find;
    };

    explicit FolderDownloads(Context context, QObject *parent = nullptr);
    ~FolderDownloads() override;

    FolderDownloadModel &model() { return m_model; }
    // Files asked for from now on wait this long for their size.
    void setFileInfoTimeout(int ms) { m_fileInfoTimeoutMs = ms; }
    // Every file of `files` lying below `folder`, from the peer at `address`,
    // into the downloads folder under the folder's name (`rootName` for a
    // shared root). Returns the group's id; -1 when no file is left.
    int startFolder(const QString &address, const QByteArray &folder, std::vector<FolderDownload::File> files,
                    const QString &rootName);
    // The selected files, each from its own peer, into the downloads folder.
    int startSelection(std::vector<FolderDownload::File> files);
    // Ends every file of the group that has not ended: running ones are
    // cancelled (what arrived is parked), waiting ones are never asked for.
    void cancel(int id);
    // Every file of an ended group that did not complete is fetched again
    // from its peer; parked parts are taken over. False when nothing is left.
    bool resume(int id);
    // Groups with nothing running or waiting leave the table.
    void clearEnded();
    // Null when there is no such group.
    const FolderDownload *group(int id) const;
    // The downloads of files that still wait for a place, all groups together.
    int waitingCount() const;

    // A download ended; called for every download, members or not.
    void downloadEnded(int id);
    // Running downloads' rows changed: the groups' rows follow shortly.
    void downloadsChanged();
    // A member whose content failed its check is fetched again as `retryId`:
    // the retry takes its place in the group, and its place at the peer.
    void downloadRetried(int endedId, int retryId);
    // A member's data all arrived and it only waits for its digest: its
    // place at the peer goes to the next file.
    void downloadAwaitsDigest(int id);

signals:
    void groupEnded(int id);

private:
    int add(std::unique_ptr<FolderDownload> group);
    FolderDownload *find(int id);
    // Starts waiting files from `address` while it has room.
    void pump(const QString &address);
    bool startNext(FolderDownload &group, const QString &address);
    // The running downloads of a group, taken before cancelling changes them.
    std::vector<int> membersOf(int groupId) const;
    // groupEnded, once for each time a group ends.
    void reportIfEnded(const FolderDownload &group);
    void onFileInfoOverdue(int id);
    void releasePlace(const QString &address);

    Context m_context;
    std::vector<std::unique_ptr<FolderDownload>> m_groups;
    FolderDownloadModel m_model;
    // Download id to its group and file.
    QHash<int, std::pair<int, int>> m_members;
    QHash<QString, int> m_outstanding;
    // Members that gave their place up before they ended.
    QSet<int> m_placeGiven;
    QSet<int> m_reported;
    QTimer m_refresh;
    // Running members that have not yet told their size, by download id.
    Deadlines m_infoDeadlines;
    int m_fileInfoTimeoutMs = FileInfoTimeoutMs;
    int m_nextId = 1;
};
