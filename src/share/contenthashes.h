#pragma once

#include "common/hashingprogress.h"
#include "share/digesttable.h"
#include "share/hashcachefile.h"
#include "share/hashingpass.h"
#include "share/hashlookup.h"
#include "share/indexsnapshot.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>

// Full-content digests of every shared file, computed in the background and
// kept across runs in a cache file in the program folder.
//
// Each finished index walk is handed to hashIndex(); a worker thread at the
// lowest priority then hashes the files without a current digest. The event
// loop only starts passes and reads two counters for progress, never does
// per-file work. An index handed over while a pass runs waits for that pass,
// so a long file is never abandoned half read; only the latest one waits.
class ContentHashes final : public QObject, public HashLookup
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContentHashes)

public:
    static constexpr int ProgressIntervalMs = 1000;
    static constexpr char CacheFileName[] = "contenthashes.cache";

    explicit ContentHashes(const QString &programFolder, QObject *parent = nullptr);
    ~ContentHashes() override;

    // Cheap and safe from any thread: one stat of the file and a lookup.
    QByteArray knownHash(const QString &filePath) const override;

    void hashIndex(std::shared_ptr<const IndexSnapshot> index);
    // Ends the pass under way at its next block, waits for it and its cache
    // write; later indexes are not hashed.
    void stop();

    bool isHashing() const { return m_running; }
    // The bytes of the running pass; an empty progress between passes.
    HashingProgress progress() const;
    const QString &cacheFilePath() const { return m_cacheFile.path(); }

signals:
    // Every ProgressIntervalMs while a pass has files to hash.
    void progressChanged(const HashingProgress &progress);
    // The progress shown is over: hashing finished.
    void progressDone();
    // A pass ended and no index waits.
    void hashingFinished();

private:
    void startPass(std::shared_ptr<const IndexSnapshot> index);
    void finishPass();
    void showProgress();

    DigestTable m_table;
    const HashCacheFile m_cacheFile;
    HashingPass::Counters m_counters;
    std::atomic<bool> m_stopping{false};
    HashingPass m_pass;
    std::shared_ptr<const IndexSnapshot> m_waitingIndex;
    quint32 m_passNumber = 0;
    bool m_running = false;
    bool m_progressShown = false;
    QTimer m_progressTimer;
    // Destroyed first; the destructor has waited for the pass by then.
    QThreadPool m_pool;
    QFutureWatcher<void> m_watcher;
};
