#include "transfer/deadlines.h"

#include <vector>

Deadlines::Deadlines(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Deadlines::onTimeout);
}

void Deadlines::set(int id, int ms)
{
    m_limits[id] = QDeadlineTimer(ms);
    rearm();
}

bool Deadlines::remove(int id)
{
    if (m_limits.erase(id) == 0)
        return false;
    rearm();
    return true;
}

void Deadlines::onTimeout()
{
    std::vector<int> due;
    for (auto limit = m_limits.begin(); limit != m_limits.end();) {
        if (limit->second.hasExpired()) {
            due.push_back(limit->first);
            limit = m_limits.erase(limit);
        } else {
            ++limit;
        }
    }
    rearm();
    for (int id : due)
        emit expired(id);
}

void Deadlines::rearm()
{
    qint64 earliest = -1;
    for (const auto &[id, limit] : m_limits) {
        const qint64 left = limit.remainingTime();
        if (earliest < 0 || left < earliest)
            earliest = left;
    }
    if (earliest < 0)
        m_timer.stop();
    else
        m_timer.start(static_cast<int>(earliest));
}
