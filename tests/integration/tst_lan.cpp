// Real quelm processes (three, and twelve headless ones), each in a network
// namespace of its own, joined by a bridge that lives in one more namespace;
// and one copy on two networks at once. Nothing here touches the machine's own network, and no namespace has
// a route out.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/discovery.h"
#include "net/hostcache.h"
#include "support/bridgedlan.h"
#include "support/namespacedcopy.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTcpServer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int CopyCount = 3;
constexpr int ManyCopies = 12;
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

using Copies = std::vector<std::unique_ptr<NamespacedCopy>>;

// Every copy's control connections, sorted: a link that was replaced changes here.
QStringList observe(const Copies &copies)
{
    QStringList seen;
    for (const auto &copy : copies)
        seen += copy->links(QLatin1String(SubnetPrefix));
    seen.sort();
    return seen;
}

bool everyPairLinked(const QStringList &seen, int copies, bool exactlyOnce)
{
    QMap<QString, int> pairs;
    for (const QString &link : seen)
        ++pairs[link.section(QLatin1Char(':'), 0, 0) + QLatin1Char('>') + link.section(QLatin1Char('>'), 1).section(QLatin1Char(':'), 0, 0)];
    const QList<int> counts = pairs.values();
    return pairs.size() == copies * (copies - 1) && (!exactlyOnce || *std::max_element(counts.begin(), counts.end()) == 1);
}

} // namespace

class LanTest : public QObject
{
    Q_OBJECT

    int m_run = 0;
    std::unique_ptr<BridgedLan> m_lan;

    QString addressOf(int copy) const { return m_lan->addressOf(copy); }
    QString namespaceOf(int copy) const { return m_lan->namespaceOf(copy); }

    // Empty when the whole network stands, else what failed.
    QString buildLan(int copies)
    {
        m_lan = std::make_unique<BridgedLan>(QLatin1String(NamespacePrefix), ++m_run, QLatin1String(SubnetPrefix), copies);
        if (QString error = m_lan->build(); !error.isEmpty())
            return error;
        return BridgedLan::ip(QStringLiteral("netns exec %1 true").arg(namespaceOf(0)));
    }

    std::unique_ptr<NamespacedCopy> copyOf(int copy, const QString &program, const char *enableUdp, const char *enableTcp)
    {
        return std::make_unique<NamespacedCopy>(
            program, namespaceOf(copy), addressOf(copy),
            NamespacedCopy::Settings{{SettingNames::Nickname, "lan" + QByteArray::number(copy + 1)},
                                     {SettingNames::EnableScanning, "1"},
                                     {SettingNames::EnableUDP, enableUdp},
                                     {SettingNames::EnableTCP, enableTcp}},
            "lan-copy-" + QByteArray::number(copy + 1));
    }

    QString nearNamespace() const { return m_lan->extraNamespace(QStringLiteral("near")); }
    QString farNamespace() const { return m_lan->extraNamespace(QStringLiteral("far")); }

