// Three real quelm processes, each in a network namespace of its own, joined by
// a bridge that lives in one more namespace: nothing here touches the machine's
// own network, and no namespace has a route out. The copies must find each
// other by the UDP announcement alone, and again, with UDP off, by the TCP
// probe of their subnet.

#include "shell/settingnames.h"
#include "shell/settingsstore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int CopyCount = 3;
constexpr int ControlPort = 1971;
// A private block that exists only inside this test's namespaces. The copies
// sit at .1, .2 and .3, where the subnet probe looks first.
constexpr char SubnetPrefix[] = "10.213.77.";
constexpr char NamespacePrefix[] = "qlan";
constexpr int CommandTimeoutMs = 10000;
constexpr int ListenTimeoutMs = 20000;
// The announcement repeats every 30 s; one missed start-up announcement
// must still leave time for the next.
constexpr int MeshTimeoutMs = 60000;
constexpr int SettleTimeoutMs = 10000;
// Announcement and keep-alive both repeat every 30 s from start-up.
constexpr int HoldPastFirstRoundMs = 36000;
constexpr int PollMs = 200;
constexpr int HoldPollMs = 500;

constexpr int TcpEstablished = 0x01;
constexpr int TcpListen = 0x0A;

QString ipCommand()
{
    return QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                                  QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

struct CommandResult {
    bool ok = false;
    QString output;
};

CommandResult runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(ipCommand(), arguments);
    if (!ip.waitForStarted(CommandTimeoutMs))
        return {false, QStringLiteral("ip did not start")};
    if (!ip.waitForFinished(CommandTimeoutMs)) {
        ip.kill();
        ip.waitForFinished(CommandTimeoutMs);
        return {false, QStringLiteral("ip %1: no answer within %2 ms").arg(arguments.join(QLatin1Char(' '))).arg(CommandTimeoutMs)};
    }
    const QString output = QString::fromLocal8Bit(ip.readAll()).trimmed();
    const bool ok = ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
    return {ok, ok ? output : QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), output)};
}

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

