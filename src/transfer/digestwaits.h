#pragma once

#include "transfer/deadlines.h"

#include <QByteArray>
#include <QObject>
#include <map>
#include <optional>
#include <vector>

// Downloads whose last byte arrived while the serving peer's digest was
// still being asked for. Each waits, with the digest of what it received,
// for the answer, at most until its ask expires; its transfer connection is
// already free for other downloads.
class DigestWaits final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DigestWaits)

public:
    explicit DigestWaits(QObject *parent = nullptr);

    // Download `id`, whose bytes hash to `received`, waits at most `ms`.
    void hold(int id, QByteArray received, int ms);
    bool isHeld(int id) const { return m_received.count(id) > 0; }
    // Ends the wait of `id`: the digest of what it received; nothing when it did not wait.
    std::optional<QByteArray> release(int id);
    // The downloads waiting, in id order.
    std::vector<int> heldIds() const;

signals:
    // The wait of `id` ran out and it is no longer held; `received` is
    // the digest of what it received.
    void expired(int id, const QByteArray &received);

private:
    std::map<int, QByteArray> m_received;
    Deadlines m_deadlines;
};
