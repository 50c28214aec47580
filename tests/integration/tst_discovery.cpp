// Every local address is in 127.0.0.0/8, and so is every destination derived from it.
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/discovery.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "support/testcopy.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <sys/socket.h>

namespace {

// One copy's discovery, recording the addresses it asks to connect to.
// `block` replaces the third number of the address; such an address is never bound.
struct Harness
{
    explicit Harness(int classOfSubnet, int block = -1, int port = 1971, bool testOnly = false)
        : address(TestCopy::nextLoopbackAddress())
        , settings(home.filePath(QStringLiteral("u.ini")), home.filePath(QStringLiteral("m.ini")))
        , self(settings)
        , discovery(settings, sockets, self, [this](const QString &peer) { connected.append(peer); },
                    {testOnly, [this](const QString &typed) { connected.append(typed); }})
    {
        if (block >= 0)
            address = prefix(2) + QStringLiteral(".%1.").arg(block) + address.section(QLatin1Char('.'), 3);
        sockets.setLocalIP(address);
        self.setAddress(address);
        self.setPort(port);
        self.setSubnetClass(classOfSubnet);
    }
    QString prefix(int count) const { return address.section(QLatin1Char('.'), 0, count - 1); }
    void ticks(int count)
    {
        for (int i = 0; i < count; ++i)
            discovery.scanTick();
    }

    QString address;
    QTemporaryDir home;
    SettingsStore settings;
    LocalPeer self;
    SocketArray sockets;
    QStringList connected;
    Discovery discovery;
};

QByteArray encoded(QByteArray text)
{
    for (char &byte : text)
        byte = char(byte - 5);
    return text;
}

} // namespace

