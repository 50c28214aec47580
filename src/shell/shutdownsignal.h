#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, so that a
// session ending or a service manager stopping the program leads to the same
// orderly end as the Exit command. The signal handler only writes one byte to
// a pipe; everything else runs on the main thread.
class ShutdownSignal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShutdownSignal)

public:
    explicit ShutdownSignal(QObject *parent = nullptr);
    ~ShutdownSignal() override;

    // False when the pipe or the handlers could not be set up.
    bool isActive() const { return m_notifier != nullptr; }
    // Reports signals from now on, those that came since construction
    // included: a signal during start-up waits until the program runs.
    void start();

signals:
    void received(int signalNumber);

private:
    void onReadable();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
