// Three real quelm processes, each in a network namespace of its own, joined by
// a bridge that lives in one more namespace; and one copy on two networks at
// once. Nothing here touches the machine's own network, and no namespace has
// a route out.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/discovery.h"
#include "net/hostcache.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int CopyCount = 3;
constexpr int ControlPort = 1971;
// A private block that exists only inside this test's namespaces; the copies
// sit at .1, .2 and .3, where the subnet probe looks first.
constexpr char SubnetPrefix[] = "10.213.77.";
constexpr char NamespacePrefix[] = "qlan";
constexpr int CommandTimeoutMs = 10000;
// Announcement and keep-alive repeat every 30 s from start-up: a missed
// start-up announcement must leave time for the next, and the UDP mesh is
// watched past the first repeated round.
constexpr int MeshTimeoutMs = 60000;
constexpr int HoldPastFirstRoundMs = 36000;
constexpr int SettleTimeoutMs = 10000;
constexpr int PollMs = 200;
constexpr char TcpEstablished[] = "01";
// The second network of a copy on two: its own end there, the far host's end,
// and an address the far host also claims from the copy's own network.
constexpr char OtherNetworkAddress[] = "10.213.78.1";
constexpr char FarHostAddress[] = "10.213.78.2";
constexpr char ForgedSender[] = "10.213.77.50";
constexpr int FarDatagrams = 5;
constexpr int AnnounceEveryMs = 1000;
constexpr int ConnectWaitMs = 10000;

QString addressOf(int copy)
{
    return QLatin1String(SubnetPrefix) + QString::number(copy + 1);
}

