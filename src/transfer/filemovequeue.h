#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <deque>

// Moves finished downloads into their folder one after the other, so that a
// copy to another file system never holds the event loop: a rename within
// one file system is done at once when no move waits before it, a copy runs
// on a worker thread. Each move takes the first free numbered name in the
// folder when it starts; moves run one at a time, so two never take the same
// name.
class FileMoveQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileMoveQueue)

public:
    struct Result {
        int id = -1;
        bool moved = false;
        QString destination;  // the full path the file got, when moved
        int number = 0;       // n of "(n) name" when the plain name was taken
        QString error;        // why it was not moved
    };

    explicit FileMoveQueue(QObject *parent = nullptr);
    // A copy under way stops and fails, keeping its source.
    ~FileMoveQueue() override;

    // Moves `source` to `name` in `folder`; finished() tells the outcome,
    // before this returns when a rename did the move.
    void enqueue(int id, const QString &source, const QString &folder, const QString &name);

signals:
    void finished(const FileMoveQueue::Result &result);

private:
    struct Job {
        int id;
        QString source;
        QString folder;
        QString name;
    };

    void startNext();
    void onJobDone();

    std::deque<Job> m_waiting;
    bool m_busy = false;  // from a move's start until its outcome is told
    std::atomic<bool> m_stopping{false};
    // Destroyed before m_stopping, which a running move reads; the
    // destructor waits for it.
    QThreadPool m_pool;
    QFutureWatcher<Result> m_watcher;
};
