// Thirty quelm processes on loopback addresses, each told only one other
// address: how long host lists take to join them into a full mesh, what an idle
// meshed copy costs in CPU, and what one control link costs in memory.
//
//   bench_mesh [cpu-window-seconds]     (default 30: one keep-alive round)
//
// Every copy gets an address in one /24 block of 127/8 chosen per run, so
// nothing leaves this machine's loopback.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/quelmprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int MeshSize = 30;
constexpr int ControlPort = 1971;
constexpr int GiveUpMs = 120000;
constexpr int ListenTimeoutMs = 15000;
constexpr int PollMs = 100;
constexpr int SettleMs = 2000;
constexpr int DefaultCpuWindowSeconds = 30;

constexpr double TargetMeshSeconds = 30.0;
constexpr double TargetCpuPercent = 0.5;
constexpr double TargetKiBPerLink = 64.0;

constexpr int TcpEstablished = 0x01;
constexpr int TcpListen = 0x0A;

struct TcpEntry {
    QString localAddress;
    int localPort = 0;
    QString remoteAddress;
    int remotePort = 0;
    int state = 0;
};

// "0100007F:07B3": the address is the kernel's four bytes printed as one
// number in this machine's byte order, the port is plain.
bool parseEndpoint(const QByteArray &text, QString *address, int *port)
{
    const QList<QByteArray> parts = text.split(':');
    bool addressOk = false;
    bool portOk = false;
    if (parts.size() != 2 || parts[0].size() != 8)
        return false;
    const quint32 value = parts[0].toUInt(&addressOk, 16);
    *port = parts[1].toInt(&portOk, 16);
    uchar bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    *address = QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
    return addressOk && portOk;
}

std::vector<TcpEntry> tcpTable()
{
    std::vector<TcpEntry> entries;
    QFile file(QStringLiteral("/proc/net/tcp"));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 4)
            continue;
        TcpEntry entry;
        bool stateOk = false;
        entry.state = fields[3].toInt(&stateOk, 16);
        if (stateOk && parseEndpoint(fields[1], &entry.localAddress, &entry.localPort)
            && parseEndpoint(fields[2], &entry.remoteAddress, &entry.remotePort))
            entries.push_back(entry);
    }
    return entries;
}

// A /24 block of 127/8 in which no socket exists yet.
int freeBlock()
{
    const std::vector<TcpEntry> table = tcpTable();
    for (int attempt = 0; attempt < 240; ++attempt) {
        const int block = 10 + static_cast<int>((QCoreApplication::applicationPid() + attempt) % 240);
        const QString prefix = QStringLiteral("127.77.%1.").arg(block);
        const bool used = std::any_of(table.begin(), table.end(), [&prefix](const TcpEntry &entry) {
            return entry.localAddress.startsWith(prefix) || entry.remoteAddress.startsWith(prefix);
        });
        if (!used)
            return block;
    }
    return -1;
}

struct Links {
    int peers = 0;       // distinct other copies with at least one connection
    int connections = 0; // established control connections in all
};

// Each connection between two copies shows up twice in the table, once from
// each end; counting only the entries whose local address is the copy's own
// counts every connection of that copy exactly once. Either end may hold the
// control port, depending on who connected.
std::vector<Links> linksPerCopy(const QStringList &addresses)
{
    const std::vector<TcpEntry> table = tcpTable();
    std::vector<Links> result;
    const QSet<QString> copies(addresses.begin(), addresses.end());
    for (const QString &own : addresses) {
        QSet<QString> peers;
        Links links;
        for (const TcpEntry &entry : table) {
            if (entry.state == TcpEstablished && entry.localAddress == own
                && (entry.localPort == ControlPort || entry.remotePort == ControlPort)
                && entry.remoteAddress != own && copies.contains(entry.remoteAddress)) {
                peers.insert(entry.remoteAddress);
                ++links.connections;
            }
        }
        links.peers = static_cast<int>(peers.size());
        result.push_back(links);
    }
    return result;
}

bool listens(const QString &address)
{
    const std::vector<TcpEntry> table = tcpTable();
    return std::any_of(table.begin(), table.end(), [&address](const TcpEntry &entry) {
        return entry.state == TcpListen && entry.localAddress == address && entry.localPort == ControlPort;
    });
}

