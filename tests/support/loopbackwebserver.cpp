#include "support/loopbackwebserver.h"

#include <QTcpSocket>

namespace {

constexpr qsizetype MaxRequestHead = 16384;

} // namespace

LoopbackWebServer::LoopbackWebServer()
{
    m_server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QUrl LoopbackWebServer::address(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

int LoopbackWebServer::requestCount(const QString &path) const
{
    int count = 0;
    for (const QString &request : m_requests)
        count += request.section(QLatin1Char('?'), 0, 0) == path;
    return count;
}

void LoopbackWebServer::answer(QTcpSocket *socket)
{
    const QByteArray head = socket->peek(MaxRequestHead);
    if (!head.contains("\r\n\r\n") && head.size() < MaxRequestHead)
        return;
    socket->readAll();
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString target = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
    m_requests.append(target);
    const QString path = target.section(QLatin1Char('?'), 0, 0);
    const bool found = m_pages.contains(path);
    const QByteArray body = found ? m_pages.value(path) : QByteArray("<html><title>Not found</title></html>");
    socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n")
                  + QByteArray("Content-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: ")
                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}
