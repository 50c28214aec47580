#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class ControlConnections;

// Tells the existing links of a copy about the links it gains, with a
// "hostlist:" holding the new addresses, so that host lists close the mesh
// where announcements do not pass. The host list exchanged when a link forms
// holds only what both ends knew then; without these notices a copy that
// joined early never learns of those that came later.
//
// Bounded so that a join costs one small message per existing link and a
// peer that links and leaves in a loop cannot make a storm: new links are
// gathered for a short while and told in one list, an address is told at
// most once per RepeatIntervalMs, and at most MaxAddressesPerMinute
// addresses are told per minute; the rest wait for the next minute.
class LinkNotices final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkNotices)

public:
    static constexpr int GatherMs = 2000;
    static constexpr int RepeatIntervalMs = 60000;
    static constexpr int MaxAddressesPerMinute = 256;
    // Well below what a receiver takes from one list.
    static constexpr int MaxAddressesPerNotice = 64;
    static constexpr int WindowMs = 60000;

    explicit LinkNotices(ControlConnections &connections, QObject *parent = nullptr);

    // The control link at `index` is new: its peer named itself and won any
    // duplicate. Only links this copy accepted are told.
    void noteNewLink(int index);
    // Sends what was gathered to every control link now.
    void sendGathered();
    void setGatherDelay(int ms) { m_gather.setInterval(ms); }

private:
    bool toldLately(const QString &address, qint64 nowMs) const;
    void forgetOld(qint64 nowMs);
    int roomInWindow(qint64 nowMs);

    ControlConnections &m_connections;
    QTimer m_gather;
    QElapsedTimer m_clock;
    QStringList m_pending;
    QHash<QString, qint64> m_toldAtMs;
    qint64 m_windowStartMs = 0;
    int m_toldInWindow = 0;
};
