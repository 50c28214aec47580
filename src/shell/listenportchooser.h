#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

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

    // Returns the chosen port, or `current` when nothing is found.
    int chooseListenPort(int current, const QByteArray &customPort, bool testOnly, const QString &localAddress);
    bool testListenPort(int port, const QString &localAddress);
    // The sixty candidates in the order they are tried.
    static QList<int> candidatePorts();
    bool isTesting() const { return m_timeout.isActive(); }

private:
    bool waitForSettledState(int index);

    SocketArray &m_sockets;
    QTimer m_timeout;
};