// The IPv4 TCP sockets of the network namespace that process `pid` lives in.
std::vector<TcpEntry> tcpTableOf(qint64 pid)
{
    std::vector<TcpEntry> entries;
    QFile file(QStringLiteral("/proc/%1/net/tcp").arg(pid));
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

QString addressOf(int copy)
{
    return QLatin1String(SubnetPrefix) + QString::number(copy + 1);
}

// Removes namespaces left by an earlier run of this test that died before
// its own clean-up (their names carry the pid of that run).
void removeStaleNamespaces()
{
    const CommandResult list = runIp({QStringLiteral("netns"), QStringLiteral("list")});
    if (!list.ok)
        return;
    static const QRegularExpression ours(QStringLiteral("^%1(\\d+)-").arg(QLatin1String(NamespacePrefix)));
    for (const QString &line : list.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        const QRegularExpressionMatch match = ours.match(name);
        if (match.hasMatch() && match.captured(1).toLongLong() != QCoreApplication::applicationPid()
            && !QFile::exists(QStringLiteral("/proc/") + match.captured(1)))
            runIp({QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
}

// One namespace per copy, each with loopback and one end of a veth pair; the
// other ends meet on a bridge inside a namespace of its own. No default route
// anywhere, no address on the bridge.
class Lan final
{
    Q_DISABLE_COPY_MOVE(Lan)

public:
    explicit Lan(int run)
        : m_tag(QStringLiteral("%1%2-%3").arg(QLatin1String(NamespacePrefix)).arg(QCoreApplication::applicationPid()).arg(run))
    {
    }

    ~Lan()
    {
        // Copies' namespaces first; the bridge's goes last and takes the veth ends with it.
        for (auto name = m_created.crbegin(); name != m_created.crend(); ++name)
            runIp({QStringLiteral("netns"), QStringLiteral("delete"), *name});
    }

    QString bridgeNamespace() const { return m_tag + QLatin1String("-br"); }
    QString namespaceOf(int copy) const { return m_tag + QLatin1Char('-') + QString::number(copy + 1); }

    // Empty when the whole network stands, else what failed.
    QString build()
    {
        const QString bridge = bridgeNamespace();
        if (QString error = addNamespace(bridge); !error.isEmpty())
            return error;
        const QList<QStringList> bridgeSteps = {
            {QStringLiteral("-n"), bridge, QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("br0"),
             QStringLiteral("type"), QStringLiteral("bridge")},
            {QStringLiteral("-n"), bridge, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("br0"),
             QStringLiteral("up")},
        };
        if (QString error = runAll(bridgeSteps); !error.isEmpty())
            return error;
        for (int copy = 0; copy < CopyCount; ++copy) {
            const QString space = namespaceOf(copy);
            const QString port = QStringLiteral("v%1").arg(copy + 1);
            if (QString error = addNamespace(space); !error.isEmpty())
                return error;
            const QList<QStringList> steps = {
                {QStringLiteral("-n"), bridge, QStringLiteral("link"), QStringLiteral("add"), port,
                 QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"),
                 QStringLiteral("eth0"), QStringLiteral("netns"), space},
                {QStringLiteral("-n"), bridge, QStringLiteral("link"), QStringLiteral("set"), port,
                 QStringLiteral("master"), QStringLiteral("br0"), QStringLiteral("up")},
                {QStringLiteral("-n"), space, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                 QStringLiteral("up")},
                {QStringLiteral("-n"), space, QStringLiteral("addr"), QStringLiteral("add"),
                 addressOf(copy) + QLatin1String("/24"), QStringLiteral("dev"), QStringLiteral("eth0")},
                {QStringLiteral("-n"), space, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("eth0"),
                 QStringLiteral("up")},
            };
            if (QString error = runAll(steps); !error.isEmpty())
                return error;
            // A guard, not a step: a route out would let the probe leave the test.
            const CommandResult routes = runIp({QStringLiteral("-n"), space, QStringLiteral("route"),
                                                QStringLiteral("show"), QStringLiteral("default")});
            if (!routes.ok || !routes.output.isEmpty())
                return QStringLiteral("namespace %1 has a default route or none can be read: %2").arg(space, routes.output);
        }
        const CommandResult exec = runIp({QStringLiteral("netns"), QStringLiteral("exec"), namespaceOf(0),
                                          QStringLiteral("true")});
        return exec.ok ? QString() : exec.output;
    }

private:
    QString addNamespace(const QString &name)
    {
        const CommandResult added = runIp({QStringLiteral("netns"), QStringLiteral("add"), name});
        if (!added.ok)
            return added.output;
        m_created.append(name);
        return {};
    }

    static QString runAll(const QList<QStringList> &steps)
    {
        for (const QStringList &step : steps) {
            const CommandResult result = runIp(step);
            if (!result.ok)
                return result.output;
        }
        return {};
    }

    QString m_tag;
    QStringList m_created;
};

struct DiscoverySwitches {
    const char *enableUdp;
    const char *enableTcp;
};

// A quelm process started inside a namespace, with its own program folder and
// settings prepared before its first start.
class NamespacedCopy final
{
    Q_DISABLE_COPY_MOVE(NamespacedCopy)

public:
    NamespacedCopy(int copy, const QString &space, DiscoverySwitches switches)
        : m_address(addressOf(copy))
    {
        SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                               m_home.filePath(QStringLiteral("settings/machine.ini")));
        settings.set(QLatin1String(SettingNames::Nickname), "lan" + QByteArray::number(copy + 1));
        settings.set(QLatin1String(SettingNames::EnableScanning), "1");
        settings.set(QLatin1String(SettingNames::EnableUDP), switches.enableUdp);
        settings.set(QLatin1String(SettingNames::EnableTCP), switches.enableTcp);
        settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                               QLatin1String(SettingNames::ProductID), "lan-copy-" + QByteArray::number(copy + 1));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
        environment.insert(QStringLiteral("QUELM_ADDRESS"), m_address);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(ipCommand());
        m_process.setArguments({QStringLiteral("netns"), QStringLiteral("exec"), space, QStringLiteral(QUELM_EXECUTABLE)});
        m_process.setStandardOutputFile(logPath(), QIODevice::Append);
        m_process.setStandardErrorFile(logPath(), QIODevice::Append);
        // A test that dies takes its copies with it. "ip netns exec" replaces
        // itself with quelm, which keeps this setting.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }

    ~NamespacedCopy()
    {
        m_endedByItself = m_process.state() == QProcess::NotRunning;
        if (!m_endedByItself) {
            m_process.kill();
            m_process.waitForFinished(CommandTimeoutMs);
        }
        if (QTest::currentTestFailed()) {
            QFile log(logPath());
            if (log.open(QIODevice::ReadOnly))
                qInfo().noquote() << "copy" << m_address << (m_endedByItself ? "had ended by itself" : "ran until the end")
                                  << "; its output:\n" << log.readAll().right(4000);
        }
    }

    QString address() const { return m_address; }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    void launch() { m_process.start(); }

    // Empty once the copy listens on its address and control port, else why not.
    QString waitUntilListening()
    {
        if (!m_process.waitForStarted(CommandTimeoutMs))
            return QStringLiteral("%1 did not start: %2").arg(m_address, m_process.errorString());
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ListenTimeoutMs) {
            for (const TcpEntry &entry : tcpTableOf(pid())) {
                if (entry.state == TcpListen && entry.localAddress == m_address && entry.localPort == ControlPort)
                    return {};
            }
            if (!running())
                return QStringLiteral("%1 ended during start-up, exit code %2").arg(m_address).arg(m_process.exitCode());
            QTest::qWait(PollMs);
        }
        return QStringLiteral("%1 does not listen on port %2 after %3 ms").arg(m_address).arg(ControlPort).arg(ListenTimeoutMs);
    }

    // Established control connections to the other copies. A link is one TCP
    // connection with the control port on the side that accepted it.
    std::vector<TcpEntry> controlConnections() const
    {
        std::vector<TcpEntry> found;
        for (const TcpEntry &entry : tcpTableOf(pid())) {
            if (entry.state == TcpEstablished && entry.localAddress == m_address
                && (entry.localPort == ControlPort || entry.remotePort == ControlPort)
                && entry.remoteAddress.startsWith(QLatin1String(SubnetPrefix)) && entry.remoteAddress != m_address)
                found.push_back(entry);
        }
        return found;
    }

private:
    QString logPath() const { return m_home.filePath(QStringLiteral("quelm.log")); }

    QString m_address;
    QTemporaryDir m_home;
    QProcess m_process;
    bool m_endedByItself = false;
};

// What each copy sees: its connections to every other copy, by address.
struct Observation {
    std::vector<QMap<QString, int>> links;
    // Both ends of every connection; a link that was replaced changes here.
    QStringList connections;
};

Observation observe(const std::vector<std::unique_ptr<NamespacedCopy>> &copies)
{
    Observation seen;
    for (const auto &copy : copies) {
        QMap<QString, int> links;
        for (const TcpEntry &entry : copy->controlConnections()) {
            ++links[entry.remoteAddress];
            seen.connections.append(QStringLiteral("%1:%2-%3:%4")
                                        .arg(entry.localAddress)
                                        .arg(entry.localPort)
                                        .arg(entry.remoteAddress)
                                        .arg(entry.remotePort));
        }
        seen.links.push_back(links);
    }
    seen.connections.sort();
    return seen;
}

bool everyPairLinked(const Observation &seen, int atLeast, int atMost)
{
    for (int copy = 0; copy < CopyCount; ++copy) {
        for (int other = 0; other < CopyCount; ++other) {
            const int links = seen.links[static_cast<size_t>(copy)].value(addressOf(other));
            if (other != copy && (links < atLeast || links > atMost))
                return false;
        }
    }
    return true;
}

QString describe(const Observation &seen)
{
    QStringList lines;
    for (int copy = 0; copy < CopyCount; ++copy) {
        QStringList peers;
        for (int other = 0; other < CopyCount; ++other) {
            if (other != copy)
                peers.append(QStringLiteral("%1 x%2").arg(addressOf(other)).arg(seen.links[static_cast<size_t>(copy)].value(addressOf(other))));
        }
        lines.append(QStringLiteral("%1 -> %2").arg(addressOf(copy), peers.join(QLatin1String(", "))));
    }
    return lines.join(QLatin1String("; "));
}

} // namespace

class LanTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void meshByUdpAnnouncement();
    void meshByTcpScan();

private:
    void meshForms(const char *how, DiscoverySwitches switches, int holdUntilMs);

    int m_run = 0;
};

