#include "support/fakefileserver.h"

#include "support/testcopy.h"

#include <QTest>

FakeFileServer::FakeFileServer(int port)
    : m_address(TestCopy::nextLoopbackAddress())
{
    m_server.listen(QHostAddress(m_address), static_cast<quint16>(port));
}

bool FakeFileServer::waitForConnection()
{
    if (!QTest::qWaitFor([this] { return m_server.hasPendingConnections(); }, 5000))
        return false;
    m_socket = m_server.nextPendingConnection();
    return m_socket != nullptr;
}

QByteArray FakeFileServer::received()
{
    if (m_socket)
        m_received += m_socket->readAll();
    return m_received;
}

void FakeFileServer::send(const QByteArray &bytes)
{
    if (!m_socket)
        return;
    m_socket->write(bytes);
    m_socket->flush();
}

void FakeFileServer::sendAndClose(const QByteArray &bytes)
{
    send(bytes);
    if (m_socket)
        m_socket->disconnectFromHost();
}

bool FakeFileServer::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}
