// Full-content hashing of shared files: the hasher's speed next to
// `sha256sum` and `b3sum` on the same 1 GiB file in one run, then a share of
// 100,000 files hashed in the background while the event loop is timed and
// the resident memory watched.
//
//   bench_hashing [parent-folder]     (default: the system's temporary folder)
//
// The file and the tree are made below the parent folder and removed again.
// The speeds are taken with the file in the page cache, so they compare the
// digest code, not the disk.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "share/contenthashes.h"
#include "share/filehasher.h"
#include "share/sharedindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 BigFileBytes = qint64(1) << 30;
constexpr int Repeats = 3;
constexpr int ToolTimeoutMs = 120000;
constexpr double TargetRatio = 0.9;
constexpr qint64 UploadFileBytes = qint64(256) << 20;

constexpr int TreeFolders = 100;
constexpr int FilesPerFolder = 1000;
constexpr int TreeFiles = TreeFolders * FilesPerFolder;
constexpr int TreeFileBytes = 1024;
constexpr int PassTimeoutMs = 600000;
constexpr double TargetStallMs = 50.0;
constexpr double TargetMemoryMiB = 64.0;

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double mibPerSecond(qint64 bytes, double seconds)
{
    return static_cast<double>(bytes) / (1 << 20) / seconds;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// Pseudo-random bytes, so no tool can take a shortcut on repeated content.
bool writeRandomFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9e3779b97f4a7c15ull;
    for (qint64 written = 0; written < size; written += block.size()) {
        for (qsizetype i = 0; i + 8 <= block.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(block.data() + i, &state, 8);
        }
        if (file.write(block) != block.size())
            return false;
    }
    return file.flush();
}

// Reads the file once, so every timed run finds it in the page cache.
void warm(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (file.read(block.data(), block.size()) > 0) {
    }
}

// Best seconds of `tool` over the file, or a negative value when it failed.
double timeTool(const QString &tool, const QString &path)
{
    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < Repeats; ++round) {
        warm(path);
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(tool, {path});
        if (!process.waitForFinished(ToolTimeoutMs) || process.exitCode() != 0)
            return -1;
        best = std::min(best, seconds(timer));
    }
    return best;
}

double timeHasher(const QString &path, QByteArray &digest)
{
    const std::atomic<bool> stop{false};
    FileHasher hasher(stop);
    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < Repeats; ++round) {
        warm(path);
        QElapsedTimer timer;
        timer.start();
        digest = hasher.hash(path).digest;
        best = std::min(best, seconds(timer));
    }
    return digest.isEmpty() ? -1 : best;
}

