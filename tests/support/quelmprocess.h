#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The real quelm program (or quelmd, its headless build) under test: its own
// home with shared files in its downloads folder, a loopback address of its
// own, the display offscreen and, when asked, a lowered descriptor limit. It is
// killed with the test. quelmd's output is kept for the test to read.
class QuelmProcess final
{
    Q_DISABLE_COPY_MOVE(QuelmProcess)

public:
    enum class Program { Desktop, Headless };

    // `address` empty: a fresh loopback address.
    explicit QuelmProcess(const QByteArray &nickname, int descriptorLimit = 0, const QString &address = {},
                          Program program = Program::Desktop);
    ~QuelmProcess();

    // Writes a file into the shared downloads folder before the start.
    void share(const QString &name, const QByteArray &content = "x");
    // Writes a machine-hive value before the start, as a script would.
    void presetMachine(const QString &name, const QByteArray &value);
    // Starts the program and waits until it listens.
    bool start();
    // Ends it with SIGTERM, as a session ending would; true when it ended in order.
    bool stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QProcess &process() { return m_process; }
    QString address() const { return m_address; }
    QString home() const { return m_home.path(); }
    // The headless program's standard output so far.
    QByteArray output();
    int port() const { return Port; }
    qint64 residentKiB() const { return residentKiB(m_process.processId()); }
    int openDescriptors() const { return openDescriptors(m_process.processId()); }
    // Resident memory of any process, from /proc; -1 when it cannot be read.
    static qint64 residentKiB(qint64 pid);
    // User and system time of any process in clock ticks, from /proc; -1 when it is gone.
    static qint64 cpuTicks(qint64 pid);
    static int openDescriptors(qint64 pid);

    static constexpr int Port = 1971;

private:
    QTemporaryDir m_home;
    QString m_address;
    int m_descriptorLimit;
    QProcess m_process;
    Program m_program;
    QByteArray m_output;
};
