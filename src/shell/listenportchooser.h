#pragma once

#include "net/socketelement.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>


// Chooses the one TCP port of this copy. A port counts only when it can be
// bound and a connection to it from this computer's own address gets through,
// which a listener and a client of the chooser's own check between them.
class ListenPortChooser final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListenPortChooser)

public:
    static constexpr int SelfTestTimeoutMs = 5000;
    static constexpr int TestOnlyPort = 1200;
    // The port used when no candidate passed its self-test.
    static constexpr int FallbackPort = 1971;

    explicit ListenPortChooser(QObject *parent = nullptr);

    // Returns the chosen port, or `current` when nothing is found. Waits for
    // each self-test in a local event loop, which only start-up may do.
    int chooseListenPort(int current, const QByteArray &customPort, bool testOnly, const QString &localAddress);
    bool testListenPort(int port, const QString &localAddress);
    // The same choice from the event loop, one candidate after the other;
    // portChosen() tells the result. A second request while one runs is ignored.
    void chooseListenPortLater(int current, const QByteArray &customPort, bool testOnly, const QString &localAddress);
    bool isChoosing() const { return m_choosing; }
    // The sixty candidates in the order they are tried.
    static QList<int> candidatePorts();
    bool isTesting() const { return m_timeout.isActive(); }
    // The two ends of the self-test, closed between tests.
    const SocketElement &listener() const { return m_listener; }
    const SocketElement &client() const { return m_client; }

signals:
    void portChosen(int port);

private:
    // The port choice that needs no test, if any.
    static std::optional<int> untestedChoice(int current, const QByteArray &customPort, bool testOnly);
    // Steps of one self-test: start it (false when the port cannot be bound),
    // then, once both elements settled or the time is up, read and close it.
    bool beginTest(int port, const QString &localAddress);
    bool endTest();
    bool waitForSettledState(SocketElement &element);
    void testNextCandidate();
    void onTestStateChanged();

    SocketElement m_listener;
    SocketElement m_client;
    QTimer m_timeout;
    QMetaObject::Connection m_takeProbe;
    bool m_choosing = false;
    int m_chosen = 0;
    int m_tested = 0;
    QString m_localAddress;
    QList<int> m_candidates;
    QList<QMetaObject::Connection> m_testWatches;
};
