// Indexing speed against `find` on the same tree, measured side by side, and
// what the index costs in memory per file beyond its path text.
//
//   bench_index [parent-folder]     (default: the system's temporary folder)
//
// The tree (100,000 empty files in 3,040 folders) is made below the parent
// folder and removed again at the end.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "share/indexsnapshot.h"
#include "share/sharedindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TopFolders = 40;
constexpr int SubFoldersEach = 75;
constexpr int FilesPerSubFolder = 33;
constexpr int FilesPerTopFolder = 25;
constexpr qint64 TreeFiles = qint64(TopFolders) * (SubFoldersEach * FilesPerSubFolder + FilesPerTopFolder);
constexpr int Repeats = 3;
constexpr int WalkTimeoutMs = 120000;
constexpr qint64 SyntheticRows = 1000000;

constexpr double TargetRatio = 2.0;
constexpr double TargetBytesPerFile = 300.0;

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    // Large blocks, such as the table itself, are mapped apart from the heap.
    return static_cast<qint64>(info.uordblks + info.hblkhd);
}

bool makeTree(const QString &root)
{
    const QByteArray base = QFile::encodeName(root);
    const auto touch = [](const QByteArray &path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    };
    for (int top = 0; top < TopFolders; ++top) {
        const QByteArray topPath = base + "/Artist " + QByteArray::number(top);
        if (::mkdir(topPath.constData(), 0755) != 0)
            return false;
        for (int file = 0; file < FilesPerTopFolder; ++file) {
            if (!touch(topPath + "/notes " + QByteArray::number(file) + ".txt"))
                return false;
        }
        for (int sub = 0; sub < SubFoldersEach; ++sub) {
            const QByteArray subPath = topPath + "/Album " + QByteArray::number(sub) + " (live)";
            if (::mkdir(subPath.constData(), 0755) != 0)
                return false;
            for (int file = 0; file < FilesPerSubFolder; ++file) {
                if (!touch(subPath + "/Track " + QByteArray::number(file) + " - a song title.mp3"))
                    return false;
            }
        }
    }
    return true;
}