class Copy final
{
    Q_DISABLE_COPY_MOVE(Copy)

public:
    Copy(const QString &address, const QByteArray &name, const QByteArray &recentHosts)
        : m_address(address)
    {
        SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                               m_home.filePath(QStringLiteral("settings/machine.ini")));
        settings.set(QLatin1String(SettingNames::Nickname), name);
        // Neither probe nor announcement: only host lists may complete the mesh.
        settings.set(QLatin1String(SettingNames::EnableScanning), "0");
        settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                               QLatin1String(SettingNames::ProductID), name);
        if (!recentHosts.isEmpty())
            settings.setMachine(QLatin1String(SettingNames::RecentHosts), recentHosts);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
        environment.insert(QStringLiteral("QUELM_ADDRESS"), m_address);
        m_process.setProcessEnvironment(environment);
        // The mesh does not involve the window: the headless build serves.
        m_process.setProgram(QStringLiteral(QUELMD_EXECUTABLE));
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        // Copies end with the benchmark, however it ends.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }

    ~Copy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString address() const { return m_address; }
    qint64 pid() const { return m_process.processId(); }

    bool start()
    {
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ListenTimeoutMs && m_process.state() == QProcess::Running) {
            if (listens(m_address))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

private:
    QString m_address;
    QTemporaryDir m_home;
    QProcess m_process;
};

double seconds(qint64 ms)
{
    return static_cast<double>(ms) / 1000.0;
}