QString ipCommand()
{
    return QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                                  QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

// Runs ip with `arguments` split at blanks; empty when it succeeded, else what failed.
QString ip(const QString &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ipCommand(), arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (!process.waitForFinished(CommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(CommandTimeoutMs);
    }
    const QString text = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (output)
        *output = text;
    if (process.error() == QProcess::UnknownError && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    return QStringLiteral("ip %1: %2").arg(arguments, text.isEmpty() ? process.errorString() : text);
}

// Deletes this test's namespaces: those of `tag`, or without one, those
// left by earlier runs that were killed before their own clean-up (the names
// carry the pid of their run).
void removeNamespaces(const QString &tag = {})
{
    QString list;
    if (!ip(QStringLiteral("netns list"), &list).isEmpty())
        return;
    static const QRegularExpression ours(QStringLiteral("^%1(\\d+)-\\S+").arg(QLatin1String(NamespacePrefix)));
    for (const QString &line : list.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = ours.match(line);
        if (match.hasMatch() && (tag.isEmpty() ? !QFile::exists(QStringLiteral("/proc/") + match.captured(1))
                                               : match.captured(0).startsWith(tag + QLatin1Char('-'))))
            ip(QStringLiteral("netns delete ") + match.captured(0));
    }
}

// A socket of `type` made inside the named namespace, or -1. Only making it
// needs the namespace, and only this one short-lived thread enters it: a
// socket keeps the namespace it was made in for binding and sending.
int socketIn(const QString &space, int type)
{
    int fd = -1;
    std::thread([&fd, path = QFile::encodeName(QStringLiteral("/var/run/netns/") + space), type] {
        const int spaceFd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (spaceFd < 0)
            return;
        if (::setns(spaceFd, CLONE_NEWNET) == 0)
            fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        ::close(spaceFd);
    }).join();
    return fd;
}

sockaddr_in endpoint(const QString &address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.toLatin1().constData(), &result.sin_addr);
    return result;
}

// A listener on `address` at the control port inside `space` that counts the
// connections it takes; null when it cannot listen.
std::unique_ptr<QTcpServer> listenIn(const QString &space, const QString &address, int &accepted)
{
    const int fd = socketIn(space, SOCK_STREAM);
    const sockaddr_in at = endpoint(address, ControlPort);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0 || ::listen(fd, 16) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    auto server = std::make_unique<QTcpServer>();
    if (!server->setSocketDescriptor(fd)) {
        ::close(fd);
        return nullptr;
    }
    QObject::connect(server.get(), &QTcpServer::newConnection, server.get(), [&accepted, raw = server.get()] {
        while (QTcpSocket *socket = raw->nextPendingConnection()) {
            ++accepted;
            socket->deleteLater();
        }
    });
    return server;
}

// Sends one announcement of `announced` from `from` to `to` inside `space`.
bool announceIn(const QString &space, const QString &from, const QString &to, const QString &announced)
{
    const std::optional<QByteArray> datagram =
        HostCache::shiftCodes('|' + announced.toLatin1(), Discovery::AnnouncementShift);
    const int fd = socketIn(space, SOCK_DGRAM);
    if (!datagram || fd < 0)
        return false;
    const sockaddr_in source = endpoint(from, 0);
    const sockaddr_in target = endpoint(to, ControlPort);
    const bool sent = ::bind(fd, reinterpret_cast<const sockaddr *>(&source), sizeof source) == 0
                      && ::sendto(fd, datagram->constData(), static_cast<size_t>(datagram->size()), 0,
                                  reinterpret_cast<const sockaddr *>(&target), sizeof target)
                             == datagram->size();
    ::close(fd);
    return sent;
}

// Datagrams the system has handed to UDP sockets in the namespace of `pid`.
qint64 udpDatagramsDelivered(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/net/snmp").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith("Udp: "))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const qsizetype at = names.indexOf("InDatagrams");
        return at > 0 && at < fields.size() ? fields.at(at).toLongLong() : -1;
    }
    return -1;
}

// A quelm process started inside a namespace, with its own program folder and
// settings prepared before its first start.
class NamespacedCopy final
{
public:
    NamespacedCopy(int copy, const QString &space, const char *enableUdp, const char *enableTcp)
        : m_address(addressOf(copy))
    {
        SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                               m_home.filePath(QStringLiteral("settings/machine.ini")));
        settings.set(QLatin1String(SettingNames::Nickname), "lan" + QByteArray::number(copy + 1));
        settings.set(QLatin1String(SettingNames::EnableScanning), "1");
        settings.set(QLatin1String(SettingNames::EnableUDP), enableUdp);
        settings.set(QLatin1String(SettingNames::EnableTCP), enableTcp);
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
        const bool endedByItself = m_process.state() == QProcess::NotRunning;
        m_process.kill();
        m_process.waitForFinished(CommandTimeoutMs);
        QFile log(logPath());
        if (QTest::currentTestFailed() && log.open(QIODevice::ReadOnly))
            qInfo().noquote() << "copy" << m_address << (endedByItself ? "had ended by itself" : "ran until the end")
                              << "; its output:\n" << log.readAll().right(4000);
    }

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    void launch() { m_process.start(); }

    // Established control connections to the other copies, as
    // "local:port>remote:port". /proc shows each address as the kernel's four
    // bytes printed as one number in this machine's byte order.
    QStringList links() const
    {
        QFile file(QStringLiteral("/proc/%1/net/tcp").arg(m_process.processId()));
        const QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
        const QString own = m_address + QLatin1Char(':');
        const QString port = QStringLiteral(":%1").arg(ControlPort);
        QStringList found;
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4 || fields[3] != TcpEstablished)
                continue;
            QStringList ends;
            for (const QByteArray &end : {fields[1], fields[2]}) {
                const quint32 value = end.left(8).toUInt(nullptr, 16);
                uchar b[4];
                std::memcpy(b, &value, sizeof b);
                ends << QStringLiteral("%1.%2.%3.%4:%5").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]).arg(end.mid(9).toInt(nullptr, 16));
            }
            if (ends[0].startsWith(own) && ends[1].startsWith(QLatin1String(SubnetPrefix)) && !ends[1].startsWith(own)
                && (ends[0].endsWith(port) || ends[1].endsWith(port)))
                found << ends.join(QLatin1Char('>'));
        }
        return found;
    }

