#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class SocketArray;

// Chooses the one TCP port of this copy. A port counts only when it can be
// bound and a connection to it from this computer's own address gets through,
// which elements 0 and 1 of the control array check between them.
class ListenPortChooser final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListenPortChooser)

public:
    static constexpr int SelfTestTimeoutMs = 5000;
    static constexpr int TestOnlyPort = 1200;

    explicit ListenPortChooser(SocketArray &sockets, QObject *parent = nullptr);

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

signals:
    void portChosen(int port);

private:
    // The port choice that needs no test, if any.
    static std::optional<int> untestedChoice(int current, const QByteArray &customPort, bool testOnly);
    // Steps of one self-test: start it (false when the port cannot be bound),
    // then, once both elements settled or the time is up, read and close it.
    bool beginTest(int port, const QString &localAddress);
    bool endTest();
    bool waitForSettledState(int index);
    void testNextCandidate();
    void onTestStateChanged();

    SocketArray &m_sockets;
    QTimer m_timeout;
    QMetaObject::Connection m_takeProbe;
    bool m_choosing = false;
    int m_chosen = 0;
    int m_tested = 0;
    QString m_localAddress;
    QList<int> m_candidates;
    QList<QMetaObject::Connection> m_testWatches;
};
