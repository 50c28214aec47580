#include "transfer/digestwaits.h"

DigestWaits::DigestWaits(QObject *parent)
    : QObject(parent)
{
    connect(&m_deadlines, &Deadlines::expired, this, [this](int id) {
        if (const std::optional<QByteArray> received = release(id))
            emit expired(id, *received);
    });
}

void DigestWaits::hold(int id, QByteArray received, int ms)
{
    m_received[id] = std::move(received);
    m_deadlines.set(id, ms);
}

std::optional<QByteArray> DigestWaits::release(int id)
{
    const auto found = m_received.find(id);
    if (found == m_received.end())
        return std::nullopt;
    QByteArray received = std::move(found->second);
    m_received.erase(found);
    m_deadlines.remove(id);
    return received;
}

std::vector<int> DigestWaits::heldIds() const
{
    std::vector<int> ids;
    ids.reserve(m_received.size());
    for (const auto &[id, received] : m_received)
        ids.push_back(id);
    return ids;
}
