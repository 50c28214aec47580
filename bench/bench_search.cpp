// Answering searches over a large index, a slice at a time, and browsing a
// large share between two copies in this process.
//
//   bench_search [parent-folder]     (default: the system's temporary folder)
//
// The two copies listen on two addresses of one block of 127/8 chosen per
// run, so nothing leaves this machine's loopback. The browsed copy's 100,000
// files are made below the parent folder and removed again at the end.

#include "benchsupport.h"
#include "net/wirecodec.h"
#include "share/indexsnapshot.h"
#include "share/searchanswerjob.h"
#include "share/searchservice.h"
#include "shell/core.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr int SyntheticRows = 1000000;
constexpr int BrowsedFiles = 100000;
constexpr int FilesPerFolder = 1000;
constexpr int WalkTimeoutMs = 120000;
constexpr int LinkTimeoutMs = 15000;
constexpr int BrowseTimeoutMs = 60000;

constexpr double TargetSliceMs = 100.0;
constexpr double TargetBrowseSeconds = 10.0;
// Keyword matching over all rows, per request.
constexpr double TargetManyWordsCpuMs = 300.0;
constexpr double TargetOneWordCpuMs = 60.0;

const QByteArray OwnId = "1A2B3C4D5E6F7A8B";
const QByteArray PeerId = "CBF439260F0E0D0C";

std::shared_ptr<const IndexSnapshot> syntheticIndex()
{
    auto snapshot = std::make_shared<IndexSnapshot>();
    snapshot->roots = {QStringLiteral("/srv/share")};
    snapshot->files.reserve(SyntheticRows);
    for (int i = 0; i < SyntheticRows; ++i) {
        // One name in a hundred holds the word searched for.
        const char *word = i % 100 == 0 ? "Holiday" : "Track";
        const QByteArray path = "Music/Artist " + QByteArray::number(i / 5000) + "/Album " +
                                QByteArray::number(i / 50) + '/' + word + ' ' + QByteArray::number(i) + ".mp3";
        snapshot->files.push_back(IndexSnapshot::makeFile(path, 3000000 + i, 1));
    }
    return snapshot;
}

// `targetCpuMs` 0: no target for the whole answer.
void benchAnswer(const std::shared_ptr<const IndexSnapshot> &snapshot, const QByteArray &query, const char *what,
                 double targetCpuMs = 0)
{
    qint64 framedBytes = 0;
    SearchAnswerJob::Target target;
    target.isOpen = [] { return true; };
    target.backlog = [] { return qint64(0); };
    // Framing is part of what a slice costs on the real connection.
    target.send = [&framedBytes](const QByteArray &message) {
        framedBytes += WireCodec::frameMessage(message, OwnId, PeerId).size();
    };
    SearchAnswerJob job(snapshot, SearchQuery(query, "bench"), QStringLiteral("127.0.0.1"), "bench", target, {});

    int slices = 0;
    qint64 longestSlice = 0;
    QElapsedTimer total;
    total.start();
    const qint64 cpuStart = threadCpuNanoseconds();
    SearchAnswerJob::Progress progress = SearchAnswerJob::Progress::MoreToDo;
    while (progress != SearchAnswerJob::Progress::Finished) {
        QElapsedTimer slice;
        slice.start();
        progress = job.runSlice(QDeadlineTimer(SearchService::AnswerTurnMs, Qt::PreciseTimer));
        longestSlice = std::max(longestSlice, slice.nsecsElapsed());
        ++slices;
    }
    const double cpuMs = milliseconds(threadCpuNanoseconds() - cpuStart);
    std::printf("%-34s %8.1f ms total, %5d slices, longest %6.2f ms (target < %.0f ms), %lld results, %.1f MB framed\n",
                what, milliseconds(total.nsecsElapsed()), slices, milliseconds(longestSlice), TargetSliceMs,
                static_cast<long long>(job.resultsSent()), static_cast<double>(framedBytes) / 1e6);
    if (targetCpuMs > 0)
        std::printf("%-34s %8.1f ms of CPU (target < %.0f ms): %s\n", "", cpuMs, targetCpuMs,
                    cpuMs < targetCpuMs ? "met" : "MISSED");
}

