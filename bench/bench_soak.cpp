// Many quelm programs on loopback for a long time: copies leave and join,
// a driving peer searches and browses them every few seconds, and each
// copy's resident memory and open descriptors are printed over time. After
// the first minute both should stay flat.
//
//   bench_soak [minutes] [copies] [sample-seconds]   (default 30, 50, 30)
//
// Copies listen on one block of 127/8 chosen per run; nothing leaves this
// machine's loopback. Only the last fifth of the copies leave and join, so
// the others show one process's whole run.

#include "base/settingnames.h"
#include "support/fakepeer.h"
#include "support/quelmprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int FilesPerCopy = 20;
constexpr int HostCacheEntries = 3;
constexpr int TrafficEveryMs = 3000;
constexpr int ChurnEveryMs = 20000;
constexpr int AnswerWaitMs = 2000;
constexpr qint64 FirstMinuteMs = 60000;

struct Sample {
    qint64 rssKiB = -1;
    int descriptors = -1;
};

QString addressIn(quint32 block, int host)
{
    return QStringLiteral("127.%1.%2.%3").arg(block >> 8).arg(block & 0xff).arg(host);
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

void printRow(const char *what, qint64 seconds, const std::vector<Sample> &samples, bool memory)
{
    std::printf("%4llds %-4s", static_cast<long long>(seconds), what);
    for (const Sample &sample : samples)
        std::printf(" %4lld", memory ? static_cast<long long>(sample.rssKiB / 1024) : sample.descriptors);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 30;
    const int count = argc > 2 ? std::clamp(QByteArray(argv[2]).toInt(), 2, 200) : 50;
    const qint64 sampleMs = 1000LL * (argc > 3 ? std::max(5, QByteArray(argv[3]).toInt()) : 30);
    const quint32 block = QRandomGenerator::global()->bounded(1u, 250u) << 8 | QRandomGenerator::global()->bounded(1u, 250u);

    std::vector<std::unique_ptr<QuelmProcess>> copies;
    QByteArray cache;
    for (int i = 0; i < HostCacheEntries; ++i)
        cache += addressIn(block, i + 1).toLatin1() + ';';
    for (int i = 0; i < count; ++i) {
        auto copy = std::make_unique<QuelmProcess>("soak" + QByteArray::number(i), 0, addressIn(block, i + 1));
        for (int f = 0; f < FilesPerCopy; ++f)
            copy->share(QStringLiteral("common%1 soak%2.txt").arg(f).arg(i));
        copy->presetMachine(QLatin1String(SettingNames::RecentHosts), cache);
        if (!copy->start()) {
            std::printf("copy %d did not start\n", i);
            return 1;
        }
        copies.push_back(std::move(copy));
    }
    std::printf("%d copies on %s and up; %d minutes; resident MB and open descriptors per copy:\n", count,
                qPrintable(addressIn(block, 1)), minutes);

    const int firstChurned = count - count / 5;
    std::vector<Sample> afterFirstMinute;
    std::vector<Sample> latest(static_cast<size_t>(count));
    qint64 nextTraffic = 0;
    qint64 nextChurn = ChurnEveryMs;
    qint64 nextSample = 0;
    int asked = 0;
    int unanswered = 0;
    qint64 results = 0;
    int churns = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < minutes * 60000LL) {
        const qint64 now = clock.elapsed();
        if (now >= nextSample) {
            for (int i = 0; i < count; ++i)
                latest[static_cast<size_t>(i)] = {copies[static_cast<size_t>(i)]->residentKiB(),
                                                  copies[static_cast<size_t>(i)]->openDescriptors()};
            printRow("MB", now / 1000, latest, true);
            printRow("fd", now / 1000, latest, false);
            std::printf("      %d searches and browses, %d unanswered, %lld results, %d copies left and joined\n",
                        asked, unanswered, static_cast<long long>(results), churns);
            if (afterFirstMinute.empty() && now >= FirstMinuteMs)
                afterFirstMinute = latest;
            nextSample += sampleMs;
        }
        if (now >= nextTraffic) {
            const int target = QRandomGenerator::global()->bounded(count);
            const bool browse = asked % 2 == 1;
            const QByteArray query = browse ? "quelmuserbrowse soak" + QByteArray::number(target) : "common1";
            const int got = drive(*copies[static_cast<size_t>(target)], addressIn(block, 200 + asked % 50), query);
            ++asked;
            unanswered += got <= 0;
            results += std::max(got, 0);
            nextTraffic += TrafficEveryMs;
        }
        if (now >= nextChurn && firstChurned < count) {
            QuelmProcess &copy = *copies[static_cast<size_t>(
                firstChurned + QRandomGenerator::global()->bounded(count - firstChurned))];
            copy.stop();
            copy.start();
            ++churns;
            nextChurn += ChurnEveryMs;
        }
        QTest::qWait(100);
    }

    if (afterFirstMinute.empty())
        afterFirstMinute = latest;
    qint64 worstGrowthKiB = 0;
    int worstDescriptorGrowth = 0;
    for (int i = 0; i < firstChurned; ++i) {
        worstGrowthKiB = std::max(worstGrowthKiB, latest[static_cast<size_t>(i)].rssKiB
                                                      - afterFirstMinute[static_cast<size_t>(i)].rssKiB);
        worstDescriptorGrowth = std::max(worstDescriptorGrowth, latest[static_cast<size_t>(i)].descriptors
                                                                    - afterFirstMinute[static_cast<size_t>(i)].descriptors);
    }
    std::printf("copies up for the whole run, growth after the first minute: at most %.1f MB resident, %d "
                "descriptors (target: flat)\n",
                static_cast<double>(worstGrowthKiB) / 1024.0, worstDescriptorGrowth);
    int orderly = 0;
    for (auto &copy : copies)
        orderly += copy->stop();
    std::printf("%d of %d copies ended in order on SIGTERM\n", orderly, count);
    return 0;
}
