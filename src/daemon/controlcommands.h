#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

class ControlSession;
class Core;

// Carries out the requests of control clients on one running copy. Each
// command checks its parameters and answers through the session, at once or
// through a stream the session owns.
class ControlCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlCommands)

public:
    explicit ControlCommands(Core &core, QObject *parent = nullptr);

    void run(ControlSession &session, const QJsonObject &request);

    static bool isPlausibleIdentifier(const QString &id);
    // The reply fields that say whom a command acted on.
    static QJsonObject actedOn(const QString &nickname, const QString &address, const QString &id);

private:
    using Command = void (ControlCommands::*)(ControlSession &, const QJsonObject &);

    void status(ControlSession &session, const QJsonObject &request);
    void peers(ControlSession &session, const QJsonObject &request);
    void downloads(ControlSession &session, const QJsonObject &request);
    void diagnose(ControlSession &session, const QJsonObject &request);
    void search(ControlSession &session, const QJsonObject &request);
    void browse(ControlSession &session, const QJsonObject &request);
    void get(ControlSession &session, const QJsonObject &request);
    void chat(ControlSession &session, const QJsonObject &request);
    void instantMessage(ControlSession &session, const QJsonObject &request);
    void block(ControlSession &session, const QJsonObject &request);
    void unblock(ControlSession &session, const QJsonObject &request);
    void share(ControlSession &session, const QJsonObject &request);
    void connectTo(ControlSession &session, const QJsonObject &request);

    Core &m_core;
    QHash<QString, Command> m_commands;
};
