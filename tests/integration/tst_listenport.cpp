// Choosing the listening port and keeping it claimed, on loopback addresses of
// the test's own.
#include "base/settingsstore.h"
#include "net/localpeer.h"
#include "net/socketelement.h"
#include "shell/listenportchooser.h"
#include "shell/listenportkeeper.h"
#include "support/scriptedprompter.h"
#include "support/testcopy.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

class ListenPortTest : public QObject
{
    Q_OBJECT

private slots:
    void candidatesAreSixtyInOrder();
    void customPortIsUsedWithoutATest_data();
    void customPortIsUsedWithoutATest();
    void testOnlyIsAlways1200();
    void takenPortMovesToTheNextCandidate();
    void noFreeCandidateKeepsTheCurrentPort();
    void choiceFromTheEventLoop_data();
    void choiceFromTheEventLoop();
    void selfTestLeavesBothElementsClosed();
    void peerConnectingDuringTheSelfTestDoesNotSpoilIt();
    void keeperRetriesSilentlyNineTimesThenWarns();
    void keeperClaimsThePortOnceItIsFree();
};

void ListenPortTest::candidatesAreSixtyInOrder()
{
    const QList<int> ports = ListenPortChooser::candidatePorts();
    QCOMPARE(ports.size(), 60);
    QCOMPARE(ports.mid(0, 7), QList<int>({1971, 1981, 1991, 2001, 2011, 2021, 510}));
    QCOMPARE(ports.mid(30, 6), QList<int>({80, 90, 100, 110, 120, 130}));
    QCOMPARE(ports.last(), 1913);
}

void ListenPortTest::customPortIsUsedWithoutATest_data()
{
    QTest::addColumn<QByteArray>("custom");
    QTest::addColumn<int>("expected");
    QTest::newRow("65536 untested") << QByteArray("65536") << 65536;
    QTest::newRow("1 untested") << QByteArray("1") << 1;
    QTest::newRow("0 searches") << QByteArray("0") << 1971;
    QTest::newRow("70000 searches") << QByteArray("70000") << 1971;
    QTest::newRow("text searches") << QByteArray("many") << 1971;
    QTest::newRow("empty searches") << QByteArray() << 1971;
}

void ListenPortTest::customPortIsUsedWithoutATest()
{
    QFETCH(QByteArray, custom);
    QFETCH(int, expected);
    const QString address = TestCopy::nextLoopbackAddress();
    ListenPortChooser chooser;
    int listens = 0;
    connect(&chooser.listener(), &SocketElement::stateChanged, this, [&listens](int, int state) {
        listens += state == SocketElement::Listening;
    });
    QCOMPARE(chooser.chooseListenPort(0, custom, false, address), expected);
    QCOMPARE(listens, expected == 1971 ? 1 : 0);
}

void ListenPortTest::testOnlyIsAlways1200()
{
    ListenPortChooser chooser;
    QCOMPARE(chooser.chooseListenPort(0, "2500", true, TestCopy::nextLoopbackAddress()), 1200);
}

void ListenPortTest::takenPortMovesToTheNextCandidate()
{
    const QString address = TestCopy::nextLoopbackAddress();
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress(address), 1971));
    ListenPortChooser chooser;
    QCOMPARE(chooser.chooseListenPort(0, {}, false, address), 1981);
}

void ListenPortTest::noFreeCandidateKeepsTheCurrentPort()
{
    const QString address = TestCopy::nextLoopbackAddress();
    std::vector<std::unique_ptr<QTcpServer>> taken;
    for (int port : ListenPortChooser::candidatePorts()) {
        taken.push_back(std::make_unique<QTcpServer>());
        if (!taken.back()->listen(QHostAddress(address), static_cast<quint16>(port)))
            QSKIP("Ports below 1024 cannot be listened on here");
    }
    ListenPortChooser chooser;
    QCOMPARE(chooser.chooseListenPort(0, {}, false, address), 0);
    QCOMPARE(chooser.chooseListenPort(2500, "70000", false, address), 2500);
}

void ListenPortTest::choiceFromTheEventLoop_data()
{
    QTest::addColumn<int>("takenCandidates");
    QTest::addColumn<QByteArray>("customPort");
    QTest::addColumn<int>("chosen");
    QTest::newRow("first candidate free") << 0 << QByteArray() << 1971;
    QTest::newRow("first two taken") << 2 << QByteArray() << 1991;
    QTest::newRow("custom port") << 0 << QByteArray("3000") << 3000;
}

