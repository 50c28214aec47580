#pragma once

#include "base/prompter.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "shell/core.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>

// What the benchmarks' copies need from a person: nothing.
class QuietPrompter final : public Prompter
{
public:
    Answer messageBox(const QString &, Buttons, Icon) override { return Answer::Ok; }
    void showBalloon(const QString &, const QString &, int) override {}
    std::optional<QByteArray> askFirstNickname(const QByteArray &) override { return std::nullopt; }
};

// Runs the event loop until `done` holds or the time is up.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs, int pollMs = 5)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(pollMs);
    if (!done())
        loop.exec();
    return done();
}

// A copy named `nickname` with its program folder at `home`, scanning off;
// null when its start-up failed.
inline std::unique_ptr<Core> startCopy(const QString &home, const QString &address, const QByteArray &nickname,
                                       Prompter &prompter)
{
    const CoreConfig config = CoreConfig::forHome(home, address);
    SettingsStore settings(config.userSettingsPath, config.machineSettingsPath);
    settings.set(QLatin1String(SettingNames::Nickname), nickname);
    settings.set(QLatin1String(SettingNames::EnableScanning), "0");
    settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                           QLatin1String(SettingNames::ProductID), "bench-" + address.toLatin1());
    auto core = std::make_unique<Core>(config, prompter);
    if (!core->start())
        return nullptr;
    return core;
}

inline double milliseconds(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

// CPU time of this thread: on a busy machine a wall-clock figure includes the
// time other processes ran; this is what the work itself cost.
inline qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The longest time the event loop went without running a 1 ms timer.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_beat.nsecsElapsed());
            m_beat.restart();
        });
        m_beat.start();
        m_timer.start(1);
    }
    double longestMs() const { return milliseconds(m_longest); }

private:
    QTimer m_timer;
    QElapsedTimer m_beat;
    qint64 m_longest = 0;
};
