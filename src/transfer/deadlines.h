#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>
#include <map>

// Ids each given a time limit, with one timer for all of them: an id whose
// limit passes is removed and reported.
class Deadlines final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Deadlines)

public:
    explicit Deadlines(QObject *parent = nullptr);

    // `id` expires `ms` from now; a limit it had is replaced.
    void set(int id, int ms);
    // False when `id` had no limit.
    bool remove(int id);
    bool contains(int id) const { return m_limits.count(id) > 0; }

signals:
    void expired(int id);

private:
    void onTimeout();
    // The timer fires at the earliest limit.
    void rearm();

    std::map<int, QDeadlineTimer> m_limits;
    QTimer m_timer;
};