// Drops the file's pages, so the next read comes from the disk.
void evict(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// MiB/s of reading the file from the disk in the 64 KiB blocks an upload
// sends, or a negative value.
double uploadReadRate(const QString &path)
{
    evict(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    QByteArray block(64 << 10, Qt::Uninitialized);
    QElapsedTimer timer;
    timer.start();
    qint64 total = 0;
    for (qint64 got; (got = file.read(block.data(), block.size())) > 0;)
        total += got;
    return mibPerSecond(total, seconds(timer));
}

// An upload's reads from the disk alone, then while the background hashing
// reads another file from the disk.
void benchUploadReads(const QTemporaryDir &work, const QString &hashedPath)
{
    const QString uploaded = work.filePath(QStringLiteral("uploaded.bin"));
    if (!writeRandomFile(uploaded, UploadFileBytes)) {
        std::printf("cannot write the uploaded file\n");
        return;
    }
    const double alone = uploadReadRate(uploaded);
    auto index = std::make_shared<IndexSnapshot>();
    index->roots << work.path();
    index->files.push_back(IndexSnapshot::makeFile("one-gib.bin", BigFileBytes, 1));
    ContentHashes hashes(work.path());
    evict(hashedPath);
    QEventLoop loop;
    QObject::connect(&hashes, &ContentHashes::hashingFinished, &loop, &QEventLoop::quit);
    hashes.hashIndex(index);
    const double alongside = uploadReadRate(uploaded);
    const bool overlapped = hashes.isHashing();
    QTimer::singleShot(PassTimeoutMs, &loop, &QEventLoop::quit);
    if (hashes.isHashing())
        loop.exec();
    std::printf("upload reads from the disk, 64 KiB blocks, %lld MiB:\n", static_cast<long long>(UploadFileBytes >> 20));
    std::printf("  alone                        %8.1f MiB/s\n", alone);
    std::printf("  while hashing runs           %8.1f MiB/s  (%.0f %% of alone%s)\n", alongside, 100 * alongside / alone,
                overlapped ? "" : "; hashing ended before the reads did");
}

void benchSpeed(const QString &parent)
{
    QTemporaryDir work(parent + QStringLiteral("/bench_hashing-XXXXXX"));
    const QString path = work.filePath(QStringLiteral("one-gib.bin"));
    if (!work.isValid() || !writeRandomFile(path, BigFileBytes)) {
        std::printf("cannot write a 1 GiB file below %s\n", qPrintable(parent));
        return;
    }
    QByteArray digest;
    const double own = timeHasher(path, digest);
    const double reference = timeTool(QStringLiteral("sha256sum"), path);
    if (own < 0 || reference < 0) {
        std::printf("hashing the 1 GiB file failed\n");
        return;
    }
    std::printf("1 GiB file, page-cached, best of %d:\n", Repeats);
    std::printf("  sha256sum                    %8.1f MiB/s\n", mibPerSecond(BigFileBytes, reference));
    if (!QStandardPaths::findExecutable(QStringLiteral("b3sum")).isEmpty()) {
        const double blake3 = timeTool(QStringLiteral("b3sum"), path);
        if (blake3 > 0)
            std::printf("  b3sum                        %8.1f MiB/s\n", mibPerSecond(BigFileBytes, blake3));
    } else {
        std::printf("  b3sum                        not installed\n");
    }
    const double ratio = reference / own;
    std::printf("  FileHasher (SHA-256)         %8.1f MiB/s  %.2f x sha256sum  (target >= %.1f: %s)\n",
                mibPerSecond(BigFileBytes, own), ratio, TargetRatio, ratio >= TargetRatio ? "met" : "MISSED");
    benchUploadReads(work, path);
}

bool makeTree(const QString &root)
{
    QByteArray content(TreeFileBytes, 'x');
    for (int folder = 0; folder < TreeFolders; ++folder) {
        const QByteArray folderPath = QFile::encodeName(root) + "/Album " + QByteArray::number(folder);
        if (::mkdir(folderPath.constData(), 0755) != 0)
            return false;
        for (int file = 0; file < FilesPerFolder; ++file) {
            const QByteArray name = folderPath + "/Track " + QByteArray::number(file) + " - a song title.mp3";
            std::memcpy(content.data(), name.constData() + name.size() - 16, 16);
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            const bool written = fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size();
            if (fd >= 0)
                ::close(fd);
            if (!written)
                return false;
        }
    }
    return true;
}

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct PassFigures
{
    double seconds = -1;
    double longestGapMs = 0;
    double longestBusyMs = 0;
    qint64 peakResidentAbove = 0;
};

// Runs one background pass over the index with a 1 ms timer on the event
// loop. The longest gap between its ticks is the longest the loop was held
// in wall time, which on a loaded machine includes time the scheduler gave
// to other processes; the main thread's own processor time in that gap is
// what the program itself held it for.
PassFigures timePass(ContentHashes &hashes, const std::shared_ptr<const IndexSnapshot> &index, qint64 baseline)
{
    PassFigures figures;
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer sinceTick;
    qint64 cpuAtTick = threadCpuNanoseconds();
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 cpu = threadCpuNanoseconds();
        figures.longestGapMs = std::max(figures.longestGapMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        figures.longestBusyMs = std::max(figures.longestBusyMs, static_cast<double>(cpu - cpuAtTick) / 1e6);
        figures.peakResidentAbove = std::max(figures.peakResidentAbove, residentBytes() - baseline);
        cpuAtTick = threadCpuNanoseconds();
        sinceTick.restart();
    });
    QObject::connect(&hashes, &ContentHashes::hashingFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(PassTimeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    tick.start(1);
    hashes.hashIndex(index);
    loop.exec();
    if (!hashes.isHashing())
        figures.seconds = seconds(timer);
    return figures;
}

void reportPass(const char *what, const PassFigures &figures)
{
    if (figures.seconds < 0) {
        std::printf("  %s did not finish\n", what);
        return;
    }
    const double memoryMiB = static_cast<double>(figures.peakResidentAbove) / (1 << 20);
    std::printf("  %s: %.2f s\n", what, figures.seconds);
    std::printf("    event loop held             %5.1f ms at most (target <= %.0f: %s); longest wall-clock gap %.1f ms\n",
                figures.longestBusyMs, TargetStallMs, figures.longestBusyMs <= TargetStallMs ? "met" : "MISSED",
                figures.longestGapMs);
    std::printf("    resident memory above index +%5.1f MiB at most (target < %.0f: %s)\n", memoryMiB, TargetMemoryMiB,
                memoryMiB < TargetMemoryMiB ? "met" : "MISSED");
}

void benchShare(const QString &parent)
{
    QTemporaryDir work(parent + QStringLiteral("/bench_hashing-XXXXXX"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    if (!work.isValid() || !QDir().mkpath(tree) || !makeTree(tree)) {
        std::printf("cannot build the tree below %s\n", qPrintable(parent));
        return;
    }
    SettingsStore settings(work.filePath(QStringLiteral("user.ini")), work.filePath(QStringLiteral("machine.ini")));
    settings.set(QLatin1String(SettingNames::DownloadsFolder), tree.toUtf8());
    SharedIndex index(settings, work.path());
    QEventLoop walk;
    QObject::connect(&index, &SharedIndex::rebuilt, &walk, &QEventLoop::quit);
    index.loadSharedFolders();
    walk.exec();
    if (index.count() != TreeFiles) {
        std::printf("the index found %lld files\n", static_cast<long long>(index.count()));
        return;
    }
    const qint64 baseline = residentBytes();
    std::printf("%d files of %d bytes, indexed (resident %.1f MiB):\n", TreeFiles, TreeFileBytes,
                static_cast<double>(baseline) / (1 << 20));
    {
        ContentHashes hashes(work.path());
        reportPass("first pass, all hashed", timePass(hashes, index.snapshot(), baseline));
    }
    ContentHashes restarted(work.path());
    reportPass("after a restart, from cache", timePass(restarted, index.snapshot(), baseline));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    benchSpeed(parent);
    benchShare(parent);
    return 0;
}