void ListenPortTest::choiceFromTheEventLoop()
{
    QFETCH(int, takenCandidates);
    QFETCH(QByteArray, customPort);
    QFETCH(int, chosen);
    const QString address = TestCopy::nextLoopbackAddress();
    std::vector<std::unique_ptr<QTcpServer>> taken;
    for (int port : ListenPortChooser::candidatePorts().mid(0, takenCandidates)) {
        taken.push_back(std::make_unique<QTcpServer>());
        QVERIFY(taken.back()->listen(QHostAddress(address), static_cast<quint16>(port)));
    }
    ListenPortChooser chooser;
    QSignalSpy chosenPorts(&chooser, &ListenPortChooser::portChosen);
    chooser.chooseListenPortLater(0, customPort, false, address);
    chooser.chooseListenPortLater(0, "4000", false, address);
    QVERIFY(chooser.isChoosing());
    QVERIFY(chosenPorts.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(chosenPorts.size(), 1, 20000);
    QCOMPARE(chosenPorts[0][0].toInt(), chosen);
    QVERIFY(!chooser.isChoosing());
    QCOMPARE(chooser.listener().state(), int(SocketElement::Closed));
    QCOMPARE(chooser.client().state(), int(SocketElement::Closed));
}

void ListenPortTest::selfTestLeavesBothElementsClosed()
{
    const QString address = TestCopy::nextLoopbackAddress();
    ListenPortChooser chooser;
    QVERIFY(chooser.testListenPort(2971, address));
    QCOMPARE(chooser.listener().state(), int(SocketElement::Closed));
    QCOMPARE(chooser.client().state(), int(SocketElement::Closed));
    QVERIFY(!chooser.isTesting());
    QTcpServer free;
    QVERIFY(free.listen(QHostAddress(address), 2971));
}

void ListenPortTest::peerConnectingDuringTheSelfTestDoesNotSpoilIt()
{
    const QString address = TestCopy::nextLoopbackAddress();
    ListenPortChooser chooser;
    // A peer knocks on the port the moment it starts listening, before the probe.
    QTcpSocket peer;
    connect(&chooser.listener(), &SocketElement::stateChanged, this, [&](int, int state) {
        if (state == SocketElement::Listening) {
            peer.bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0);
            peer.connectToHost(address, 3981);
            peer.waitForConnected(2000);
        }
    });
    QVERIFY(chooser.testListenPort(3981, address));
    QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
}

void ListenPortTest::keeperRetriesSilentlyNineTimesThenWarns()
{
    const QString address = TestCopy::nextLoopbackAddress();
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress(address), 1971));
    SocketElement listener(-1);
    listener.setLocalIP(address);
    ScriptedPrompter person;
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("u.ini")), home.filePath(QStringLiteral("m.ini")));
    LocalPeer self(settings);
    self.setPort(1971);
    ListenPortKeeper keeper(listener, person, self);

    for (int failure = 1; failure <= 9; ++failure)
        keeper.startListening();
    QCOMPARE(keeper.retryCount(), 9);
    QVERIFY(person.balloons.isEmpty());
    QVERIFY(keeper.isRetryPending());

    keeper.startListening();
    keeper.startListening();
    QCOMPARE(person.balloons.size(), 2);
    QCOMPARE(person.balloons[0].title, QStringLiteral("Quelm: Port Conflict (1971)"));
    QCOMPARE(person.balloons[0].text,
             QStringLiteral("Quelm's listening port is in use. Please close any programs that might be using it."));
    QCOMPARE(person.balloons[0].iconFlags, Prompter::BalloonError);
    QCOMPARE(keeper.retryCount(), 9);
}

void ListenPortTest::keeperClaimsThePortOnceItIsFree()
{
    const QString address = TestCopy::nextLoopbackAddress();
    auto other = std::make_unique<QTcpServer>();
    QVERIFY(other->listen(QHostAddress(address), 1971));
    SocketElement listener(-1);
    listener.setLocalIP(address);
    ScriptedPrompter person;
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("u.ini")), home.filePath(QStringLiteral("m.ini")));
    LocalPeer self(settings);
    self.setPort(1971);
    ListenPortKeeper keeper(listener, person, self);
    keeper.startListening();
    QCOMPARE(keeper.retryCount(), 1);

    other.reset();
    // The 500 ms retry claims the port without being asked again.
    QTRY_COMPARE_WITH_TIMEOUT(listener.state(), int(SocketElement::Listening), 3000);
    QCOMPARE(keeper.retryCount(), 0);
    QVERIFY(!keeper.isRetryPending());
    QTcpSocket probe;
    probe.connectToHost(address, 1971);
    QVERIFY(probe.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(ListenPortTest)
#include "tst_listenport.moc"