class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void fullBlockMaskProbesHosts1To254()
    {
        Harness copy(1);
        copy.discovery.setScanPosition(1, 1, 1);
        copy.ticks(255);
        QCOMPARE(copy.connected.size(), 255);
        for (int host = 1; host <= 255; ++host)
            QCOMPARE(copy.connected[host - 1], copy.prefix(3) + QStringLiteral(".%1").arg(host == 255 ? 1 : host));
        // Switched off and on again by the status display, it resumes at host 0.
        copy.discovery.setScanPosition(0, 0, 0);
        copy.discovery.scanTick();
        QCOMPARE(copy.connected.last(), copy.prefix(3) + QLatin1String(".0"));
    }

    void widerMaskWalksNeighbouringBlocks()
    {
        Harness copy(2, 7);
        const QString ab = copy.prefix(2) + QLatin1Char('.');
        copy.discovery.setScanPosition(1, 6, 1);
        copy.discovery.scanTick();
        QCOMPARE(copy.connected, QStringList({ab + QLatin1String("7.1"), ab + QLatin1String("6.2")}));
        copy.ticks(253);
        QCOMPARE(copy.connected.last(), ab + QLatin1String("6.1"));
        // 254 ticks finish a block; the own block 7 is passed over. Only a
        // connection into the probed block resets the misses.
        const auto blockAndMisses = [&d = copy.discovery] { return std::pair(d.scanBlock(), d.scanMisses()); };
        QCOMPARE(blockAndMisses(), std::pair(8, 1));
        copy.discovery.noteConnected(ab + QLatin1String("80.5"));
        QCOMPARE(blockAndMisses(), std::pair(8, 1));
        copy.discovery.noteConnected(ab + QLatin1String("8.5"));
        QCOMPARE(blockAndMisses(), std::pair(8, 0));
        copy.ticks(5 * 254);
        QCOMPARE(blockAndMisses(), std::pair(1, 5));

        // With the own block numbered 1, the wider probe falls back to block 2.
        Harness first(2, 1);
        first.discovery.setScanPosition(1, 254, 1);
        first.ticks(5 * 254);
        QCOMPARE(first.discovery.scanBlock(), 2);
    }

    void reserveAndSwitches()
    {
        Harness copy(1);
        for (int tick = 0; tick < 71; ++tick) {
            // Every element busy, each listening on a port of its own.
            for (int i = 0; i < copy.sockets.count(); ++i)
                QVERIFY(copy.sockets.at(i)->state() == SocketElement::Listening || copy.sockets.at(i)->listen());
            copy.discovery.scanTick();
        }
        QCOMPARE(copy.sockets.count(), 61);

        const qsizetype probes = copy.connected.size();
        for (const char *name : {SettingNames::EnableScanning, SettingNames::EnableTCP}) {
            copy.settings.set(QLatin1String(name), "0");
            copy.discovery.scanTick();
            copy.settings.set(QLatin1String(name), "1");
        }
        QCOMPARE(copy.connected.size(), probes);
        Harness testOnly(1, -1, 1971, true);
        testOnly.discovery.scanTick();
        QVERIFY(testOnly.connected.isEmpty());

        QCOMPARE(copy.discovery.addComputer(QStringLiteral(" 127.0.3.4\t")), QStringLiteral("0.0.0.0"));
        QCOMPARE(copy.connected.last(), QStringLiteral("127.0.3.4"));
    }

    void announcementRoundTrip()
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
        const quint16 port = probe.localPort();
        probe.close();
        Harness copy(1, -1, port);
        QCOMPARE(copy.discovery.announcementDestination(), copy.prefix(3) + QLatin1String(".255"));
        QCOMPARE(copy.discovery.announcement(), encoded('|' + copy.address.toLatin1()));

        copy.discovery.configureDiscoverySocket();
        int broadcast = 0;
        socklen_t length = sizeof broadcast;
        ::getsockopt(int(copy.discovery.socket().socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &broadcast, &length);
        QVERIFY(broadcast);
        // On lo, 127.x.y.255 is an ordinary local address: the any-address socket
        // gets its own announcement back. It is acted on with the scan off, as
        // it is at five peers and more.
        QVERIFY(!copy.discovery.isScanning());
        copy.discovery.udpTick();
        QTRY_COMPARE_WITH_TIMEOUT(copy.connected, QStringList(copy.address), 5000);

        // The running scan itself probes nothing here: only announcements connect.
        copy.settings.set(QLatin1String(SettingNames::EnableTCP), "0");
        copy.discovery.setScanning(true);
        copy.self.setSubnetClass(2);
        QCOMPARE(copy.discovery.announcementDestination(), copy.prefix(2) + QLatin1String(".255.255"));
        copy.discovery.closeDiscoverySocket();
        copy.discovery.udpTick();
        QStringList expected{copy.address, copy.address};
        QTRY_COMPARE_WITH_TIMEOUT(copy.connected, expected, 5000);

        // An oversized or undecodable datagram is dropped whole; of the others only
        // the first 64 pieces are looked at, and only dotted addresses are taken.
        QByteArray oversized = "|";
        while (oversized.size() <= 2048)
            oversized += "127.0.0.9|";
        QByteArray mixed = "junk|example.com|1.2.3|999.1.1.1|1.2.3.4.5|127.0.0.1x|127..0.1|";
        for (int i = 1; i <= 100; ++i)
            mixed += "127.0.9." + QByteArray::number(i) + '|';
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0));
        for (const QByteArray &datagram :
             {encoded(oversized), encoded(mixed), "\xfb" + encoded("|127.0.8.2"), encoded("|127.0.8.1")})
            sender.writeDatagram(datagram, QHostAddress(copy.address), port);
        for (int i = 1; i <= 64 - 6; ++i)
            expected.append(QStringLiteral("127.0.9.%1").arg(i));
        expected.append(QStringLiteral("127.0.8.1"));
        QTRY_COMPARE_WITH_TIMEOUT(copy.connected, expected, 5000);

        // Announcements that come during the pause after a pass wait in the
        // socket and are read together when it ends.
        copy.discovery.setReadPause(60000);
        copy.discovery.readAnnouncements();
        for (const char *announced : {"|127.0.7.1", "|127.0.7.2"})
            sender.writeDatagram(encoded(announced), QHostAddress(copy.address), port);
        QTest::qWait(300);
        QCOMPARE(copy.connected, expected);
        copy.discovery.setReadPause(0);
        expected << QStringLiteral("127.0.7.1") << QStringLiteral("127.0.7.2");
        QTRY_COMPARE_WITH_TIMEOUT(copy.connected, expected, 5000);
    }
};

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
