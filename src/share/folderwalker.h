#pragma once

#include "share/indexsnapshot.h"
#include "share/shareboundary.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// Builds an index snapshot from the root folders, on whatever thread calls
// walk(). Depth first, entries in name order with letter case ignored, and a
// folder's own files after those of its sub-folders. Hidden entries, names
// that cannot travel on the wire, links to folders and anything that is not
// a regular file are left out; a link to a regular file inside a root is
// shared under the link's name with its target's size, a link that leads out
// of every root is left out. An entry that cannot be read is skipped
// and the walk goes on.
//
// Every file needs its own stat call, which costs more than the listing, so
// folders are listed by several threads at once; the result is put together
// in walk order afterwards and does not depend on which thread did what.
class FolderWalker final
{
    Q_DISABLE_COPY_MOVE(FolderWalker)

public:
    // The walk ends early, leaving a partial snapshot, once `stop` is set.
    // `found`, when given, counts the files found so far, for another thread
    // to show the walk's progress.
    explicit FolderWalker(const std::atomic<bool> &stop, std::atomic<qint64> *found = nullptr);
    ~FolderWalker();

    // Root n of the result is roots[n - 1]; a root that cannot be listed
    // keeps its number and contributes nothing.
    IndexSnapshot walk(const QStringList &roots);

private:
    struct Listing;
    struct OpenFolder;
    struct Task;

    void runWorker();
    void listFolder(Task &task);
    void pushTasks(std::vector<Task> &tasks);
    static void appendFiles(const Listing &listing, qint32 root, QByteArray &prefix, std::vector<SharedFile> &files);

    const std::atomic<bool> &m_stop;
    std::atomic<qint64> *m_found;
    std::unique_ptr<const ShareBoundary> m_boundary;   // set for the length of a walk
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks;      // taken from the back, so the walk stays depth first
    qint64 m_unfinished = 0;        // tasks queued or being worked on
    std::atomic<qint64> m_fileCount{0};
};
