#include "shell/listenportchooser.h"


#include <QEventLoop>
#include <QHostAddress>

namespace {

bool isSettled(int state)
{
    return state == SocketElement::Closed || state == SocketElement::Error || state == SocketElement::Connected;
}

} // namespace

ListenPortChooser::ListenPortChooser(QObject *parent)
    : QObject(parent)
    , m_listener(-1)
    , m_client(-1)
{
    m_timeout.setInterval(SelfTestTimeoutMs);
    m_timeout.setSingleShot(true);
}

QList<int> ListenPortChooser::candidatePorts()
{
    static constexpr int bases[] = {1971, 510, 443, 1170, 8080, 80, 20, 240, 5190, 1863};
    QList<int> ports;
    for (int base : bases)
        for (int i = 0; i < 6; ++i)
            ports.append(base + 10 * i);
    return ports;
}

std::optional<int> ListenPortChooser::untestedChoice(int current, const QByteArray &customPort, bool testOnly)
{
    if (testOnly)
        return TestOnlyPort;
    if (!customPort.isEmpty()) {
        bool ok = false;
        const int custom = customPort.trimmed().toInt(&ok);
        const int port = ok ? custom : current;
        // The stored setting allows 65536, so it is taken as it stands. An
        // out-of-range value is never kept as the port, even when the search fails.
        if (port >= 1 && port <= 65536)
            return port;
    }
    return std::nullopt;
}

int ListenPortChooser::chooseListenPort(int current, const QByteArray &customPort, bool testOnly,
                                        const QString &localAddress)
{
    if (const std::optional<int> port = untestedChoice(current, customPort, testOnly))
        return *port;
    for (int candidate : candidatePorts()) {
        if (testListenPort(candidate, localAddress))
            return candidate;
    }
    return current;
}

bool ListenPortChooser::testListenPort(int port, const QString &localAddress)
{
    if (!beginTest(port, localAddress))
        return false;
    waitForSettledState(m_listener);
    waitForSettledState(m_client);
    return endTest();
}

void ListenPortChooser::chooseListenPortLater(int current, const QByteArray &customPort, bool testOnly,
                                              const QString &localAddress)
{
    if (m_choosing)
        return;
    m_choosing = true;
    m_localAddress = localAddress;
    const std::optional<int> port = untestedChoice(current, customPort, testOnly);
    m_chosen = port.value_or(current);
    m_candidates = port ? QList<int>() : candidatePorts();
    // Queued even without a test, so the caller always hears of it later.
    QMetaObject::invokeMethod(this, &ListenPortChooser::testNextCandidate, Qt::QueuedConnection);
}

void ListenPortChooser::testNextCandidate()
{
    while (!m_candidates.isEmpty()) {
        const int candidate = m_candidates.takeFirst();
        if (!beginTest(candidate, m_localAddress))
            continue;
        for (SocketElement *element : {&m_listener, &m_client})
            m_testWatches.append(connect(element, &SocketElement::stateChanged, this,
                                         &ListenPortChooser::onTestStateChanged, Qt::QueuedConnection));
        m_testWatches.append(connect(&m_timeout, &QTimer::timeout, this, &ListenPortChooser::onTestStateChanged));
        m_tested = candidate;
        return;
    }
    m_choosing = false;
    emit portChosen(m_chosen);
}

void ListenPortChooser::onTestStateChanged()
{
    // A queued change may arrive after its test has already ended.
    if (m_testWatches.isEmpty())
        return;
    const bool settled = isSettled(m_listener.state()) && isSettled(m_client.state());
    if (!settled && m_timeout.isActive())
        return;
    for (const QMetaObject::Connection &watch : std::as_const(m_testWatches))
        disconnect(watch);
    m_testWatches.clear();
    if (endTest()) {
        m_chosen = m_tested;
        m_candidates.clear();
    }
    testNextCandidate();
}

bool ListenPortChooser::beginTest(int port, const QString &localAddress)
{
    SocketElement *listener = &m_listener;
    SocketElement *client = &m_client;

    listener->close();
    listener->setLocalIP(localAddress);
    listener->setLocalPort(port);
    if (!listener->listen())
        return false;

    client->close();
    client->setLocalIP(localAddress);
    client->setLocalPort(0);
    client->connectTo(localAddress, port);

    // Only the probe itself may complete the test: a peer that happens to
    // connect meanwhile is turned away, or it would make a good port look blocked.
    const QString probeAddress = QHostAddress(localAddress).toString();
    const int probePort = client->boundPort();
    m_takeProbe = connect(listener, &SocketElement::connectionRequest, this,
                          [listener, probeAddress, probePort](int, QTcpSocket *request) {
                              if (request->peerPort() == probePort && request->peerAddress().toString() == probeAddress)
                                  listener->accept(request);
                          });
    m_timeout.start();
    return true;
}

bool ListenPortChooser::endTest()
{
    const bool reached = m_listener.state() == SocketElement::Connected && m_client.state() == SocketElement::Connected;
    disconnect(m_takeProbe);
    m_listener.close();
    m_client.close();
    m_timeout.stop();
    return reached;
}

bool ListenPortChooser::waitForSettledState(SocketElement &element)
{
    if (isSettled(element.state()) || !m_timeout.isActive())
        return isSettled(element.state());
    // Start-up may wait here: the probe must be accepted by this same event loop.
    QEventLoop loop;
    connect(&element, &SocketElement::stateChanged, &loop, [&loop](int, int state) {
        if (isSettled(state))
            loop.quit();
    });
    connect(&m_timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return isSettled(element.state());
}
