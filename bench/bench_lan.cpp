// N quelmd copies on one broadcast network built from network namespaces on a
// bridge, in full product mode (subnet scan and UDP announcements on, port
// 1971) with empty host caches: how long until every pair is linked, what a
// meshed copy costs in memory and idle CPU, and how many bytes of
// announcements and host lists each copy sends.
//
//   bench_lan N [stagger-seconds] [--udp-off] [--keep-logs=FOLDER] [--hold=SECONDS]
//
// All copies start within one second, or one every `stagger` seconds.
// --udp-off switches the announcements off, so only the scan (which stops at
// five peers) and host lists can close the mesh. The hosts sit in
// 198.18.0.0/24, a block reserved for benchmarks; no namespace has a route
// out, and every namespace is deleted at the end, also after a failure or
// SIGINT/SIGTERM/SIGHUP. --keep-logs copies each copy's log (links made,
// closed and refused, and what it sent) into FOLDER at the end. --hold keeps
// the meshed copies running that much longer after the figures, for a
// profiler to attach to one (the process ids are printed). Needs root;
// skips without it.

#include "base/settingnames.h"
#include "support/bridgedlan.h"
#include "support/namespacedcopy.h"
#include "support/quelmprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

constexpr char Prefix[] = "qbench";
constexpr char Subnet[] = "198.18.0.";
constexpr int MaxCopies = 254;
constexpr int SettleMs = 10000;
constexpr int IdleWindowMs = 30000;
constexpr int ProcessTimeoutMs = 20000;
constexpr int ParallelQueries = 16;
// Time allowed for the mesh after the last start.
constexpr int MeshLimitMs = 240000;
constexpr int MeshLimitUdpOffMs = 420000;

using Copies = std::vector<std::unique_ptr<NamespacedCopy>>;

// Kills every copy at once when the benchmark ends, however it ends; each
// copy's own destructor then only reaps it.
class KillAtEnd final
{
public:
    explicit KillAtEnd(const Copies &copies)
        : m_copies(copies)
    {
    }
    ~KillAtEnd()
    {
        for (const auto &copy : m_copies)
            copy->kill();
    }
    KillAtEnd(const KillAtEnd &) = delete;
    KillAtEnd &operator=(const KillAtEnd &) = delete;

private:
    const Copies &m_copies;
};

// SIGINT, SIGTERM and SIGHUP are held back and asked for between steps, so
// the benchmark ends through its own clean-up instead of dying in the middle.
class StopSignals final
{
public:
    StopSignals()
    {
        sigemptyset(&m_set);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&m_set, signal);
        sigprocmask(SIG_BLOCK, &m_set, nullptr);
    }
    ~StopSignals() { sigprocmask(SIG_UNBLOCK, &m_set, nullptr); }

    bool arrived()
    {
        const timespec now{0, 0};
        m_arrived = m_arrived || sigtimedwait(&m_set, nullptr, &now) > 0;
        return m_arrived;
    }

    // Waits `ms`, in short steps; false when a signal came meanwhile.
    bool pause(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !arrived()) {
            QCoreApplication::processEvents();
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(StepMs, ms - clock.elapsed())));
        }
        return !arrived();
    }

    // Waits for `process` in short steps, at most `ms`; false when a signal came meanwhile.
    bool waitForFinished(QProcess &process, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < ms && !arrived())
            process.waitForFinished(StepMs);
        return !arrived();
    }

private:
    static constexpr int StepMs = 100;

    sigset_t m_set;
    bool m_arrived = false;
};