void LanTest::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("creating network namespaces needs root; the LAN test runs only as root");
    if (ipCommand().isEmpty())
        QSKIP("the ip command (Debian package iproute2) is missing; the LAN test needs it for network namespaces");
    removeStaleNamespaces();
}

void LanTest::meshByUdpAnnouncement()
{
    // The probe stays off, so only the announcement can introduce the copies.
    // The mesh is watched past the repeated announcement and the first
    // keep-alive: neither may close or replace a link.
    meshForms("UDP announcement", {"1", "0"}, HoldPastFirstRoundMs);
}

void LanTest::meshByTcpScan()
{
    meshForms("TCP scan", {"0", "1"}, 0);
}

void LanTest::meshForms(const char *how, DiscoverySwitches switches, int holdUntilMs)
{
    // Declared before the copies so that it goes after them: processes end
    // before their namespaces are deleted.
    Lan lan(++m_run);
    if (const QString error = lan.build(); !error.isEmpty())
        QSKIP(qPrintable(QStringLiteral("cannot build network namespaces on a bridge here: ") + error));

    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<NamespacedCopy>> copies;
    for (int copy = 0; copy < CopyCount; ++copy)
        copies.push_back(std::make_unique<NamespacedCopy>(copy, lan.namespaceOf(copy), switches));
    // All at once, as machines on a network come up: the start-up
    // announcements cross, and so do the connections they cause.
    for (const auto &copy : copies)
        copy->launch();
    for (const auto &copy : copies) {
        const QString error = copy->waitUntilListening();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    const qint64 allListening = clock.elapsed();
    const auto allRunning = [&copies] {
        return std::all_of(copies.begin(), copies.end(), [](const auto &copy) { return copy->running(); });
    };

    Observation seen;
    while (clock.elapsed() < allListening + MeshTimeoutMs) {
        seen = observe(copies);
        if (everyPairLinked(seen, 1, INT_MAX))
            break;
        QVERIFY2(allRunning(), "a copy ended while the mesh formed");
        QTest::qWait(PollMs);
    }
    QVERIFY2(everyPairLinked(seen, 1, INT_MAX),
             qPrintable(QStringLiteral("no full mesh by %1 within %2 ms: %3")
                            .arg(QLatin1String(how))
                            .arg(MeshTimeoutMs)
                            .arg(describe(seen))));
    const qint64 meshed = clock.elapsed();

    // Crossing attempts may leave a second connection for a moment; the pair
    // must settle on one link and never lose the last.
    const qint64 settleStart = clock.elapsed();
    while (!everyPairLinked(seen, 1, 1) && clock.elapsed() < settleStart + SettleTimeoutMs) {
        QTest::qWait(PollMs);
        seen = observe(copies);
        QVERIFY2(allRunning(), "a copy ended while the mesh settled");
        QVERIFY2(everyPairLinked(seen, 1, INT_MAX),
                 qPrintable(QStringLiteral("a pair lost its link while settling: ") + describe(seen)));
    }
    const qint64 settled = clock.elapsed();
    const Observation settledSeen = seen;

    while (clock.elapsed() < holdUntilMs) {
        QTest::qWait(HoldPollMs);
        seen = observe(copies);
        QVERIFY2(allRunning(), qPrintable(QStringLiteral("a copy ended %1 ms after start").arg(clock.elapsed())));
        QVERIFY2(everyPairLinked(seen, 1, INT_MAX),
                 qPrintable(QStringLiteral("a pair lost its link after %1 ms: %2").arg(clock.elapsed()).arg(describe(seen))));
    }
    QVERIFY2(seen.connections == settledSeen.connections,
             qPrintable(QStringLiteral("links were replaced while both ends ran: %1 became %2")
                            .arg(settledSeen.connections.join(QLatin1Char(' ')), seen.connections.join(QLatin1Char(' ')))));

    qInfo().noquote() << QStringLiteral("%1: copies listening after %2 s, full mesh %3 s later, settled %4 s later, "
                                        "watched until %5 s; established control connections: %6")
                             .arg(QLatin1String(how))
                             .arg(allListening / 1000.0, 0, 'f', 1)
                             .arg((meshed - allListening) / 1000.0, 0, 'f', 1)
                             .arg((settled - meshed) / 1000.0, 0, 'f', 1)
                             .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                             .arg(describe(seen));
    if (!everyPairLinked(seen, 1, 1))
        qWarning().noquote() << "more than one connection per pair after" << SettleTimeoutMs << "ms:" << describe(seen);
}

QTEST_GUILESS_MAIN(LanTest)
#include "tst_lan.moc"
