#include "net/socketelement.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>

namespace {

bool isUsablePort(int port, bool zeroAllowed)
{
    return (zeroAllowed && port == 0) || (port >= 1 && port <= 65535);
}

// The number a person can look up, as the system names the failure.
int systemErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return EMFILE;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    default: return EIO;
    }
}

} // namespace

SocketElement::SocketElement(int index, QObject *parent)
    : QObject(parent)
    , m_index(index)
{
}

SocketElement::~SocketElement()
{
    releaseSocket();
    releaseServer();
}

void SocketElement::close()
{
    releaseSocket();
    releaseServer();
    m_remoteHost.clear();
    m_remoteHostIP.clear();
    m_remotePort = 0;
    m_errorNumber = 0;
    setState(Closed);
}

bool SocketElement::listen()
{
    close();
    const QHostAddress address(m_localIP);
    if (address.isNull() || !isUsablePort(m_localPort, true))
        return false;
    m_server = new QTcpServer(this);
    if (!m_server->listen(address, static_cast<quint16>(m_localPort))) {
        releaseServer();
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &SocketElement::onNewConnection);
    // Dropping the listener here would have it claimed again at once and fail
    // again at once: the process would spin while out of descriptors.
    connect(m_server, &QTcpServer::acceptError, this, [this] {
        pauseAccepting();
        emit acceptFailed(m_index);
    });
    m_acceptPaused = false;
    setState(Listening);
    return true;
}

void SocketElement::accept(QTcpSocket *request)
{
    if (!request)
        return;
    close();
    adoptSocket(request);
    m_remoteHostIP = request->peerAddress().toString();
    m_remoteHost = m_remoteHostIP;
    m_remotePort = request->peerPort();
    if (request->state() == QAbstractSocket::ConnectedState) {
        setState(Connected);
        // Bytes that came before the hand-over would otherwise wait for the next packet.
        if (request->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, [this, request] {
                if (m_socket == request && request->bytesAvailable() > 0)
                    emit dataArrival(m_index, request->bytesAvailable());
            }, Qt::QueuedConnection);
    } else {
        setState(Closing);
        QMetaObject::invokeMethod(this, [this, request] {
            if (m_socket == request)
                emit closed(m_index);
        }, Qt::QueuedConnection);
    }
}

void SocketElement::connectTo(const QString &host, int port)
{
    close();
    m_remoteHost = host;
    m_remotePort = port;
    const QHostAddress dotted(host);
    if (!dotted.isNull())
        m_remoteHostIP = dotted.toString();
    auto *socket = new QTcpSocket(this);
    // Peers are on the local network: asking the system's proxy settings
    // would cost a round trip to a resolver thread on every connection.
    socket->setProxy(QNetworkProxy::NoProxy);
    adoptSocket(socket);
    setState(Connecting);
    // Binding first makes the other side see this copy's own address.
    const QHostAddress local(m_localIP);
    const bool bound = local.isNull() ? socket->bind(QHostAddress::AnyIPv4, 0) : socket->bind(local, 0);
    if (!bound || !isUsablePort(port, false)) {
        QMetaObject::invokeMethod(this, [this, socket] {
            if (m_socket == socket) {
                m_errorNumber = EADDRNOTAVAIL;
                setState(Error);
                emit errorOccurred(m_index, QStringLiteral("Cannot connect from this address"));
            }
        }, Qt::QueuedConnection);
        return;
    }
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        m_remoteHostIP = socket->peerAddress().toString();
        setState(Connected);
        emit connected(m_index);
    });
    socket->connectToHost(host, static_cast<quint16>(port));
}

void SocketElement::sendData(const QByteArray &data)
{
    if (m_state == Connected && m_socket)
        m_socket->write(data);
}

QByteArray SocketElement::getData()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

int SocketElement::boundPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

qint64 SocketElement::bytesToWrite() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

qint64 SocketElement::bytesAvailable() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}

int SocketElement::errorNumber() const
{
    return m_errorNumber;
}

void SocketElement::pauseAccepting()
{
    if (m_server && !m_acceptPaused)
        m_server->pauseAccepting();
    m_acceptPaused = m_server != nullptr;
}

void SocketElement::resumeAccepting()
{
    if (m_server && m_acceptPaused)
        m_server->resumeAccepting();
    m_acceptPaused = false;
}

void SocketElement::setState(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(m_index, state);
}

void SocketElement::adoptSocket(QTcpSocket *socket)
{
    socket->setParent(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (m_socket == socket)
            emit dataArrival(m_index, socket->bytesAvailable());
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 bytes) {
        if (m_socket == socket)
            emit bytesWritten(m_index, bytes);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (m_socket == socket)
            onDisconnected();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (m_socket == socket)
            onSocketError();
    });
}

void SocketElement::releaseSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void SocketElement::releaseServer()
{
    if (!m_server)
        return;
    QTcpServer *server = m_server;
    m_server = nullptr;
    m_acceptPaused = false;
    server->disconnect(this);
    server->close();
    server->deleteLater();
}

void SocketElement::onNewConnection()
{
    // Each pending connection is offered once; one that no handler accepts is dropped.
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *request = m_server->nextPendingConnection();
        request->setParent(this);
        emit connectionRequest(m_index, request);
        const bool accepted = request->parent() != this || m_socket == request;
        if (!accepted) {
            request->abort();
            request->deleteLater();
        }
    }
}

void SocketElement::onSocketError()
{
    // A peer that hangs up is a close, not a failure.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString description = m_socket->errorString();
    m_errorNumber = systemErrorNumber(m_socket->error());
    setState(Error);
    emit errorOccurred(m_index, description);
}

void SocketElement::onDisconnected()
{
    if (m_state == Error)
        return;
    setState(Closing);
    emit closed(m_index);
}