// Distinct peers on the control port per copy, counted with ss inside each
// copy's namespace, a few namespaces at a time. Empty when a stop signal came
// meanwhile: the queries under way are killed rather than waited for.
std::vector<int> peersPerCopy(const BridgedLan &lan, StopSignals &stop)
{
    std::vector<int> peers(static_cast<size_t>(lan.hosts()), 0);
    for (int first = 0; first < lan.hosts(); first += ParallelQueries) {
        std::vector<std::unique_ptr<QProcess>> queries;
        for (int host = first; host < std::min(lan.hosts(), first + ParallelQueries); ++host) {
            auto query = std::make_unique<QProcess>();
            query->start(QStringLiteral("ss"),
                         {QStringLiteral("-N"), lan.namespaceOf(host), QStringLiteral("-Htn"), QStringLiteral("state"),
                          QStringLiteral("established"), QStringLiteral("( sport = :%1 or dport = :%1 )").arg(NamespacedCopy::ControlPort)});
            queries.push_back(std::move(query));
        }
        for (size_t i = 0; i < queries.size(); ++i) {
            if (!stop.waitForFinished(*queries[i], ProcessTimeoutMs))
                return {};
            QSet<QString> remote;
            for (const QByteArray &line : queries[i]->readAllStandardOutput().split('\n')) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                if (fields.size() >= 4)
                    remote.insert(QString::fromLatin1(fields[3].left(fields[3].lastIndexOf(':'))));
            }
            peers[static_cast<size_t>(first) + i] = static_cast<int>(remote.size());
        }
    }
    return peers;
}

struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
    double mean = 0;
};

template <typename T>
Spread spreadOf(std::vector<T> values)
{
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    spread.min = double(values.front());
    spread.max = double(values.back());
    spread.median = double(values[values.size() / 2]);
    double sum = 0;
    for (T value : values)
        sum += double(value);
    spread.mean = sum / double(values.size());
    return spread;
}

// Bytes a copy logged as sent between two times of its run (seconds), by kind.
struct Traffic {
    qint64 announcement = 0;
    qint64 hostList = 0;
    // Of the host lists, those that tell existing links of a new one.
    qint64 notice = 0;
};

Traffic trafficOf(const NamespacedCopy &copy, double fromS, double toS)
{
    const QRegularExpression line(QStringLiteral("^\\s*([0-9.]+) traffic (\\S+) (\\d+)"));
    Traffic traffic;
    QFile log(copy.logPath());
    if (!log.open(QIODevice::ReadOnly))
        return traffic;
    while (!log.atEnd()) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(log.readLine()));
        if (!match.hasMatch())
            continue;
        const double at = match.captured(1).toDouble();
        if (at < fromS || at >= toS)
            continue;
        const qint64 bytes = match.captured(3).toLongLong();
        if (match.captured(2) == QLatin1String("announcement"))
            traffic.announcement += bytes;
        else
            traffic.hostList += bytes;
        if (match.captured(2) == QLatin1String("hostlist-notice"))
            traffic.notice += bytes;
    }
    return traffic;
}

