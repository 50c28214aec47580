#pragma once

#include "share/filestamp.h"

#include <QtGlobal>
#include <atomic>
#include <vector>

class DigestTable;
class HashCacheFile;
class IndexSnapshot;

// One pass of the background hashing, run on a worker thread: finds the
// shared files of an index that have no digest for their current stamp,
// hashes them one by one into the table, drops entries of files no longer
// shared, and keeps the cache file up to date.
class HashingPass final
{
    Q_DISABLE_COPY_MOVE(HashingPass)

public:
    // While a long pass runs the cache is written this often, so a crash
    // loses at most this much work.
    static constexpr int SaveIntervalMs = 60000;

    struct Counters
    {
        std::atomic<qint64> doneBytes{0};
        std::atomic<qint64> totalBytes{0};   // set once the files to hash are known
    };

    HashingPass(DigestTable &table, const HashCacheFile &cacheFile, const std::atomic<bool> &stop,
                Counters &counters);

    // `number` marks the entries this pass finds current; `loadCache` fills
    // the table from the cache file first.
    void run(const IndexSnapshot &index, quint32 number, bool loadCache);

private:
    struct PendingFile
    {
        size_t position;   // in the index's files
        qint64 size;
    };

    std::vector<PendingFile> findUnhashed(const IndexSnapshot &index, quint32 number);
    // Lowest processor and disk priority for the calling thread, so uploads
    // and the event loop go first.
    static void lowerThreadPriority();

    DigestTable &m_table;
    const HashCacheFile &m_cacheFile;
    const std::atomic<bool> &m_stop;
    Counters &m_counters;
};