    // The copy's namespace with two links: its own network to a near host
    // holding three of its addresses, and another network to a far host that
    // also claims an address of the copy's own network. Reverse-path
    // filtering is off there, so the system hands the far host's datagrams
    // to the copy and the copy itself must refuse them. Empty when it all
    // stands, else what failed.
    QString buildTwoNetworks()
    {
        m_lan = std::make_unique<BridgedLan>(QLatin1String(NamespacePrefix), ++m_run, QLatin1String(SubnetPrefix), 1);
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
            if (QString error = BridgedLan::ip(step); !error.isEmpty())
                return error;
        }
        for (const QString &space : {copy, near, far}) {
            QString routes;
            const QString error = BridgedLan::ip(QStringLiteral("-n %1 route show default").arg(space), &routes);
            if (!error.isEmpty() || !routes.isEmpty())
                return QStringLiteral("%1 has a default route or none can be read: %2%3").arg(space, error, routes);
        }
        return {};
    }

    void meshForms(const char *how, int count, const QString &program, const char *enableUdp, const char *enableTcp,
                   int holdUntilMs)
    {
        if (const QString error = buildLan(count); !error.isEmpty())
            QSKIP(qPrintable(QStringLiteral("cannot build network namespaces on a bridge here: ") + error));

        QElapsedTimer clock;
        clock.start();
        Copies copies;
        for (int copy = 0; copy < count; ++copy)
            copies.push_back(copyOf(copy, program, enableUdp, enableTcp));
        // All at once, as machines on a network come up: the start-up
        // announcements cross, and so do the connections they cause.
        for (const auto &copy : copies)
            copy->launch();
        QStringList seen;
        while (!everyPairLinked(seen = observe(copies), count, false)) {
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
            if (settled.isEmpty() && everyPairLinked(seen, count, true))
                settled = seen;
            QVERIFY2(!settled.isEmpty() || clock.elapsed() < settleDeadline,
                     qPrintable(QStringLiteral("not one link per pair: ") + seen.join(QLatin1Char(' '))));
            QTest::qWait(PollMs);
            QVERIFY2(everyPairLinked(seen = observe(copies), count, false),
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
        if (BridgedLan::ipCommand().isEmpty())
            QSKIP("the ip command (Debian package iproute2) is missing; the LAN test needs it for network namespaces");
        BridgedLan::removeStale(QLatin1String(NamespacePrefix));
    }

    // Runs after every test function, failed or skipped, once its copies have ended.
    void cleanup() { m_lan.reset(); }

    // The probe stays off, so only the announcement can introduce the copies;
    // neither the repeated announcement nor the first keep-alive may close or
    // replace a link.
    void meshByUdpAnnouncement()
    {
        meshForms("UDP announcement", CopyCount, QStringLiteral(QUELM_EXECUTABLE), "1", "0", HoldPastFirstRoundMs);
    }

    void meshByTcpScan() { meshForms("TCP scan", CopyCount, QStringLiteral(QUELM_EXECUTABLE), "0", "1", 0); }

    // More copies than the five after which the scan stops, all started at
    // once: announcements read past five peers and the notices of new links
    // must close the mesh that the scan leaves open.
    void manyCopiesStartedTogetherMesh()
    {
        meshForms("announcements, scan and host lists", ManyCopies, QStringLiteral(QUELMD_EXECUTABLE), "1", "1", 0);
    }

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
        const auto copy = copyOf(0, QStringLiteral(QUELM_EXECUTABLE), "1", "0");
        copy->launch();

        // Announced on the own network until the copy acts on it: it runs, and its scan with it.
        QElapsedTimer clock;
        clock.start();
        while (readyAccepted == 0) {
            QVERIFY2(copy->running(), "the copy ended before it acted on an announcement");
            QVERIFY2(clock.elapsed() < MeshTimeoutMs, "the copy never acted on an announcement from its own network");
            QVERIFY(announceIn(nearNamespace(), addressOf(1), addressOf(0), addressOf(1)));
            QTest::qWait(AnnounceEveryMs);
        }

        const qint64 before = udpDatagramsDelivered(copy->processId());
        QVERIFY(before >= 0);
        for (int i = 0; i < FarDatagrams; ++i)
            QVERIFY(announceIn(farNamespace(), QLatin1String(ForgedSender), QLatin1String(OtherNetworkAddress),
                               addressOf(2)));
        const auto delivered = [&] { return udpDatagramsDelivered(copy->processId()) >= before + FarDatagrams; };
        if (!QTest::qWaitFor(delivered, ConnectWaitMs))
            QSKIP("the system here does not hand datagrams from the other network to the copy's socket");

        // Read after the far ones, so by the time the copy connects here it has judged them.
        QVERIFY(announceIn(nearNamespace(), addressOf(1), addressOf(0), addressOf(3)));
        QTRY_VERIFY_WITH_TIMEOUT(laterAccepted > 0, ConnectWaitMs);
        QCOMPARE(forgedAccepted, 0);
        QVERIFY(copy->running());
    }
};

QTEST_GUILESS_MAIN(LanTest)
#include "tst_lan.moc"
