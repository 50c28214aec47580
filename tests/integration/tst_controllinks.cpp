// Control connections and message dispatch between copies in this process and
// hand-driven peers, each on a loopback address of its own.
#include "support/fakepeer.h"
#include "support/runningcopy.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <memory>
#include <vector>

namespace {

constexpr int Port = 1971;

int elementsInState(ControlConnections &connections, int state)
{
    int found = 0;
    for (int i = 0; i < connections.count(); ++i)
        found += connections.element(i)->state() == state;
    return found;
}

} // namespace

class ControlLinksTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptedPeerIsGreetedAndItsFramesHandled();
    void outgoingConnectionOpensWithItsIdentity();
    void badHandshakesCloseTheConnection_data();
    void badHandshakesCloseTheConnection();
    void silentConnectionIsClosedInTime();
    void handshakeSplitByTcpIsJoined();
    void connectToOpensNothingTwice();
    void closedElementIsReused();
    void secondConnectionFromOneAddressReplacesTheOlder();
    void copiesConnectingAtOnceKeepOneLink();
    void hostListsSpreadAChainIntoAFullMesh();
    void newLinkIsToldToTheOthersOncePerInterval();
    void gatesDropWhatAPeerMayNotSend();
    void hostileFloodsStayBounded();
    void keepAliveReachesEveryLink();
};

void ControlLinksTest::acceptedPeerIsGreetedAndItsFramesHandled()
{
    RunningCopy alice("alice");
    QVERIFY(alice.started());
    QSignalSpy chat(&alice.core().network().dispatcher(), &Dispatcher::chatReceived);
    FakePeer peer("F00D", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));

    // The identity line and framed messages arrive in one chunk.
    QByteArray chunk = "uid:F00D!!!!";
    peer.sendRaw(chunk);
    peer.sendFrames({"id/client", "nick:fake", "fileshared:7", "chat:hello"}, alice.id());

    QTRY_VERIFY(peer.raw().contains("!!!!"));
    QCOMPARE(peer.takeHandshakeLine(), "uid/ns:" + alice.id() + "!!!!");
    QList<QByteArray> frames;
    QTRY_VERIFY((frames += peer.takeFrames(alice.id())).size() >= 5);
    QCOMPARE(frames, QList<QByteArray>({"id/client", "nick:alice", "fileshared:0", "blocked:0", "hostlist:"}));

    ControlConnections &connections = alice.core().network().connections();
    const int index = connections.findConnection(peer.socket().localAddress().toString());
    QVERIFY(index >= 0);
    QCOMPARE(connections.record(index).peerId, QByteArray("F00D"));
    QCOMPARE(connections.record(index).nickname, QByteArray("fake"));
    QCOMPARE(connections.record(index).sharedCount, QByteArray("7"));
    QVERIFY(connections.record(index).isClient);
    QTRY_COMPARE(chat.count(), 1);
    QCOMPARE(chat.at(0).at(1).toByteArray(), QByteArray("hello"));
}

void ControlLinksTest::outgoingConnectionOpensWithItsIdentity()
{
    RunningCopy alice("alice");
    const QString address = TestCopy::nextLoopbackAddress();
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(address), Port));
    alice.core().network().connections().connectTo(address);
    QTRY_VERIFY(peer.hasPendingConnections());
    QTcpSocket *far = peer.nextPendingConnection();
    QByteArray received;
    QTRY_VERIFY((received += far->readAll()).endsWith("!!!!"));
    QCOMPARE(received, "uid:" + alice.id() + "!!!!");
    QCOMPARE(far->peerAddress().toString(), alice.address());
}

void ControlLinksTest::badHandshakesCloseTheConnection_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::newRow("garbage") << QList<QByteArray>{"HELLO there"};
    QTest::newRow("unknown uid form") << QList<QByteArray>{"uid?AB!!!!"};
    QTest::newRow("empty identifier") << QList<QByteArray>{"uid:!!!!"};
    QTest::newRow("line without end over three reads") << QList<QByteArray>{"uid:AB", "CD", "EF"};
    QTest::newRow("endless line") << QList<QByteArray>{"uid:" + QByteArray(400, 'A')};
}

