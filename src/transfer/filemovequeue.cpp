#include "transfer/filemovequeue.h"

#include "transfer/filemover.h"
#include "transfer/filenaming.h"

#include <QtConcurrent>

FileMoveQueue::FileMoveQueue(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcher<Result>::finished, this, &FileMoveQueue::onJobDone);
}

FileMoveQueue::~FileMoveQueue()
{
    m_stopping.store(true);
    m_pool.waitForDone();
}

void FileMoveQueue::enqueue(int id, const QString &source, const QString &folder, const QString &name)
{
    // A rename costs less than handing the job to the thread and back, which
    // for thousands of small files would be most of their time.
    if (!m_busy) {
        Result result;
        result.id = id;
        result.destination = FileNaming::numberedName(folder, name, &result.number);
        const FileMover::Rename renamed = FileMover::rename(source, result.destination, &result.error);
        if (renamed != FileMover::Rename::OtherFileSystem) {
            result.moved = renamed == FileMover::Rename::Moved;
            emit finished(result);
            return;
        }
    }
    m_waiting.push_back(Job{id, source, folder, name});
    if (!m_busy)
        startNext();
}

void FileMoveQueue::startNext()
{
    m_busy = !m_waiting.empty();
    if (!m_busy)
        return;
    const Job job = m_waiting.front();
    m_waiting.pop_front();
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [job, &stop = m_stopping] {
        Result result;
        result.id = job.id;
        result.destination = FileNaming::numberedName(job.folder, job.name, &result.number);
        result.moved = FileMover::move(job.source, result.destination, &result.error, &stop);
        return result;
    }));
}

void FileMoveQueue::onJobDone()
{
    const Result result = m_watcher.result();
    // The next move starts before the outcome is told, so a handler that
    // enqueues more finds the queue in order.
    startNext();
    emit finished(result);
}
