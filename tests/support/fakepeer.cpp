#include "support/fakepeer.h"

#include "net/wirecodec.h"

#include <QHostAddress>
#include <QTest>
#include <utility>

FakePeer::FakePeer(const QByteArray &ownId, const QString &address)
    : m_ownId(ownId)
    , m_address(address)
{
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { m_raw += m_socket.readAll(); });
}

bool FakePeer::connectTo(const QString &address, int port)
{
    m_socket.bind(QHostAddress(m_address), 0);
    m_socket.connectToHost(address, static_cast<quint16>(port));
    return m_socket.waitForConnected(3000);
}

QByteArray FakePeer::greet(const QString &address, int port)
{
    if (!connectTo(address, port))
        return {};
    sendRaw("uid:" + m_ownId + WireCodec::HandshakeTerminator);
    QByteArray copyId;
    const auto replied = [this, &copyId] {
        const QByteArray line = takeHandshakeLine();
        if (line.startsWith("uid/ns:"))
            copyId = line.mid(7, line.size() - 7 - 4);
        return !copyId.isEmpty();
    };
    return QTest::qWaitFor(replied, 10000) ? copyId : QByteArray();
}

void FakePeer::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void FakePeer::sendFrames(const QList<QByteArray> &messages, const QByteArray &peerId)
{
    QByteArray bytes;
    for (const QByteArray &message : messages)
        bytes += WireCodec::frameMessage(message, m_ownId, peerId);
    sendRaw(bytes);
}

QByteArray FakePeer::takeHandshakeLine()
{
    const qsizetype end = m_raw.indexOf(WireCodec::HandshakeTerminator);
    if (end < 0)
        return {};
    const QByteArray line = m_raw.left(end + 4);
    m_raw.remove(0, end + 4);
    return line;
}

QList<QByteArray> FakePeer::takeFrames(const QByteArray &peerId)
{
    QList<QByteArray> messages;
    const FrameReassembler::Feed feed = m_frames.feed(std::exchange(m_raw, QByteArray()));
    for (const QByteArray &body : feed.bodies)
        messages.append(WireCodec::unframeMessage(body, m_ownId, peerId));
    return messages;
}
