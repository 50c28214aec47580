#pragma once

#include "transfer/downloadstate.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <deque>
#include <vector>

// A group of downloads started together: every file below a peer's
// folder, or the rows a person selected. The group knows each file's
// place (waiting here, running as a download, ended) and adds up the
// files and bytes done; the downloads themselves run in the Downloader.
class FolderDownload final
{
public:
    struct File {
        QByteArray sharedName;
        QString address;
        qint64 size = -1;  // as listed; -1 when unknown
    };
    struct Entry {
        File file;
        int download = -1;      // the running or last download of this file
        bool ended = false;
        DownloadState outcome;  // once ended
    };
    enum class Status { Running, Complete, Incomplete, Cancelled, DiskFull };

    // `folder` is the shared folder, empty for a selection; `name` what the
    // table shows. A shared name listed twice is taken once.
    FolderDownload(int id, QString name, QByteArray folder, std::vector<File> files,
                   const QString &localFolder);

    int id() const { return m_id; }
    QString name() const { return m_name; }
    QByteArray folder() const { return m_folder; }
    int entryCount() const { return static_cast<int>(m_entries.size()); }
    const Entry &entry(int index) const { return m_entries.at(static_cast<size_t>(index)); }
    // The folder below the downloads folder that receives a file; empty for
    // a selection. Made when asked, so a large folder starts at once.
    QString subfolderOf(int index) const;
    int filesDone() const { return m_filesDone; }
    qint64 bytesDone() const { return m_bytesDone; }
    qint64 bytesTotal() const { return m_bytesTotal; }
    int runningCount() const { return m_running; }
    bool hasWaiting() const;
    Status status() const;
    // The peers files are fetched from.
    QList<QString> addresses() const { return m_waiting.keys(); }

    // The next waiting file from `address`; -1 when none waits or the group stopped.
    int takeWaiting(const QString &address);
    void started(int index, int download);
    // The file's download was replaced by `download`, which fetches it again.
    void retried(int index, int download);
    // The file's download ended as `outcome`; `size` is what it came to.
    void ended(int index, const DownloadState &outcome, qint64 size);
    // Every waiting file from `address` ends as `outcome` without being asked for.
    void endWaiting(const QString &address, const DownloadState &outcome);
    // No more files start: waiting ones end cancelled, or as the disk filled.
    void stop(Status why);
    // Every file that did not complete waits again; false when none is left.
    bool restart();

private:
    int m_id;
    QString m_name;
    QByteArray m_folder;
    QString m_localFolder;
    std::vector<Entry> m_entries;
    QHash<QString, std::deque<int>> m_waiting;
    int m_filesDone = 0;
    int m_running = 0;
    qint64 m_bytesDone = 0;
    qint64 m_bytesTotal = 0;
    Status m_stopped = Status::Running;
};
