#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTextStream>

class Core;

// Writes what happens on the network to standard output, one line per event:
// peers joining and leaving, public chat lines and instant messages.
class ActivityLog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivityLog)

public:
    ActivityLog(Core &core, QTextStream &out, QObject *parent = nullptr);

private:
    void onUserListRebuilt();
    void write(const QString &line);
    QString nicknameAt(const QString &address) const;

    Core &m_core;
    QTextStream &m_out;
    // Address to nickname of the peers in the user list at its last rebuild.
    QHash<QString, QString> m_peers;
};
