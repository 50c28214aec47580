#include "share/contenthashes.h"

#include <QFile>
#include <QtConcurrent>

#include <utility>

ContentHashes::ContentHashes(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , m_cacheFile(programFolder + QLatin1Char('/') + QLatin1String(CacheFileName))
    , m_pass(m_table, m_cacheFile, m_stopping, m_counters)
{
    // One pass at a time, on a thread of its own whose priority it may lower.
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &ContentHashes::finishPass);
    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &ContentHashes::showProgress);
}

ContentHashes::~ContentHashes()
{
    stop();
}

QByteArray ContentHashes::knownHash(const QString &filePath) const
{
    const QByteArray path = QFile::encodeName(filePath);
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    return stamp ? m_table.find(path, *stamp) : QByteArray();
}

void ContentHashes::hashIndex(std::shared_ptr<const IndexSnapshot> index)
{
    if (m_stopping.load())
        return;
    if (m_running)
        m_waitingIndex = std::move(index);
    else
        startPass(std::move(index));
}

void ContentHashes::stop()
{
    m_stopping.store(true);
    m_waitingIndex.reset();
    m_progressTimer.stop();
    m_pool.waitForDone();
}

HashingProgress ContentHashes::progress() const
{
    const qint64 total = m_counters.totalBytes.load();
    // A file that grew while it was read can push the count past the total.
    return {std::min(m_counters.doneBytes.load(), total), total};
}

void ContentHashes::startPass(std::shared_ptr<const IndexSnapshot> index)
{
    m_counters.doneBytes.store(0);
    m_counters.totalBytes.store(0);
    const bool first = m_passNumber == 0;
    const quint32 number = ++m_passNumber;
    m_running = true;
    m_progressTimer.start();
    // The pass holds the index, so a rebuild meanwhile cannot free it.
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [this, index = std::move(index), number, first] {
        m_pass.run(*index, number, first);
    }));
}

void ContentHashes::finishPass()
{
    m_running = false;
    m_counters.totalBytes.store(0);
    m_counters.doneBytes.store(0);
    if (m_waitingIndex && !m_stopping.load()) {
        std::shared_ptr<const IndexSnapshot> index = std::move(m_waitingIndex);
        m_waitingIndex.reset();
        startPass(std::move(index));
        return;
    }
    m_progressTimer.stop();
    // A pass that found everything hashed already leaves the status line alone.
    if (std::exchange(m_progressShown, false))
        emit progressDone();
    emit hashingFinished();
}

void ContentHashes::showProgress()
{
    const HashingProgress now = progress();
    if (!now.isRunning())
        return;
    m_progressShown = true;
    emit progressChanged(now);
}
