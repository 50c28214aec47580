#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A quelm or quelmd process started inside a network namespace, with its own
// program folder and settings prepared before its first start, and its output
// kept in a log in that folder. It is killed with its owner, and with the
// process that started it.
class NamespacedCopy final
{
    Q_DISABLE_COPY_MOVE(NamespacedCopy)

public:
    static constexpr int ControlPort = 1971;
    static constexpr int StopTimeoutMs = 10000;

    using Settings = QList<QPair<const char *, QByteArray>>;

    // `settings` are user-hive values; `productId` tells the copies apart.
    NamespacedCopy(const QString &program, const QString &space, const QString &address, const Settings &settings,
                   const QByteArray &productId);
    ~NamespacedCopy();

    void setEnvironment(const QString &name, const QString &value);
    void launch() { m_process.start(); }
    // Sends SIGKILL without waiting: many copies end together this way, instead
    // of each one's peers reacting to its end while the next still runs.
    void kill() { m_process.kill(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    QString address() const { return m_address; }
    QString logPath() const { return m_home.filePath(QStringLiteral("quelm.log")); }

    // Established connections of the control port to other hosts of `subnet`
    // (dotted, with the closing dot), as "local:port>remote:port". /proc
    // shows each address as the kernel's four bytes printed as one number in
    // this machine's byte order.
    QStringList links(const QString &subnet) const;

private:
    QString m_address;
    QTemporaryDir m_home;
    QProcess m_process;
};
