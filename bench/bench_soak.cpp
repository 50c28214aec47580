// Many quelmd programs (copies without a window) on loopback for a long time: copies leave and join,
// a driving peer searches and browses them every few seconds, a downloading
// copy fetches a file of a few megabytes from one of them every few seconds,
// and each copy's resident memory and open descriptors are printed over
// time. After the first minute both should stay flat.
//
//   bench_soak [minutes] [copies] [sample-seconds]   (default 30, 50, 30)
//
// Copies listen on one block of 127/8 chosen per run; nothing leaves this
// machine's loopback. Only the last fifth of the copies leave and join, so
// the others show one process's whole run. The downloading copy is a core in
// this process, as the transfer benchmark's requesting copies are, so its
// figures are this process's.

#include "benchsupport.h"
#include "base/settingnames.h"
#include "support/fakepeer.h"
#include "support/quelmprocess.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/transfers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int FilesPerCopy = 20;
// Every copy shares these, of 2, 3 and 4 MiB, in its downloads folder.
constexpr int BulkFiles = 3;
constexpr int SmallestBulkMiB = 2;
constexpr int HostCacheEntries = 3;
constexpr int TrafficEveryMs = 3000;
constexpr int DownloadEveryMs = 5000;
constexpr int ChurnEveryMs = 20000;
constexpr int AnswerWaitMs = 2000;
constexpr int DownloadWaitMs = 30000;
constexpr qint64 FirstMinuteMs = 60000;
// Copies take hosts from 1 up, the driving peers 200 to 249.
constexpr int DownloaderHost = 250;

struct Sample {
    qint64 rssKiB = -1;
    int descriptors = -1;
};

struct Tally {
    int asked = 0;
    int unanswered = 0;
    qint64 results = 0;
    int churns = 0;
    int downloads = 0;
    int failedDownloads = 0;
    qint64 downloadedBytes = 0;
};

using Copies = std::vector<std::unique_ptr<QuelmProcess>>;

QString addressIn(quint32 block, int host)
{
    return QStringLiteral("127.%1.%2.%3").arg(block >> 8).arg(block & 0xff).arg(host);
}

QString bulkName(int file)
{
    return QStringLiteral("bulk%1.bin").arg(file);
}

QByteArray bulkContent(int file)
{
    const qsizetype size = qsizetype(SmallestBulkMiB + file) << 20;
    QByteArray content(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        content[i] = static_cast<char>((i * 7 + file) & 0xff);
    return content;
}

// Starts `count` copies that know the first few of each other; empty when one failed.
Copies startCopies(quint32 block, int count)
{
    std::vector<QByteArray> bulk;
    for (int f = 0; f < BulkFiles; ++f)
        bulk.push_back(bulkContent(f));
    QByteArray cache;
    for (int i = 0; i < HostCacheEntries; ++i)
        cache += addressIn(block, i + 1).toLatin1() + ';';
    Copies copies;
    for (int i = 0; i < count; ++i) {
        auto copy = std::make_unique<QuelmProcess>("soak" + QByteArray::number(i), 0, addressIn(block, i + 1),
                                                   QuelmProcess::Program::Headless);
        for (int f = 0; f < FilesPerCopy; ++f)
            copy->share(QStringLiteral("common%1 soak%2.txt").arg(f).arg(i));
        for (int f = 0; f < BulkFiles; ++f)
            copy->share(bulkName(f), bulk[static_cast<size_t>(f)]);
        copy->presetMachine(QLatin1String(SettingNames::RecentHosts), cache);
        if (!copy->start()) {
            std::printf("copy %d did not start\n", i);
            return {};
        }
        copies.push_back(std::move(copy));
    }
    return copies;
}

// One search or browse by a peer that comes, asks and goes; the results counted.
int drive(const QuelmProcess &copy, const QString &from, const QByteArray &query)
{
    FakePeer peer(QByteArray::number(QRandomGenerator::global()->generate(), 16).toUpper(), from);
    const QByteArray copyId = peer.greet(copy.address(), copy.port());
    if (copyId.isEmpty())
        return -1;
    peer.sendFrames({"id/client", "nick:driver", "search:" + query}, copyId);
    int results = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < AnswerWaitMs) {
        QTest::qWait(50);
        for (const QByteArray &message : peer.takeFrames(copyId))
            results += message.startsWith("result:");
    }
    return results;
}