private:
    QString logPath() const { return m_home.filePath(QStringLiteral("quelm.log")); }

    QString m_address;
    QTemporaryDir m_home;
    QProcess m_process;
};

using Copies = std::vector<std::unique_ptr<NamespacedCopy>>;

// Every copy's control connections, sorted: a link that was replaced changes here.
QStringList observe(const Copies &copies)
{
    QStringList seen;
    for (const auto &copy : copies)
        seen += copy->links();
    seen.sort();
    return seen;
}

bool everyPairLinked(const QStringList &seen, bool exactlyOnce)
{
    QMap<QString, int> pairs;
    for (const QString &link : seen)
        ++pairs[link.section(QLatin1Char(':'), 0, 0) + QLatin1Char('>') + link.section(QLatin1Char('>'), 1).section(QLatin1Char(':'), 0, 0)];
    const QList<int> counts = pairs.values();
    return pairs.size() == CopyCount * (CopyCount - 1) && (!exactlyOnce || *std::max_element(counts.begin(), counts.end()) == 1);
}

} // namespace

class LanTest : public QObject
{
    Q_OBJECT

    int m_run = 0;
    QString m_tag;

    QString namespaceOf(int copy) const { return m_tag + QLatin1Char('-') + QString::number(copy + 1); }

    // Names this run's namespaces apart from those of earlier runs and tests.
    void startRun()
    {
        m_tag = QStringLiteral("%1%2-%3").arg(QLatin1String(NamespacePrefix)).arg(QCoreApplication::applicationPid()).arg(++m_run);
    }

    // One namespace per copy, each with loopback and one end of a veth pair;
    // the other ends meet on a bridge inside a namespace of its own. No
    // default route anywhere, no address on the bridge. Empty when the whole
    // network stands, else what failed.
    QString buildLan()
    {
        startRun();
        const QString bridge = m_tag + QLatin1String("-br");
        QStringList steps{QStringLiteral("netns add ") + bridge, QStringLiteral("-n %1 link add br0 type bridge").arg(bridge),
                          QStringLiteral("-n %1 link set br0 up").arg(bridge)};
        for (int copy = 0; copy < CopyCount; ++copy) {
            const QString space = namespaceOf(copy);
            const QString port = QStringLiteral("v%1").arg(copy + 1);
            steps << QStringLiteral("netns add ") + space
                  << QStringLiteral("-n %1 link add %2 type veth peer name eth0 netns %3").arg(bridge, port, space)
                  << QStringLiteral("-n %1 link set %2 master br0 up").arg(bridge, port)
                  << QStringLiteral("-n %1 link set lo up").arg(space)
                  << QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(space, addressOf(copy))
                  << QStringLiteral("-n %1 link set eth0 up").arg(space);
        }
        for (const QString &step : steps) {
            if (QString error = ip(step); !error.isEmpty())
                return error;
        }
        // A guard, not a step: a route out would let the probe leave the test.
        for (int copy = 0; copy < CopyCount; ++copy) {
            QString routes;
            const QString error = ip(QStringLiteral("-n %1 route show default").arg(namespaceOf(copy)), &routes);
            if (!error.isEmpty() || !routes.isEmpty())
                return QStringLiteral("%1 has a default route or none can be read: %2%3").arg(namespaceOf(copy), error, routes);
        }
        return ip(QStringLiteral("netns exec %1 true").arg(namespaceOf(0)));
    }

    QString nearNamespace() const { return m_tag + QLatin1String("-near"); }
    QString farNamespace() const { return m_tag + QLatin1String("-far"); }

