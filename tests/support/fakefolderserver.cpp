#include "support/fakefolderserver.h"

#include "share/filesignature.h"
#include "support/testcopy.h"
#include "transfer/transfermessages.h"

#include <algorithm>

FakeFolderServer::FakeFolderServer(int port, QMap<QByteArray, QByteArray> files)
    : m_address(TestCopy::nextLoopbackAddress())
    , m_port(static_cast<quint16>(port))
    , m_files(std::move(files))
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeFolderServer::onConnection);
    m_server.listen(QHostAddress(m_address), m_port);
}

void FakeFolderServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_accepted;
        m_sockets.push_back(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
    }
}

void FakeFolderServer::setAnswering(bool answering)
{
    m_answering = answering;
    for (QTcpSocket *socket : m_sockets)
        onData(socket);
}

int FakeFolderServer::openConnections() const
{
    return static_cast<int>(std::count_if(m_sockets.cbegin(), m_sockets.cend(), [](QTcpSocket *socket) {
        return socket->state() == QAbstractSocket::ConnectedState;
    }));
}

void FakeFolderServer::onData(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    qsizetype end = 0;
    while (m_answering && (end = buffer.indexOf('|')) >= 0) {
        const QByteArray message = buffer.left(end);
        buffer.remove(0, end + 1);
        answer(socket, message);
    }
}

void FakeFolderServer::answer(QTcpSocket *socket, const QByteArray &message)
{
    const qsizetype colon = message.indexOf(':');
    const QByteArray keyword = message.left(colon + 1);
    const QByteArray body = message.mid(colon + 1);
    if (keyword == "getfileinfo:") {
        const QByteArray content = m_files.value(TransferMessages::decodeTwice(body));
        const QByteArray signature =
            FileSignature::md5Text(content.left(FileSignature::signatureLength(content.size())));
        socket->write(TransferMessages::fileInfo(content.size(), "fake", signature));
        return;
    }
    const auto request = TransferMessages::parseFileRequest(body);
    if (keyword != "getfile:" || !request)
        return;
    const QByteArray content = m_files.value(request->sharedName).mid(request->offset);
    if (m_leaveAfter >= 0 && m_served >= m_leaveAfter) {
        socket->write("GOFILE|" + content.left(content.size() / 2));
        socket->flush();
        leave();
        return;
    }
    ++m_served;
    socket->write("GOFILE|" + content);
}

void FakeFolderServer::leave()
{
    m_leaveAfter = -1;
    m_server.close();
    // The sockets belong to the listening server; a close after what was written.
    for (QTcpSocket *socket : m_sockets)
        socket->disconnectFromHost();
    m_sockets.clear();
    m_buffers.clear();
}

bool FakeFolderServer::comeBack()
{
    return m_server.listen(QHostAddress(m_address), m_port);
}
