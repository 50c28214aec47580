#pragma once

#include "net/framereassembler.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>

// A hand-driven peer on a loopback address of its own: it speaks the wire
// protocol byte by byte, so tests can send exactly what a real or a hostile
// peer would.
class FakePeer final
{
public:
    FakePeer(const QByteArray &ownId, const QString &address);

    bool connectTo(const QString &address, int port);
    // Connects and sends the "uid:" line; the copy's identifier from its
    // "uid/ns:" reply, or empty when none came within ten seconds.
    QByteArray greet(const QString &address, int port);
    void sendRaw(const QByteArray &bytes);
    // Frames each message for `peerId` and sends them all in one write.
    void sendFrames(const QList<QByteArray> &messages, const QByteArray &peerId);
    // Everything read so far that is not yet taken by takeFrames().
    QByteArray &raw() { return m_raw; }
    // Removes and returns the unframed handshake line, once it is complete.
    QByteArray takeHandshakeLine();
    // Decodes the complete frames received so far (after the handshake line).
    QList<QByteArray> takeFrames(const QByteArray &peerId);
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket &socket() { return m_socket; }

private:
    QByteArray m_ownId;
    QString m_address;
    QTcpSocket m_socket;
    QByteArray m_raw;
    FrameReassembler m_frames;
};