    // The copy's namespace with two links: its own network to a near host
    // holding three of its addresses, and another network to a far host that
    // also claims an address of the copy's own network. Reverse-path
    // filtering is off there, so the system hands the far host's datagrams
    // to the copy and the copy itself must refuse them. Empty when it all
    // stands, else what failed.
    QString buildTwoNetworks()
    {
        startRun();
        const QString copy = namespaceOf(0);
        const QString near = nearNamespace();
        const QString far = farNamespace();
        const QStringList steps{
            QStringLiteral("netns add ") + copy,
            QStringLiteral("netns add ") + near,
            QStringLiteral("netns add ") + far,
            QStringLiteral("-n %1 link add eth0 type veth peer name eth0 netns %2").arg(copy, near),
            QStringLiteral("-n %1 link add eth1 type veth peer name eth0 netns %2").arg(copy, far),
            QStringLiteral("-n %1 link set lo up").arg(copy),
            QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(copy, addressOf(0)),
            QStringLiteral("-n %1 addr add %2/24 dev eth1").arg(copy, QLatin1String(OtherNetworkAddress)),
            QStringLiteral("-n %1 link set eth0 up").arg(copy),
            QStringLiteral("-n %1 link set eth1 up").arg(copy),
            QStringLiteral("netns exec %1 sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth1.rp_filter=0").arg(copy),
            QStringLiteral("-n %1 link set lo up").arg(near),
            QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(near, addressOf(1)),
            QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(near, addressOf(2)),
            QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(near, addressOf(3)),
            QStringLiteral("-n %1 link set eth0 up").arg(near),
            QStringLiteral("-n %1 link set lo up").arg(far),
            QStringLiteral("-n %1 addr add %2/24 dev eth0").arg(far, QLatin1String(FarHostAddress)),
            QStringLiteral("-n %1 addr add %2/32 dev eth0").arg(far, QLatin1String(ForgedSender)),
            QStringLiteral("-n %1 link set eth0 up").arg(far),
        };
        for (const QString &step : steps) {
            if (QString error = ip(step); !error.isEmpty())
                return error;
        }
        for (const QString &space : {copy, near, far}) {
            QString routes;
            const QString error = ip(QStringLiteral("-n %1 route show default").arg(space), &routes);
            if (!error.isEmpty() || !routes.isEmpty())
                return QStringLiteral("%1 has a default route or none can be read: %2%3").arg(space, error, routes);
        }
        return {};
    }

    void meshForms(const char *how, const char *enableUdp, const char *enableTcp, int holdUntilMs)
    {
        if (const QString error = buildLan(); !error.isEmpty())
            QSKIP(qPrintable(QStringLiteral("cannot build network namespaces on a bridge here: ") + error));

        QElapsedTimer clock;
        clock.start();
        Copies copies;
        for (int copy = 0; copy < CopyCount; ++copy)
            copies.push_back(std::make_unique<NamespacedCopy>(copy, namespaceOf(copy), enableUdp, enableTcp));
        // All at once, as machines on a network come up: the start-up
        // announcements cross, and so do the connections they cause.
        for (const auto &copy : copies)
            copy->launch();
        QStringList seen;
        while (!everyPairLinked(seen = observe(copies), false)) {
            QVERIFY2(std::all_of(copies.begin(), copies.end(), [](const auto &copy) { return copy->running(); }),
                     "a copy ended while the mesh formed");
            QVERIFY2(clock.elapsed() < MeshTimeoutMs, qPrintable(QStringLiteral("no full mesh by %1 within %2 ms: %3")
                                                                    .arg(QLatin1String(how)).arg(MeshTimeoutMs).arg(seen.join(QLatin1Char(' ')))));
            QTest::qWait(PollMs);
        }
        // Crossing attempts may leave a second connection for a moment; each
        // pair must settle on one link, never lose the last (a copy that ended
        // has none), and keep it while both ends run.
        const qint64 settleDeadline = clock.elapsed() + SettleTimeoutMs;
        QStringList settled;
        while (settled.isEmpty() || clock.elapsed() < holdUntilMs) {
            if (settled.isEmpty() && everyPairLinked(seen, true))
                settled = seen;
            QVERIFY2(!settled.isEmpty() || clock.elapsed() < settleDeadline,
                     qPrintable(QStringLiteral("not one link per pair: ") + seen.join(QLatin1Char(' '))));
            QTest::qWait(PollMs);
            QVERIFY2(everyPairLinked(seen = observe(copies), false),
                     qPrintable(QStringLiteral("a pair lost its link after %1 ms: %2").arg(clock.elapsed()).arg(seen.join(QLatin1Char(' ')))));
        }
        QVERIFY2(seen == settled, qPrintable(QStringLiteral("links were replaced while both ends ran: %1 became %2")
                                                 .arg(settled.join(QLatin1Char(' ')), seen.join(QLatin1Char(' ')))));
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("creating network namespaces needs root; the LAN test runs only as root");
        if (ipCommand().isEmpty())
            QSKIP("the ip command (Debian package iproute2) is missing; the LAN test needs it for network namespaces");
        removeNamespaces();
    }