void ControlLinksTest::badHandshakesCloseTheConnection()
{
    QFETCH(QList<QByteArray>, chunks);
    RunningCopy alice("alice");
    FakePeer peer("BAD", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));
    for (const QByteArray &chunk : chunks) {
        peer.sendRaw(chunk);
        QTest::qWait(50);
    }
    QTRY_VERIFY(!peer.isConnected());
    QVERIFY(!peer.raw().contains("uid/ns:"));
}

void ControlLinksTest::silentConnectionIsClosedInTime()
{
    RunningCopy alice("alice");
    alice.core().network().connections().setTimeouts(300, 300);
    FakePeer silent("S1", TestCopy::nextLoopbackAddress());
    QVERIFY(silent.connectTo(alice.address(), Port));
    FakePeer halfLine("S2", TestCopy::nextLoopbackAddress());
    QVERIFY(halfLine.connectTo(alice.address(), Port));
    halfLine.sendRaw("uid:S2");
    QTRY_VERIFY_WITH_TIMEOUT(!silent.isConnected() && !halfLine.isConnected(), 5000);
}

void ControlLinksTest::handshakeSplitByTcpIsJoined()
{
    RunningCopy alice("alice");
    FakePeer peer("5917", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));
    peer.sendRaw("ui");
    QTest::qWait(50);
    peer.sendRaw("d:5917!!");
    QTest::qWait(50);
    QVERIFY(peer.isConnected());
    // Only two reads are looked at: the rest of the line must come with the second.
    peer.sendRaw("!!");
    QTRY_VERIFY(!peer.isConnected());

    FakePeer second("5918", TestCopy::nextLoopbackAddress());
    QVERIFY(second.connectTo(alice.address(), Port));
    second.sendRaw("uid:59");
    QTest::qWait(50);
    second.sendRaw("18!!!!");
    QTRY_VERIFY(second.raw().contains("!!!!"));
    QCOMPARE(second.takeHandshakeLine(), "uid/ns:" + alice.id() + "!!!!");
}

void ControlLinksTest::connectToOpensNothingTwice()
{
    RunningCopy alice("alice");
    RunningCopy bob("bob");
    ControlConnections &connections = alice.core().network().connections();
    const int before = connections.count();
    connections.connectTo(alice.address());
    connections.connectTo(QStringLiteral("not-an-address"));
    QCOMPARE(elementsInState(connections, SocketElement::Connecting), 0);

    connections.connectTo(bob.address());
    QTRY_VERIFY(alice.linkedTo(bob) && bob.linkedTo(alice));
    const int opened = connections.count();
    connections.connectTo(bob.address());
    QCOMPARE(connections.count(), opened);
    QCOMPARE(elementsInState(connections, SocketElement::Connecting), 0);
    QCOMPARE(alice.linkCount(), 1);
    QVERIFY(opened <= before + 1);
}

void ControlLinksTest::closedElementIsReused()
{
    RunningCopy alice("alice");
    ControlConnections &connections = alice.core().network().connections();
    auto bob = std::make_unique<RunningCopy>("bob");
    connections.connectTo(bob->address());
    QTRY_VERIFY(alice.linkedTo(*bob));
    const int index = connections.findConnection(bob->address());
    const int count = connections.count();
    QSignalSpy closed(&connections, &ControlConnections::linkClosed);
    bob.reset();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(connections.element(index)->state(), int(SocketElement::Closed));
    QCOMPARE(connections.element(index)->remoteHostIP(), QString());

    RunningCopy carol("carol");
    connections.connectTo(carol.address());
    QTRY_VERIFY(alice.linkedTo(carol));
    QCOMPARE(connections.findConnection(carol.address()), index);
    QCOMPARE(connections.count(), count);
}

