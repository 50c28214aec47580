// What an idle windowed quelm costs: a real copy with its window on a virtual
// display (Xvfb), scanning as a new user's copy does, first alone and then
// with five quelmd peers. For each, once it has settled, the proportional
// set size (PSS) of the program and every process it started, and the CPU
// they used together over an idle interval, in percent of one core.
//
//   bench_idle [idle-seconds] [update-address]   (default 30, none)
//
// With an update address the Home tab's web engine runs; it must be on
// loopback. Copies listen on one block of 127/8 chosen per run; nothing
// leaves this machine's loopback.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/quelmprocess.h"
#include "support/virtualdisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int PeerCounts[] = {0, 5};
constexpr int SettleMs = 15000;
constexpr int StartWaitMs = 30000;

QString addressIn(quint32 block, int host)
{
    return QStringLiteral("127.%1.%2.%3").arg(block >> 8).arg(block & 0xff).arg(host);
}

bool listensOn(const QString &address)
{
    QTcpSocket probe;
    probe.connectToHost(address, QuelmProcess::Port);
    return probe.waitForConnected(500);
}

// The process and everything it started, from the parents /proc names.
std::vector<qint64> processTree(qint64 root)
{
    std::vector<std::pair<qint64, qint64>> parents;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // The fields after the name, which is in parentheses and may hold spaces.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parents.emplace_back(pid, fields[1].toLongLong());
    }
    std::vector<qint64> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const auto &[pid, parent] : parents) {
            if (parent == tree[i])
                tree.push_back(pid);
        }
    }
    return tree;
}

qint64 pssKiB(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 treeCpuTicks(const std::vector<qint64> &tree)
{
    qint64 ticks = 0;
    for (qint64 pid : tree)
        ticks += std::max<qint64>(0, QuelmProcess::cpuTicks(pid));
    return ticks;
}

// Established TCP connections whose local end is `address`, from /proc/net/tcp.
int establishedFrom(const QString &address)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QStringList octets = address.split(QLatin1Char('.'));
    QString local;
    for (int i = 3; i >= 0; --i)
        local += QStringLiteral("%1").arg(octets.value(i).toInt(), 2, 16, QLatin1Char('0')).toUpper();
    int count = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1].startsWith(local.toLatin1()) && fields[3] == "01")
            ++count;
    }
    return count;
}

// One windowed copy on `display`, scanning, that remembers `peers` from a previous run.
class WindowedCopy final
{
public:
    WindowedCopy(const QString &display, const QString &address, const QStringList &peers, const QString &update)
    {
        SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                               m_home.filePath(QStringLiteral("settings/machine.ini")));
        settings.set(QLatin1String(SettingNames::Nickname), "idle");
        settings.set(QLatin1String(SettingNames::FirstRun), "1");
        settings.setMachine(QLatin1String(SettingNames::RecentHosts), (peers.join(QLatin1Char(';')) + QLatin1Char(';')).toLatin1());
        settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                               QLatin1String(SettingNames::ProductID), "bench-" + address.toLatin1());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
        environment.insert(QStringLiteral("QUELM_ADDRESS"), address);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        environment.remove(QStringLiteral("QUELM_UPDATE_URL"));
        if (!update.isEmpty())
            environment.insert(QStringLiteral("QUELM_UPDATE_URL"), update);
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(QUELM_EXECUTABLE), {});
        m_process.waitForStarted();
    }
    ~WindowedCopy()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }

private:
    QTemporaryDir m_home;
    QProcess m_process;
};

void measure(const QString &display, quint32 block, int peerCount, int idleSeconds, const QString &update)
{
    // Each round on hosts of its own, so the previous round's closing connections do not meet it.
    const int firstHost = 1 + peerCount * 10;
    std::vector<std::unique_ptr<QuelmProcess>> peers;
    QStringList peerAddresses;
    for (int i = 0; i < peerCount; ++i) {
        const QString address = addressIn(block, firstHost + 1 + i);
        peers.push_back(std::make_unique<QuelmProcess>("peer" + QByteArray::number(i), 0, address,
                                                       QuelmProcess::Program::Headless));
        if (!peers.back()->start()) {
            std::printf("peer %d did not start\n", i);
            return;
        }
        peerAddresses.append(address);
    }
    const QString address = addressIn(block, firstHost);
    WindowedCopy copy(display, address, peerAddresses, update);
    for (int waited = 0; waited < StartWaitMs && copy.isRunning() && !listensOn(address); waited += 500)
        QTest::qWait(500);
    if (!copy.isRunning() || !listensOn(address)) {
        std::printf("%d peers: the windowed copy did not start\n", peerCount);
        return;
    }
    QTest::qWait(SettleMs);

    const std::vector<qint64> tree = processTree(copy.pid());
    const qint64 before = treeCpuTicks(tree);
    QTest::qWait(idleSeconds * 1000);
    const qint64 used = treeCpuTicks(tree) - before;
    qint64 pss = 0;
    for (qint64 pid : processTree(copy.pid()))
        pss += pssKiB(pid);
    const double percent = 100.0 * static_cast<double>(used) / static_cast<double>(sysconf(_SC_CLK_TCK))
                           / idleSeconds;
    std::printf("%d peers (%d connections): %zu processes, PSS %.1f MB, CPU %.2f %% of a core over %d s idle\n",
                peerCount, establishedFrom(address), tree.size(), static_cast<double>(pss) / 1024.0, percent,
                idleSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int idleSeconds = arguments.size() > 1 ? qMax(1, arguments[1].toInt()) : 30;
    const QString update = arguments.value(2);
    if (!update.isEmpty() && !QUrl(update).host().startsWith(QLatin1String("127."))) {
        std::printf("the update address must be on 127.0.0.0/8\n");
        return 1;
    }
    if (!VirtualDisplay::isInstalled()) {
        std::printf("needs Xvfb and xwininfo\n");
        return 1;
    }
    VirtualDisplay display;
    if (!display.start()) {
        std::printf("Xvfb did not start\n");
        return 1;
    }
    const quint32 block = QRandomGenerator::global()->bounded(1u, 250u) << 8 | QRandomGenerator::global()->bounded(1u, 250u);
    std::printf("windowed quelm on %s, update page %s\n", qPrintable(display.name()),
                update.isEmpty() ? "none" : qPrintable(update));
    for (int peerCount : PeerCounts)
        measure(display.name(), block, peerCount, idleSeconds, update);
    return 0;
}