    // Runs after every test function, failed or skipped, once its copies have ended.
    void cleanup() { removeNamespaces(m_tag); }

    // The probe stays off, so only the announcement can introduce the copies;
    // neither the repeated announcement nor the first keep-alive may close or
    // replace a link.
    void meshByUdpAnnouncement() { meshForms("UDP announcement", "1", "0", HoldPastFirstRoundMs); }

    void meshByTcpScan() { meshForms("TCP scan", "0", "1", 0); }

    // An announcement that reaches the copy on another network than its own
    // address's is dropped, even when its sender claims an address of the
    // copy's own network; the same announcement on the own network is acted on.
    void announcementsFromAnotherNetworkAreDropped()
    {
        if (const QString error = buildTwoNetworks(); !error.isEmpty())
            QSKIP(qPrintable(QStringLiteral("cannot build two networks in namespaces here: ") + error));
        int readyAccepted = 0;
        int forgedAccepted = 0;
        int laterAccepted = 0;
        const auto ready = listenIn(nearNamespace(), addressOf(1), readyAccepted);
        const auto forged = listenIn(nearNamespace(), addressOf(2), forgedAccepted);
        const auto later = listenIn(nearNamespace(), addressOf(3), laterAccepted);
        QVERIFY(ready && forged && later);
        NamespacedCopy copy(0, namespaceOf(0), "1", "0");
        copy.launch();

        // Announced on the own network until the copy acts on it: it runs, and its scan with it.
        QElapsedTimer clock;
        clock.start();
        while (readyAccepted == 0) {
            QVERIFY2(copy.running(), "the copy ended before it acted on an announcement");
            QVERIFY2(clock.elapsed() < MeshTimeoutMs, "the copy never acted on an announcement from its own network");
            QVERIFY(announceIn(nearNamespace(), addressOf(1), addressOf(0), addressOf(1)));
            QTest::qWait(AnnounceEveryMs);
        }

        const qint64 before = udpDatagramsDelivered(copy.processId());
        QVERIFY(before >= 0);
        for (int i = 0; i < FarDatagrams; ++i)
            QVERIFY(announceIn(farNamespace(), QLatin1String(ForgedSender), QLatin1String(OtherNetworkAddress),
                               addressOf(2)));
        const auto delivered = [&] { return udpDatagramsDelivered(copy.processId()) >= before + FarDatagrams; };
        if (!QTest::qWaitFor(delivered, ConnectWaitMs))
            QSKIP("the system here does not hand datagrams from the other network to the copy's socket");

        // Read after the far ones, so by the time the copy connects here it has judged them.
        QVERIFY(announceIn(nearNamespace(), addressOf(1), addressOf(0), addressOf(3)));
        QTRY_VERIFY_WITH_TIMEOUT(laterAccepted > 0, ConnectWaitMs);
        QCOMPARE(forgedAccepted, 0);
        QVERIFY(copy.running());
    }
};

QTEST_GUILESS_MAIN(LanTest)
#include "tst_lan.moc"