template <typename T>
T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? T{} : values[values.size() / 2];
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int cpuWindowSeconds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : DefaultCpuWindowSeconds;

    const int block = freeBlock();
    if (block < 0) {
        std::printf("no free address block in 127.77.0.0/16\n");
        return 1;
    }
    const auto addressOf = [block](int copy) { return QStringLiteral("127.77.%1.%2").arg(block).arg(copy + 1); };

    QStringList addresses;
    for (int copy = 0; copy < MeshSize; ++copy)
        addresses.append(addressOf(copy));

    // Copy i knows only copy i-1; the first knows the last, which is not up
    // yet when the first starts, so that attempt simply fails.
    std::vector<std::unique_ptr<Copy>> copies;
    for (int copy = 0; copy < MeshSize; ++copy) {
        const QString known = addressOf((copy + MeshSize - 1) % MeshSize);
        copies.push_back(std::make_unique<Copy>(addressOf(copy), "bench-" + QByteArray::number(copy + 1),
                                                known.toLatin1() + ';'));
    }
    // Told nothing and probing nothing: the reference for a copy without links.
    Copy alone(addressOf(MeshSize), "bench-alone", {});

    std::printf("Mesh of %d copies on 127.77.%d.1-%d, each told one address; reference copy on %s\n", MeshSize,
                block, MeshSize, qPrintable(alone.address()));
    std::fflush(stdout);

    if (!alone.start()) {
        std::printf("the reference copy did not start listening within %d ms\n", ListenTimeoutMs);
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    // Each copy is up before the next one starts, so every copy's one
    // address answers when it is tried.
    for (const auto &copy : copies) {
        if (!copy->start()) {
            std::printf("%s did not start listening within %d ms\n", qPrintable(copy->address()), ListenTimeoutMs);
            return 1;
        }
    }
    const qint64 allListening = clock.elapsed();

    std::vector<Links> links = linksPerCopy(addresses);
    qint64 meshedAt = -1;
    while (clock.elapsed() < GiveUpMs) {
        links = linksPerCopy(addresses);
        if (std::all_of(links.begin(), links.end(), [](const Links &l) { return l.peers == MeshSize - 1; })) {
            meshedAt = clock.elapsed();
            break;
        }
        QThread::msleep(PollMs);
    }

    QThread::msleep(SettleMs);
    std::vector<qint64> ticksBefore;
    for (const auto &copy : copies)
        ticksBefore.push_back(QuelmProcess::cpuTicks(copy->pid()));
    const qint64 aloneTicksBefore = QuelmProcess::cpuTicks(alone.pid());
    QElapsedTimer window;
    window.start();
    QThread::sleep(static_cast<unsigned long>(cpuWindowSeconds));
    const double windowSeconds = seconds(window.elapsed());
    const double ticksPerSecond = static_cast<double>(::sysconf(_SC_CLK_TCK));

    std::vector<double> cpuPercent;
    for (size_t i = 0; i < copies.size(); ++i) {
        const qint64 after = QuelmProcess::cpuTicks(copies[i]->pid());
        if (after >= 0 && ticksBefore[i] >= 0)
            cpuPercent.push_back(static_cast<double>(after - ticksBefore[i]) / ticksPerSecond / windowSeconds * 100.0);
    }
    const double aloneCpu =
        static_cast<double>(QuelmProcess::cpuTicks(alone.pid()) - aloneTicksBefore) / ticksPerSecond / windowSeconds * 100.0;

    std::vector<qint64> rss;
    for (const auto &copy : copies)
        rss.push_back(QuelmProcess::residentKiB(copy->pid()));
    const qint64 aloneRss = QuelmProcess::residentKiB(alone.pid());
    const std::vector<Links> finalLinks = linksPerCopy(addresses);
    const int aloneLinks = linksPerCopy({alone.address()}).front().peers;

    const auto [minPeers, maxPeers] = std::minmax_element(finalLinks.begin(), finalLinks.end(),
                                                          [](const Links &a, const Links &b) { return a.peers < b.peers; });
    int extraConnections = 0;
    for (const Links &l : finalLinks)
        extraConnections += l.connections - l.peers;
    double meanCpu = 0;
    for (double percent : cpuPercent)
        meanCpu += percent;
    meanCpu = cpuPercent.empty() ? 0 : meanCpu / static_cast<double>(cpuPercent.size());
    const double maxCpu = cpuPercent.empty() ? 0 : *std::max_element(cpuPercent.begin(), cpuPercent.end());
    const qint64 meshedRss = median(rss);
    const double kibPerLink = static_cast<double>(meshedRss - aloneRss) / (MeshSize - 1);

    std::printf("\n%-44s %-22s %-16s %s\n", "figure", "measured", "target", "");
    std::printf("%-44s %-22s %-16s %s\n", "--------------------------------------------", "--------------------",
                "--------------", "------");
    std::printf("%-44s %-22.2f\n", "all copies listening (s after first start)", seconds(allListening));
    if (meshedAt >= 0) {
        std::printf("%-44s %-22.2f %-16s %s\n", "full mesh (s after first start)", seconds(meshedAt), "< 30 s",
                    verdict(seconds(meshedAt) < TargetMeshSeconds));
        std::printf("%-44s %-22.2f\n", "full mesh (s after last copy listened)", seconds(meshedAt - allListening));
    } else {
        const auto lowest = std::min_element(links.begin(), links.end(),
                                             [](const Links &a, const Links &b) { return a.peers < b.peers; });
        std::printf("%-44s %-22s %-16s %s\n", "full mesh", "not within 120 s", "< 30 s", verdict(false));
        std::printf("%-44s %d of %d\n", "fewest links of a copy at give-up", lowest->peers, MeshSize - 1);
    }
    std::printf("%-44s %d .. %d of %d\n", "links per copy after the CPU window", minPeers->peers, maxPeers->peers,
                MeshSize - 1);
    std::printf("%-44s %d\n", "connections beyond one per pair (all copies)", extraConnections / 2);
    char cpuText[64];
    std::snprintf(cpuText, sizeof cpuText, "%.3f%% / %.3f%%", meanCpu, maxCpu);
    std::printf("%-44s %-22s %-16s %s\n", "idle CPU per meshed copy (mean / max)", cpuText, "< 0.5% core",
                verdict(maxCpu < TargetCpuPercent));
    std::printf("%-44s %.3f%%  (over %.1f s)\n", "idle CPU of the reference copy", aloneCpu, windowSeconds);
    std::printf("%-44s %lld KiB (min %lld, max %lld)\n", "RSS of a copy with 29 links (median)",
                static_cast<long long>(meshedRss), static_cast<long long>(*std::min_element(rss.begin(), rss.end())),
                static_cast<long long>(*std::max_element(rss.begin(), rss.end())));
    std::printf("%-44s %lld KiB (%d links)\n", "RSS of the reference copy", static_cast<long long>(aloneRss), aloneLinks);
    std::printf("%-44s %-22.1f %-16s %s\n", "memory per control link (KiB)", kibPerLink, "< 64 KiB",
                verdict(kibPerLink < TargetKiBPerLink));
    std::fflush(stdout);
    return 0;
}