// The downloading copy only fetches files: it neither scans nor announces itself.
std::unique_ptr<Core> startDownloader(const QString &home, const QString &address, Prompter &prompter)
{
    const CoreConfig config = CoreConfig::forHome(home, address);
    SettingsStore(config.userSettingsPath, config.machineSettingsPath)
        .set(QLatin1String(SettingNames::EnableUDP), "0");
    return startCopy(home, address, "soakdownloader", prompter);
}

// Fetches one file into the downloading copy and deletes it again; the bytes
// that came, or -1 when the download did not complete.
qint64 downloadOnce(Core &downloader, const QByteArray &sharedName, const QString &from)
{
    Transfers &transfers = downloader.transfers();
    DeadDownloadListModel &ended = transfers.deadDownloadList();
    const int id = transfers.start(sharedName, from);
    if (!waitFor([&ended] { return ended.rowCount() > 0; }, DownloadWaitMs))
        transfers.cancel(id);
    qint64 bytes = -1;
    if (ended.rowCount() > 0 && ended.at(0).state.state() == Download::State::Complete) {
        bytes = QFileInfo(ended.at(0).finishedPath).size();
        QFile::remove(ended.at(0).finishedPath);
    }
    // The ended list and the resume store would otherwise grow with the run.
    transfers.clearEnded();
    return bytes;
}

std::vector<Sample> sampleCopies(const Copies &copies)
{
    std::vector<Sample> samples;
    for (const auto &copy : copies)
        samples.push_back({copy->residentKiB(), copy->openDescriptors()});
    return samples;
}

Sample sampleThisProcess()
{
    const qint64 pid = QCoreApplication::applicationPid();
    return {QuelmProcess::residentKiB(pid), QuelmProcess::openDescriptors(pid)};
}

void printRow(const char *what, qint64 seconds, const std::vector<Sample> &samples, bool memory)
{
    std::printf("%4llds %-4s", static_cast<long long>(seconds), what);
    for (const Sample &sample : samples)
        std::printf(" %4lld", memory ? static_cast<long long>(sample.rssKiB / 1024) : sample.descriptors);
    std::printf("\n");
}

void printSample(qint64 seconds, const std::vector<Sample> &copies, const Sample &downloader, const Tally &tally)
{
    printRow("MB", seconds, copies, true);
    printRow("fd", seconds, copies, false);
    std::printf("      %d searches and browses, %d unanswered, %lld results, %d copies left and joined\n", tally.asked,
                tally.unanswered, static_cast<long long>(tally.results), tally.churns);
    std::printf("      %d downloads, %d not completed, %.0f MB; downloading copy %lld MB, %d fd\n", tally.downloads,
                tally.failedDownloads, static_cast<double>(tally.downloadedBytes) / (1 << 20),
                static_cast<long long>(downloader.rssKiB / 1024), downloader.descriptors);
    std::fflush(stdout);
}

Sample growth(const Sample &from, const Sample &to)
{
    return {to.rssKiB - from.rssKiB, to.descriptors - from.descriptors};
}

