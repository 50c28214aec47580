// The socket elements and their array, against real loopback connections.
#include "net/socketarray.h"
#include "support/testcopy.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class SocketArrayTest : public QObject
{
    Q_OBJECT

private slots:
    void allocateReusesTheLastFreeElement();
    void indicesStopAt32000();
    void outgoingConnectionLeavesFromTheLocalAddress();
    void closedElementForgetsItsPeer();
    void refusedConnectionIsAnError();
    void unansweredRequestIsDropped();
};

void SocketArrayTest::allocateReusesTheLastFreeElement()
{
    const QString address = TestCopy::nextLoopbackAddress();
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(address), 0));
    SocketArray sockets;
    sockets.setLocalIP(address);
    QVERIFY(sockets.ensure(3));
    for (int i = 0; i <= 3; ++i)
        sockets.at(i)->setTag(QStringLiteral("busy"));

    QCOMPARE(sockets.allocate(), 3);
    QCOMPARE(sockets.at(3)->tag(), QString());
    for (int i : {2, 3})
        sockets.at(i)->connectTo(address, peer.serverPort());
    QTRY_VERIFY(sockets.at(3)->state() == SocketElement::Connected && sockets.at(2)->state() == SocketElement::Connected);
    QCOMPARE(sockets.allocate(), 1);
    QCOMPARE(sockets.firstFreeIndex(), 0);

    sockets.at(0)->connectTo(address, peer.serverPort());
    sockets.at(1)->connectTo(address, peer.serverPort());
    QTRY_VERIFY(sockets.at(0)->state() == SocketElement::Connected && sockets.at(1)->state() == SocketElement::Connected);
    QCOMPARE(sockets.firstFreeIndex(), 4);
    QCOMPARE(sockets.allocate(), 4);
    QCOMPARE(sockets.count(), 5);
    QCOMPARE(sockets.at(4)->localIP(), address);

    sockets.at(2)->close();
    QCOMPARE(sockets.allocate(), 4);
    QCOMPARE(sockets.firstFreeIndex(), 2);
}

void SocketArrayTest::indicesStopAt32000()
{
    SocketArray sockets;
    QVERIFY(!sockets.ensure(SocketArray::MaxIndex + 1));
    QCOMPARE(sockets.count(), 1);
    QVERIFY(sockets.ensure(SocketArray::MaxIndex));
    QCOMPARE(sockets.count(), SocketArray::MaxIndex + 1);
    // Every element is free, so nothing beyond the limit is ever needed.
    QCOMPARE(sockets.allocate(), SocketArray::MaxIndex);
}

void SocketArrayTest::outgoingConnectionLeavesFromTheLocalAddress()
{
    const QString local = TestCopy::nextLoopbackAddress();
    const QString remote = TestCopy::nextLoopbackAddress();
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(remote), 0));
    SocketArray sockets;
    sockets.setLocalIP(local);
    QSignalSpy connected(&sockets, &SocketArray::connected);
    SocketElement *element = sockets.at(0);
    element->connectTo(remote, peer.serverPort());
    QTRY_COMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toInt(), 0);
    QCOMPARE(element->state(), int(SocketElement::Connected));
    QCOMPARE(element->remoteHostIP(), remote);
    QCOMPARE(element->remotePort(), int(peer.serverPort()));

    QTRY_VERIFY(peer.hasPendingConnections());
    QTcpSocket *far = peer.nextPendingConnection();
    QCOMPARE(far->peerAddress().toString(), local);

    QSignalSpy arrival(&sockets, &SocketArray::dataArrival);
    far->write("hello|");
    QTRY_VERIFY(!arrival.isEmpty());
    QCOMPARE(element->getData(), QByteArray("hello|"));
    element->sendData("back");
    QTRY_COMPARE(far->bytesAvailable(), qint64(4));
    QCOMPARE(far->readAll(), QByteArray("back"));
}

void SocketArrayTest::closedElementForgetsItsPeer()
{
    const QString address = TestCopy::nextLoopbackAddress();
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(address), 0));
    SocketArray sockets;
    sockets.setLocalIP(address);
    QSignalSpy closed(&sockets, &SocketArray::closed);
    SocketElement *element = sockets.at(0);
    element->connectTo(address, peer.serverPort());
    QTRY_VERIFY(peer.hasPendingConnections());
    QTcpSocket *far = peer.nextPendingConnection();
    QTRY_COMPARE(element->state(), int(SocketElement::Connected));

    far->disconnectFromHost();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(element->state(), int(SocketElement::Closing));
    QCOMPARE(element->remoteHostIP(), address);
    element->close();
    QCOMPARE(element->state(), int(SocketElement::Closed));
    QCOMPARE(element->remoteHostIP(), QString());
    QCOMPARE(element->remoteHost(), QString());
}

void SocketArrayTest::refusedConnectionIsAnError()
{
    const QString address = TestCopy::nextLoopbackAddress();
    SocketArray sockets;
    sockets.setLocalIP(address);
    QSignalSpy errors(&sockets, &SocketArray::errorOccurred);
    sockets.at(0)->connectTo(address, 9);
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(sockets.at(0)->state(), int(SocketElement::Error));
    QCOMPARE(sockets.firstFreeIndex(), 0);
}

void SocketArrayTest::unansweredRequestIsDropped()
{
    const QString address = TestCopy::nextLoopbackAddress();
    SocketElement listener(-1);
    listener.setLocalIP(address);
    listener.setLocalPort(3972);
    QVERIFY(listener.listen());
    QSignalSpy requests(&listener, &SocketElement::connectionRequest);
    QTcpSocket client;
    client.connectToHost(address, 3972);
    QTRY_COMPARE(requests.count(), 1);
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(listener.state(), int(SocketElement::Listening));
}

QTEST_GUILESS_MAIN(SocketArrayTest)
#include "tst_socketarray.moc"