bool makeFiles(const QString &folder)
{
    for (int i = 0; i < BrowsedFiles; ++i) {
        const QString sub = folder + QStringLiteral("/part%1").arg(i / FilesPerFolder, 3, 10, QLatin1Char('0'));
        if (i % FilesPerFolder == 0 && !QDir().mkpath(sub))
            return false;
        QFile file(sub + QStringLiteral("/file%1.dat").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

bool linked(Core &from, const QString &to)
{
    const int index = from.network().connections().findConnection(to);
    return index >= 0 && !from.network().connections().record(index).nickname.isEmpty();
}

void benchBrowse(const QString &parent)
{
    QTemporaryDir aliceHome(parent + QStringLiteral("/bench_search_XXXXXX"));
    QTemporaryDir bobHome(parent + QStringLiteral("/bench_search_XXXXXX"));
    const quint32 block = QRandomGenerator::global()->bounded(1u, 250u);
    const QString aliceAddress = QStringLiteral("127.%1.%2.1").arg(block).arg(QRandomGenerator::global()->bounded(1u, 250u));
    const QString bobAddress = aliceAddress.chopped(1) + QLatin1Char('2');

    QuietPrompter prompter;
    std::unique_ptr<Core> alice = startCopy(aliceHome.path(), aliceAddress, "alice", prompter);
    std::unique_ptr<Core> bob = startCopy(bobHome.path(), bobAddress, "bob", prompter);
    if (!alice || !bob) {
        std::printf("browse: a copy did not start\n");
        return;
    }

    QElapsedTimer clock;
    clock.start();
    if (!makeFiles(bob->sharing().sharedIndex().rootFolders().first())) {
        std::printf("browse: cannot make the shared files below %s\n", qPrintable(parent));
        return;
    }
    const double makeSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    clock.restart();
    bob->sharing().sharedIndex().loadSharedFolders();
    if (!waitFor([&bob] { return bob->sharing().sharedIndex().count() == BrowsedFiles; }, WalkTimeoutMs)) {
        std::printf("browse: the index holds %lld files, not %d\n",
                    static_cast<long long>(bob->sharing().sharedIndex().count()), BrowsedFiles);
        return;
    }
    std::printf("browse: %d files made in %.2f s, indexed in %.2f s\n", BrowsedFiles, makeSeconds,
                static_cast<double>(clock.nsecsElapsed()) / 1e9);

    alice->network().connections().connectTo(bobAddress);
    if (!waitFor([&] { return linked(*alice, bobAddress) && linked(*bob, aliceAddress); }, LinkTimeoutMs)) {
        std::printf("browse: the copies did not link\n");
        return;
    }

    // Both copies share this thread: the longest gap between heartbeats is the
    // longest the event loop was held by either side.
    QElapsedTimer beat;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, beat.nsecsElapsed());
        beat.restart();
    });
    SearchResultsModel &results = alice->sharing().search().results();
    clock.restart();
    beat.start();
    heartbeat.start(1);
    alice->sharing().search().browseUser("bob");
    const bool complete = waitFor([&results] { return results.rowCount() >= BrowsedFiles; }, BrowseTimeoutMs);
    const double browseSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    heartbeat.stop();

    const auto snapshot = bob->sharing().sharedIndex().snapshot();
    bool inOrder = results.rowCount() == static_cast<int>(snapshot->files.size());
    for (int row = 0; inOrder && row < results.rowCount(); ++row)
        inOrder = results.result(row).sharedName == snapshot->sharedName(snapshot->files[static_cast<size_t>(row)]);
    std::printf("browse: %d of %d results in the table after %.2f s (target < %.0f s), %s, "
                "event loop held at most %.1f ms\n",
                results.rowCount(), BrowsedFiles, browseSeconds, TargetBrowseSeconds,
                complete && inOrder ? "in order" : "NOT complete and in order", milliseconds(longestGap));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();

    QElapsedTimer build;
    build.start();
    const auto snapshot = syntheticIndex();
    std::printf("%d synthetic rows built in %.2f s\n", SyntheticRows, static_cast<double>(build.nsecsElapsed()) / 1e9);
    benchAnswer(snapshot, "holiday beach", "keyword, 1% of rows match:");
    QByteArray manyWords;
    for (int i = 0; i < 200; ++i)
        manyWords += "nomatch" + QByteArray::number(i) + ' ';
    benchAnswer(snapshot, manyWords, "keyword, 64 words, none match:", TargetManyWordsCpuMs);
    benchAnswer(snapshot, "nomatch", "keyword, one word, none matches:", TargetOneWordCpuMs);
    benchAnswer(snapshot, "quelmuserbrowse bench", "browse, every row answered:");

    benchBrowse(parent);
    return 0;
}
