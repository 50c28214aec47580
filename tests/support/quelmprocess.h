#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The real quelm program under test: its own home with shared files in its
// downloads folder, a loopback address of its own, the display offscreen and,
// when asked, a lowered descriptor limit. It is killed with the test.
class QuelmProcess final
{
    Q_DISABLE_COPY_MOVE(QuelmProcess)

public:
    explicit QuelmProcess(const QByteArray &nickname, int descriptorLimit = 0);
    ~QuelmProcess();

    // Writes a file into the shared downloads folder before the start.
    void share(const QString &name, const QByteArray &content = "x");
    // Starts the program and waits until it listens.
    bool start();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QProcess &process() { return m_process; }
    QString address() const { return m_address; }
    int port() const { return Port; }
    qint64 residentKiB() const;
    int openDescriptors() const;

    static constexpr int Port = 1971;

private:
    QTemporaryDir m_home;
    QString m_address;
    int m_descriptorLimit;
    QProcess m_process;
};