void ControlLinksTest::secondConnectionFromOneAddressReplacesTheOlder()
{
    RunningCopy alice("alice");
    const QString address = TestCopy::nextLoopbackAddress();
    FakePeer older("0DD", address);
    QVERIFY(older.connectTo(alice.address(), Port));
    older.sendRaw("uid:0DD!!!!");
    older.sendFrames({"id/client", "nick:old"}, alice.id());
    QTRY_VERIFY(alice.core().network().connections().findConnection(address) >= 0);

    // The same peer, restarted, connects again: its new link replaces the stale one.
    FakePeer newer("0DD", address);
    QVERIFY(newer.connectTo(alice.address(), Port));
    newer.sendRaw("uid:0DD!!!!");
    newer.sendFrames({"id/client", "nick:new"}, alice.id());
    QTRY_VERIFY(!older.isConnected());
    QVERIFY(newer.isConnected());
    QCOMPARE(alice.linkCount(), 1);
}

void ControlLinksTest::copiesConnectingAtOnceKeepOneLink()
{
    for (int round = 0; round < 3; ++round) {
        RunningCopy alice("alice");
        RunningCopy bob("bob");
        alice.core().network().connections().connectTo(bob.address());
        bob.core().network().connections().connectTo(alice.address());
        QTRY_VERIFY(alice.linkedTo(bob) && bob.linkedTo(alice));
        // Give the losing connection time to be closed on both sides.
        QTest::qWait(300);
        QCOMPARE(alice.linkCount(), 1);
        QCOMPARE(bob.linkCount(), 1);
        QCOMPARE(elementsInState(alice.core().network().connections(), SocketElement::Connected), 1);
        QCOMPARE(elementsInState(bob.core().network().connections(), SocketElement::Connected), 1);
    }
}

