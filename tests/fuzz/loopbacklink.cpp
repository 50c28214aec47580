#include "loopbacklink.h"

#include "base/settingnames.h"

#include <QCoreApplication>
#include <QTcpServer>

#include <cstdlib>

namespace {

constexpr int SpinRounds = 4;
constexpr int MaxWaitRounds = 2000;

struct Harness {
    int argc = 1;
    char name[5] = "fuzz";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    LoopbackLink link;
};

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

LoopbackLink::LoopbackLink()
    : m_settings(m_home.filePath(QStringLiteral("user.ini")), m_home.filePath(QStringLiteral("machine.ini")))
    , m_self(m_settings)
    , m_listenSocket(-1)
    , m_connections(m_sockets, m_listenSocket, m_self)
    , m_dispatcher(m_connections, m_self,
                   {[] { return qint64(3); }, [](const QByteArray &id) { return id == BlockedId; },
                    [this](const QString &) { ++m_hostListAddresses; }})
{
    m_settings.set(QLatin1String(SettingNames::Nickname), "fuzz");
    m_self.setId(OwnId);
    QObject::connect(&m_connections, &ControlConnections::peerIdentified, &m_dispatcher, &Dispatcher::greet);
    QObject::connect(&m_connections, &ControlConnections::messageReceived, &m_dispatcher, &Dispatcher::dispatch);
    QObject::connect(&m_client, &QTcpSocket::readyRead, &m_client, [this] { m_client.readAll(); });
    m_sockets.setLocalIP(QStringLiteral("127.0.0.1"));
    m_listenSocket.setLocalIP(QStringLiteral("127.0.0.1"));
    m_listenSocket.setLocalPort(freePort());
    m_listenSocket.listen();
    m_self.setAddress(QStringLiteral("127.0.0.1"));
    m_self.setPort(m_listenSocket.localPort());
}

LoopbackLink &LoopbackLink::shared()
{
    static Harness harness;
    if (!harness.link.isListening())
        std::abort();
    return harness.link;
}

void LoopbackLink::deliver(const QList<QByteArray> &chunks)
{
    m_client.abort();
    m_client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_listenSocket.localPort()));
    for (int round = 0; round < MaxWaitRounds && !(m_client.state() == QAbstractSocket::ConnectedState && acceptedOpen());
         ++round)
        spin(1);
    for (const QByteArray &chunk : chunks) {
        if (m_client.state() != QAbstractSocket::ConnectedState)
            break;
        m_client.write(chunk);
        m_client.flush();
        spin(SpinRounds);
    }
    m_client.disconnectFromHost();
    for (int round = 0; round < MaxWaitRounds && acceptedOpen(); ++round)
        spin(1);
    m_connections.closeAll();
    m_client.abort();
}

void LoopbackLink::spin(int rounds)
{
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

bool LoopbackLink::acceptedOpen() const
{
    for (int i = 0; i < m_connections.count(); ++i) {
        const int state = m_connections.element(i)->state();
        if (m_connections.record(i).accepted && state != SocketElement::Closed && state != SocketElement::Error)
            return true;
    }
    return false;
}