// `windows` holds each copy's span, in seconds of its own run.
void printTraffic(const char *phase, const Copies &copies, const std::vector<std::pair<double, double>> &windows)
{
    std::vector<double> announcements;
    std::vector<double> hostLists;
    std::vector<double> hostListTotals;
    std::vector<double> noticeTotals;
    double spanS = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        const auto [fromS, toS] = windows[i];
        const double span = std::max(1.0, toS - fromS);
        const Traffic traffic = trafficOf(*copies[i], fromS, toS);
        announcements.push_back(double(traffic.announcement) * 60.0 / span);
        hostLists.push_back(double(traffic.hostList) * 60.0 / span);
        hostListTotals.push_back(double(traffic.hostList));
        noticeTotals.push_back(double(traffic.notice));
        spanS = std::max(spanS, span);
    }
    const Spread a = spreadOf(announcements);
    const Spread h = spreadOf(hostLists);
    const Spread total = spreadOf(hostListTotals);
    const Spread notices = spreadOf(noticeTotals);
    std::printf("sent per copy, %s (up to %.0f s): announcements (UDP payload) mean %.0f B/min; host-list frames "
                "mean %.0f B/min (max %.0f), in all mean %.0f B (max %.0f), of which notices of new links mean %.0f B "
                "(max %.0f)\n",
                phase, spanS, a.mean, h.mean, h.max, total.mean, total.max, notices.mean, notices.max);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: bench_lan N [stagger-seconds] [--udp-off] [--keep-logs=FOLDER] [--hold=SECONDS]   "
                 "(2 <= N <= %d)\n",
                 MaxCopies);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool udpOff = arguments.removeAll(QStringLiteral("--udp-off")) > 0;
    QString keepLogs;
    int holdSeconds = 0;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--keep-logs=")))
            keepLogs = argument.section(QLatin1Char('='), 1);
        if (argument.startsWith(QLatin1String("--hold=")))
            holdSeconds = std::max(0, argument.section(QLatin1Char('='), 1).toInt());
    }
    arguments.erase(std::remove_if(arguments.begin(), arguments.end(),
                                   [](const QString &a) {
                                       return a.startsWith(QLatin1String("--keep-logs="))
                                              || a.startsWith(QLatin1String("--hold="));
                                   }),
                    arguments.end());
    bool countOk = false;
    const int count = arguments.value(0).toInt(&countOk);
    bool staggerOk = true;
    const double stagger = arguments.size() > 1 ? arguments[1].toDouble(&staggerOk) : 0.0;
    if (!countOk || !staggerOk || count < 2 || count > MaxCopies || stagger < 0 || arguments.size() > 2)
        return usage();
    if (::geteuid() != 0) {
        std::printf("bench_lan: skipped: network namespaces need root\n");
        return 0;
    }
    if (BridgedLan::ipCommand().isEmpty()) {
        std::printf("bench_lan: skipped: the ip command (iproute2) is missing\n");
        return 0;
    }

    StopSignals stop;
    BridgedLan::removeStale(QLatin1String(Prefix));
    BridgedLan lan(QLatin1String(Prefix), 1, QLatin1String(Subnet), count);
    QElapsedTimer buildClock;
    buildClock.start();
    if (const QString error = lan.build([&stop] { return stop.arrived(); }); !error.isEmpty()) {
        std::fprintf(stderr, "bench_lan: cannot build the network: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("bench_lan: %d copies in namespaces on one bridge (%s0/24, no route out), built in %.1f s; "
                "announcements %s; %s\n",
                count, Subnet, buildClock.elapsed() / 1000.0, udpOff ? "off" : "on",
                stagger > 0 ? qPrintable(QStringLiteral("one started every %1 s").arg(stagger))
                            : "all started within one second");
    std::fflush(stdout);

    Copies copies;
    const KillAtEnd killAtEnd(copies);
    for (int host = 0; host < count; ++host) {
        auto copy = std::make_unique<NamespacedCopy>(
            QStringLiteral(QUELMD_EXECUTABLE), lan.namespaceOf(host), lan.addressOf(host),
            NamespacedCopy::Settings{{SettingNames::Nickname, "bench" + QByteArray::number(host + 1)},
                                     {SettingNames::EnableScanning, "1"},
                                     {SettingNames::EnableUDP, udpOff ? "0" : "1"},
                                     {SettingNames::EnableTCP, "1"}},
            "bench-lan-" + QByteArray::number(host + 1));
        // The copies log what they send, with the seconds since their start.
        copy->setEnvironment(QStringLiteral("QT_LOGGING_RULES"),
                             QStringLiteral("quelm.net.debug=true;quelm.net.info=true"));
        copy->setEnvironment(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time process} %{message}"));
        copies.push_back(std::move(copy));
    }

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> startedAtMs;
    for (const auto &copy : copies) {
        const qint64 due = qint64(double(startedAtMs.size()) * stagger * 1000.0);
        if (!stop.pause(int(std::max<qint64>(0, due - clock.elapsed()))))
            break;
        copy->launch();
        startedAtMs.push_back(clock.elapsed());
    }
    if (stop.arrived())
        return 1;
    const qint64 lastStartMs = startedAtMs.back();

    const int limitMs = udpOff ? MeshLimitUdpOffMs : MeshLimitMs;
    const int pollMs = std::max(1000, count * 10);
    std::vector<int> peers;
    bool meshed = false;
    while (!stop.arrived() && clock.elapsed() - lastStartMs < limitMs) {
        peers = peersPerCopy(lan, stop);
        meshed = std::all_of(peers.begin(), peers.end(), [count](int p) { return p >= count - 1; });
        if (meshed)
            break;
        if (std::any_of(copies.begin(), copies.end(), [](const auto &copy) { return !copy->running(); })) {
            std::fprintf(stderr, "bench_lan: a copy ended while the mesh formed\n");
            return 1;
        }
        stop.pause(pollMs);
    }
    if (stop.arrived())
        return 1;
    const qint64 meshMs = clock.elapsed();
    qint64 pairs = 0;
    for (int p : peers)
        pairs += p;
    pairs /= 2;
    const qint64 allPairs = qint64(count) * (count - 1) / 2;
    if (meshed) {
        std::printf("full mesh (%lld links): %.1f s after the first start, %.1f s after the last "
                    "(counted with ss every %.1f s)\n",
                    static_cast<long long>(allPairs), meshMs / 1000.0, (meshMs - lastStartMs) / 1000.0, pollMs / 1000.0);
    } else {
        const Spread spread = spreadOf(peers);
        std::printf("NO full mesh within %d s of the last start: %lld of %lld pairs linked; peers per copy "
                    "min %.0f, median %.0f, max %.0f\n",
                    limitMs / 1000, static_cast<long long>(pairs), static_cast<long long>(allPairs), spread.min,
                    spread.median, spread.max);
    }
    std::fflush(stdout);

    // Formation: from each copy's start to the mesh.
    std::vector<std::pair<double, double>> formation;
    for (qint64 started : startedAtMs)
        formation.emplace_back(0.0, (meshMs - started) / 1000.0);
    printTraffic("while the mesh formed", copies, formation);

    if (!stop.pause(SettleMs))
        return 1;
    std::vector<qint64> before;
    for (const auto &copy : copies)
        before.push_back(QuelmProcess::cpuTicks(copy->processId()));
    const qint64 windowStartMs = clock.elapsed();
    if (!stop.pause(IdleWindowMs))
        return 1;
    const double windowS = (clock.elapsed() - windowStartMs) / 1000.0;
    std::vector<double> cpuPercent;
    std::vector<qint64> rss;
    const double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    for (size_t i = 0; i < copies.size(); ++i) {
        const qint64 after = QuelmProcess::cpuTicks(copies[i]->processId());
        if (after >= 0 && before[i] >= 0)
            cpuPercent.push_back(100.0 * double(after - before[i]) / ticksPerSecond / windowS);
        rss.push_back(QuelmProcess::residentKiB(copies[i]->processId()));
    }
    const Spread cpu = spreadOf(cpuPercent);
    const Spread memory = spreadOf(rss);
    std::printf("idle CPU per copy over %.0f s: mean %.3f %%, max %.3f %% of a core\n", windowS, cpu.mean, cpu.max);
    std::printf("resident memory per copy: min %.0f KiB, median %.0f KiB, max %.0f KiB\n", memory.min, memory.median,
                memory.max);
    std::vector<std::pair<double, double>> idle;
    for (qint64 started : startedAtMs)
        idle.emplace_back((windowStartMs - started) / 1000.0, (windowStartMs - started) / 1000.0 + windowS);
    printTraffic("idle, meshed", copies, idle);
    const std::vector<int> finalPeers = peersPerCopy(lan, stop);
    if (stop.arrived())
        return 1;
    const Spread end = spreadOf(finalPeers);
    std::printf("peers per copy at the end: min %.0f, median %.0f, max %.0f\n", end.min, end.median, end.max);
    if (!keepLogs.isEmpty() && QDir().mkpath(keepLogs)) {
        for (const auto &copy : copies)
            QFile::copy(copy->logPath(), keepLogs + QLatin1Char('/') + copy->address() + QLatin1String(".log"));
    }
    if (holdSeconds > 0) {
        std::printf("holding the mesh for %d s; process ids: first %lld, last %lld\n", holdSeconds,
                    static_cast<long long>(copies.front()->processId()),
                    static_cast<long long>(copies.back()->processId()));
        std::fflush(stdout);
        if (!stop.pause(holdSeconds * 1000))
            return 1;
    }
    return meshed ? 0 : 1;
}