// Seconds for `find <tree> -type f | wc -l`, or a negative value on failure.
double timeFind(const QString &tree)
{
    QProcess find;
    QElapsedTimer timer;
    timer.start();
    find.start(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f | wc -l"), QStringLiteral("sh"), tree});
    if (!find.waitForFinished(WalkTimeoutMs) || find.exitCode() != 0)
        return -1;
    const double elapsed = seconds(timer);
    const qint64 counted = find.readAllStandardOutput().trimmed().toLongLong();
    if (counted != TreeFiles) {
        std::printf("  find counted %lld files\n", static_cast<long long>(counted));
        return -1;
    }
    return elapsed;
}

// Seconds from loadSharedFolders() to rebuilt(), or a negative value.
double timeIndex(SharedIndex &index)
{
    QEventLoop loop;
    QObject::connect(&index, &SharedIndex::rebuilt, &loop, &QEventLoop::quit);
    QTimer::singleShot(WalkTimeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    index.loadSharedFolders();
    loop.exec();
    const double elapsed = seconds(timer);
    return index.isWalking() || index.count() != TreeFiles ? -1 : elapsed;
}

qint64 pathBytes(const IndexSnapshot &snapshot)
{
    qint64 bytes = 0;
    for (const SharedFile &file : snapshot.files)
        bytes += file.relativePath.size();
    return bytes;
}

void reportMemory(const char *what, qint64 heapDelta, qint64 textBytes, qint64 rows)
{
    const double perRow = static_cast<double>(heapDelta - textBytes) / static_cast<double>(rows);
    std::printf("%-30s %7.1f bytes/file beyond %.1f bytes of path text  (target < %.0f: %s)\n", what, perRow,
                static_cast<double>(textBytes) / static_cast<double>(rows), TargetBytesPerFile,
                perRow < TargetBytesPerFile ? "met" : "MISSED");
}

void benchTree(const QString &parent)
{
    QTemporaryDir work(parent + QStringLiteral("/bench_index-XXXXXX"));
    if (!work.isValid()) {
        std::printf("cannot make a folder below %s\n", qPrintable(parent));
        return;
    }
    const QString tree = work.filePath(QStringLiteral("tree"));
    QElapsedTimer timer;
    timer.start();
    if (!QDir().mkpath(tree) || !makeTree(tree)) {
        std::printf("cannot build the tree below %s\n", qPrintable(tree));
        return;
    }
    std::printf("tree of %lld files in %d folders built in %.2f s\n", static_cast<long long>(TreeFiles),
                TopFolders * (SubFoldersEach + 1), seconds(timer));

    SettingsStore settings(work.filePath(QStringLiteral("user.ini")), work.filePath(QStringLiteral("machine.ini")));
    settings.set(QLatin1String(SettingNames::DownloadsFolder), tree.toUtf8());
    SharedIndex index(settings, work.path());

    // Memory of the first index, taken while nothing else is held.
    const qint64 heapBefore = heapInUse();
    if (timeIndex(index) < 0) {
        std::printf("the index did not complete\n");
        return;
    }
    const qint64 heapAfter = heapInUse();
    reportMemory("memory (walked tree)", heapAfter - heapBefore, pathBytes(*index.snapshot()), index.count());

    // Warm: the first walk above and this find bring the tree into the cache.
    timeFind(tree);
    double bestFind = std::numeric_limits<double>::max();
    double bestIndex = std::numeric_limits<double>::max();
    for (int round = 0; round < Repeats; ++round) {
        const double find = timeFind(tree);
        const double walk = timeIndex(index);
        if (find < 0 || walk < 0) {
            std::printf("round %d failed\n", round + 1);
            return;
        }
        bestFind = std::min(bestFind, find);
        bestIndex = std::min(bestIndex, walk);
    }
    const double ratio = bestIndex / bestFind;
    std::printf("find -type f | wc -l           %7.1f ms (best of %d)\n", bestFind * 1e3, Repeats);
    std::printf("full index                     %7.1f ms (best of %d)\n", bestIndex * 1e3, Repeats);
    std::printf("ratio index / find             %7.2f     (target <= %.1f: %s)\n", ratio, TargetRatio,
                ratio <= TargetRatio ? "met" : "MISSED");
}

// A million rows made in memory, laid out as the walk lays them out.
void benchSyntheticRows()
{
    const qint64 heapBefore = heapInUse();
    IndexSnapshot snapshot;
    snapshot.roots = QStringList{QStringLiteral("/srv/share")};
    snapshot.files.reserve(static_cast<size_t>(SyntheticRows));
    for (qint64 row = 0; row < SyntheticRows; ++row) {
        const QByteArray text = "Artist " + QByteArray::number(row / 10000) + "/Album " +
                                QByteArray::number(row / 100 % 100) + "/Track " + QByteArray::number(row % 100) +
                                " - a song title.mp3";
        QByteArray path(text.size(), Qt::Uninitialized);
        std::copy(text.cbegin(), text.cend(), path.begin());
        snapshot.files.push_back(IndexSnapshot::makeFile(std::move(path), row, 1));
    }
    const qint64 heapAfter = heapInUse();
    reportMemory("memory (1,000,000 rows)", heapAfter - heapBefore, pathBytes(snapshot), SyntheticRows);

    QElapsedTimer timer;
    timer.start();
    qint64 nameBytes = 0;
    for (const SharedFile &file : snapshot.files)
        nameBytes += snapshot.sharedName(file).size();
    std::printf("sharedName of every row        %7.1f ms (%lld bytes of names)\n", seconds(timer) * 1e3,
                static_cast<long long>(nameBytes));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    benchTree(arguments.size() > 1 ? arguments.at(1) : QDir::tempPath());
    benchSyntheticRows();
    return 0;
}