void ControlLinksTest::hostListsSpreadAChainIntoAFullMesh()
{
    std::vector<std::unique_ptr<RunningCopy>> copies;
    for (int i = 0; i < 6; ++i)
        copies.push_back(std::make_unique<RunningCopy>("peer" + QByteArray::number(i)));
    for (int i = 0; i + 1 < 6; ++i)
        copies[i]->core().network().connections().connectTo(copies[i + 1]->address());
    const auto meshed = [&copies] {
        for (const auto &copy : copies) {
            if (copy->linkCount() != 5)
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(meshed(), 20000);
}

void ControlLinksTest::newLinkIsToldToTheOthersOncePerInterval()
{
    RunningCopy alice("alice");
    alice.core().network().linkNotices().setGatherDelay(50);
    ControlConnections &connections = alice.core().network().connections();
    const auto link = [&](FakePeer &peer, const QByteArray &id) {
        QVERIFY(peer.connectTo(alice.address(), Port));
        peer.sendRaw("uid:" + id + "!!!!");
        peer.sendFrames({"id/client", "nick:peer"}, alice.id());
        QTRY_VERIFY(connections.findConnection(peer.socket().localAddress().toString()) >= 0);
    };
    FakePeer watcher("3A7C4", TestCopy::nextLoopbackAddress());
    link(watcher, "3A7C4");
    QTRY_VERIFY(watcher.raw().contains("!!!!"));
    watcher.takeHandshakeLine();
    QList<QByteArray> told;
    const auto hostLists = [&] {
        for (const QByteArray &frame : watcher.takeFrames(alice.id())) {
            if (frame.startsWith("hostlist:") && frame != "hostlist:")
                told.append(frame);
        }
        return told;
    };

    // A peer that links and leaves in a loop is told once; a later newcomer
    // is told after it, on the same link, so nothing about the first is left unread.
    const QString flapping = TestCopy::nextLoopbackAddress();
    for (int round = 0; round < 5; ++round) {
        FakePeer peer("F1A9", flapping);
        link(peer, "F1A9");
        if (round == 0)
            QTRY_VERIFY(hostLists().join().contains(flapping.toLatin1()));
    }
    FakePeer late("1A7E", TestCopy::nextLoopbackAddress());
    link(late, "1A7E");
    QTRY_VERIFY(hostLists().join().contains(late.socket().localAddress().toString().toLatin1()));
    QCOMPARE(told.join().count(flapping.toLatin1() + '|'), 1);
    QCOMPARE(told.first(), "hostlist:" + flapping.toLatin1() + '|');
}

void ControlLinksTest::gatesDropWhatAPeerMayNotSend()
{
    RunningCopy alice("alice");
    Dispatcher &dispatcher = alice.core().network().dispatcher();
    QSignalSpy chat(&dispatcher, &Dispatcher::chatReceived);
    QSignalSpy im(&dispatcher, &Dispatcher::imReceived);
    FakePeer peer("6A7E", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));
    peer.sendRaw("uid:6A7E!!!!");
    // Chat before the role is dropped; instant messages pass the first gate only.
    peer.sendFrames({"nick:gate", "chat:early", "im:first", "id/client", "chat:late", "blocked:1", "im:hidden",
                     "chat:hidden", "blocked:0", "im:second"},
                    alice.id());
    QTRY_COMPARE(im.count(), 2);
    QCOMPARE(im.at(0).at(1).toByteArray(), QByteArray("first"));
    QCOMPARE(im.at(1).at(1).toByteArray(), QByteArray("second"));
    QCOMPARE(chat.count(), 1);
    QCOMPARE(chat.at(0).at(1).toByteArray(), QByteArray("late"));
}

void ControlLinksTest::hostileFloodsStayBounded()
{
    RunningCopy alice("alice");
    ControlConnections &connections = alice.core().network().connections();
    FakePeer peer("F100D", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));
    peer.sendRaw("uid:F100D!!!!");

    // Thousands of pieces, most of them not addresses; nobody listens at the addresses.
    QByteArray list = "hostlist:";
    const QString block = TestCopy::nextLoopbackAddress().section(QLatin1Char('.'), 0, 1);
    for (int i = 0; i < 3000; ++i) {
        list += i % 3 == 0 ? QByteArray("host") + QByteArray::number(i) + ".example|"
                           : (block + QStringLiteral(".%1.%2|").arg(i / 250 + 100).arg(i % 250 + 1)).toLatin1();
    }
    peer.sendFrames({"id/client", list}, alice.id());
    QTRY_VERIFY(connections.count() > 10);
    QVERIFY(connections.count() <= ControlConnections::MaxPendingConnects + 20);
    for (int i = 0; i < connections.count(); ++i)
        QVERIFY(!connections.element(i)->remoteHost().contains(QLatin1String("example")));

    // A frame that never ends is cut off at the buffer's cap.
    peer.sendRaw("|quelm|" + QByteArray(FrameReassembler::DefaultCapBytes + 1024, 'x'));
    QTRY_VERIFY_WITH_TIMEOUT(!peer.isConnected(), 10000);
}

void ControlLinksTest::keepAliveReachesEveryLink()
{
    RunningCopy alice("alice");
    ControlConnections &connections = alice.core().network().connections();
    FakePeer peer("4A11", TestCopy::nextLoopbackAddress());
    QVERIFY(peer.connectTo(alice.address(), Port));
    peer.sendRaw("uid:4A11!!!!");
    peer.sendFrames({"id/client", "nick:fake"}, alice.id());
    QTRY_VERIFY(connections.findConnection(peer.socket().localAddress().toString()) >= 0);

    QTRY_VERIFY(peer.raw().contains("!!!!"));
    peer.takeHandshakeLine();
    QList<QByteArray> frames;
    QTRY_VERIFY((frames += peer.takeFrames(alice.id())).contains("hostlist:"));
    connections.keepAliveTick();
    QTRY_VERIFY((frames += peer.takeFrames(alice.id())).contains("//keepalive\\\\"));
    QVERIFY(peer.isConnected());
}

QTEST_GUILESS_MAIN(ControlLinksTest)
#include "tst_controllinks.moc"
