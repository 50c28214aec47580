#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class ControlSession;
class Core;

// Waits, for a control client that asked for a link, until the peer at an
// address has linked and named itself, and answers with who it is; or, after
// WaitMs, says why no link came up.
class LinkWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkWatch)

public:
    static constexpr int WaitMs = 5000;
    static constexpr int CheckIntervalMs = 100;

    // Becomes a child of `session`.
    LinkWatch(Core &core, ControlSession &session, QString address);

    void start();

private:
    void check();
    QString failureReason() const;

    Core &m_core;
    ControlSession &m_session;
    QString m_address;
    QTimer m_check;
    QElapsedTimer m_clock;
    QDateTime m_startedAt;
};
