#include "share/hashingpass.h"

#include "base/logcategories.h"
#include "share/digesttable.h"
#include "share/filehasher.h"
#include "share/hashcachefile.h"
#include "share/indexsnapshot.h"

#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int LowestNice = 19;
// ioprio_set(2): the idle class, for the calling thread.
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioIdleClass = 3;
constexpr int IoprioClassShift = 13;

} // namespace

HashingPass::HashingPass(DigestTable &table, const HashCacheFile &cacheFile, const std::atomic<bool> &stop,
                         Counters &counters)
    : m_table(table)
    , m_cacheFile(cacheFile)
    , m_stop(stop)
    , m_counters(counters)
{
}

void HashingPass::lowerThreadPriority()
{
    // Both act on the calling thread alone; where the kernel refuses, the
    // pass still runs, only at normal priority.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), LowestNice);
    ::syscall(SYS_ioprio_set, IoprioWhoProcess, 0, IoprioIdleClass << IoprioClassShift);
}

void HashingPass::run(const IndexSnapshot &index, quint32 number, bool loadCache)
{
    lowerThreadPriority();
    if (loadCache)
        m_cacheFile.load(m_table);
    const qsizetype before = m_table.size();
    const std::vector<PendingFile> pending = findUnhashed(index, number);
    if (m_stop.load())
        return;
    // Entries of files that left the shares go; the cache would grow otherwise.
    m_table.removeUnseen(number);
    bool unsaved = m_table.size() != before || !pending.empty();
    qint64 total = 0;
    for (const PendingFile &file : pending)
        total += file.size;
    m_counters.totalBytes.store(total);
    qCInfo(lcShare) << "hashing" << pending.size() << "shared files," << total << "bytes";

    FileHasher hasher(m_stop, &m_counters.doneBytes);
    QElapsedTimer sinceSave;
    sinceSave.start();
    for (const PendingFile &file : pending) {
        if (m_stop.load())
            break;
        const QString path = index.fullPath(index.files[file.position]);
        const FileHasher::Result result = hasher.hash(path);
        if (!result.digest.isEmpty())
            m_table.insert(QFile::encodeName(path), result.stamp, result.digest, number);
        if (sinceSave.elapsed() >= SaveIntervalMs) {
            m_cacheFile.save(m_table);
            sinceSave.restart();
        }
    }
    if (unsaved && !m_cacheFile.save(m_table))
        qCWarning(lcShare) << "cannot write the hash cache" << m_cacheFile.path();
}

std::vector<HashingPass::PendingFile> HashingPass::findUnhashed(const IndexSnapshot &index, quint32 number)
{
    std::vector<PendingFile> pending;
    for (size_t position = 0; position < index.files.size() && !m_stop.load(std::memory_order_relaxed); ++position) {
        const QByteArray path = QFile::encodeName(index.fullPath(index.files[position]));
        const std::optional<FileStamp> stamp = FileStamp::of(path);
        if (stamp && !m_table.markCurrent(path, *stamp, number))
            pending.push_back({position, stamp->size});
    }
    return pending;
}
