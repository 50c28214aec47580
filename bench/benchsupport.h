#pragma once

#include "base/prompter.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

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