// The largest growth of the copies that stayed up for the whole run.
Sample worstGrowth(const std::vector<Sample> &from, const std::vector<Sample> &to, int copies)
{
    Sample worst{0, 0};
    for (size_t i = 0; i < static_cast<size_t>(copies); ++i) {
        const Sample grown = growth(from[i], to[i]);
        worst = {std::max(worst.rssKiB, grown.rssKiB), std::max(worst.descriptors, grown.descriptors)};
    }
    return worst;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 30;
    const int count = argc > 2 ? std::clamp(QByteArray(argv[2]).toInt(), 2, 199) : 50;
    const qint64 sampleMs = 1000LL * (argc > 3 ? std::max(5, QByteArray(argv[3]).toInt()) : 30);
    const quint32 block = QRandomGenerator::global()->bounded(1u, 250u) << 8 | QRandomGenerator::global()->bounded(1u, 250u);

    Copies copies = startCopies(block, count);
    if (copies.empty())
        return 1;
    QTemporaryDir downloaderHome;
    QuietPrompter prompter;
    std::unique_ptr<Core> downloader = startDownloader(downloaderHome.path(), addressIn(block, DownloaderHost), prompter);
    if (!downloader) {
        std::printf("the downloading copy did not start\n");
        return 1;
    }
    std::printf("%d copies on %s and up; %d minutes; resident MB and open descriptors per copy:\n", count,
                qPrintable(addressIn(block, 1)), minutes);

    const int firstChurned = count - count / 5;
    std::vector<Sample> afterFirstMinute;
    std::vector<Sample> latest;
    Sample downloaderAfterFirstMinute;
    Sample downloaderLatest;
    Tally tally;
    qint64 nextTraffic = 0;
    qint64 nextDownload = DownloadEveryMs;
    qint64 nextChurn = ChurnEveryMs;
    qint64 nextSample = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < minutes * 60000LL) {
        const qint64 now = clock.elapsed();
        if (now >= nextSample) {
            latest = sampleCopies(copies);
            downloaderLatest = sampleThisProcess();
            printSample(now / 1000, latest, downloaderLatest, tally);
            if (afterFirstMinute.empty() && now >= FirstMinuteMs) {
                afterFirstMinute = latest;
                downloaderAfterFirstMinute = downloaderLatest;
            }
            nextSample += sampleMs;
        }
        if (now >= nextTraffic) {
            const int target = QRandomGenerator::global()->bounded(count);
            const bool browse = tally.asked % 2 == 1;
            const QByteArray query = browse ? "quelmuserbrowse soak" + QByteArray::number(target) : "common1";
            const int got = drive(*copies[static_cast<size_t>(target)], addressIn(block, 200 + tally.asked % 50), query);
            ++tally.asked;
            tally.unanswered += got <= 0;
            tally.results += std::max(got, 0);
            nextTraffic += TrafficEveryMs;
        }
        if (now >= nextDownload) {
            const QuelmProcess &source = *copies[static_cast<size_t>(QRandomGenerator::global()->bounded(count))];
            const QByteArray name = "1:" + bulkName(QRandomGenerator::global()->bounded(BulkFiles)).toUtf8();
            const qint64 bytes = downloadOnce(*downloader, name, source.address());
            ++tally.downloads;
            tally.failedDownloads += bytes < 0;
            tally.downloadedBytes += std::max<qint64>(bytes, 0);
            nextDownload += DownloadEveryMs;
        }
        if (now >= nextChurn && firstChurned < count) {
            QuelmProcess &copy = *copies[static_cast<size_t>(
                firstChurned + QRandomGenerator::global()->bounded(count - firstChurned))];
            copy.stop();
            copy.start();
            ++tally.churns;
            nextChurn += ChurnEveryMs;
        }
        QTest::qWait(100);
    }

    if (afterFirstMinute.empty()) {
        afterFirstMinute = latest;
        downloaderAfterFirstMinute = downloaderLatest;
    }
    const Sample worst = worstGrowth(afterFirstMinute, latest, firstChurned);
    const Sample downloaderGrowth = growth(downloaderAfterFirstMinute, downloaderLatest);
    std::printf("copies up for the whole run, growth after the first minute: at most %.1f MB resident, %d "
                "descriptors (target: flat)\n",
                static_cast<double>(worst.rssKiB) / 1024.0, worst.descriptors);
    std::printf("downloading copy, growth after the first minute: %.1f MB resident, %d descriptors\n",
                static_cast<double>(downloaderGrowth.rssKiB) / 1024.0, downloaderGrowth.descriptors);
    int orderly = 0;
    for (auto &copy : copies)
        orderly += copy->stop();
    std::printf("%d of %d copies ended in order on SIGTERM\n", orderly, count);
    return 0;
}
