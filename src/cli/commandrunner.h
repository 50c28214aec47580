#pragma once

#include "cli/controlclient.h"
#include "cli/exitcode.h"
#include "cli/progressdisplay.h"
#include "cli/replyprinter.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QIODevice;

// Runs one parsed command against quelmd: sends its request, writes the
// replies as they arrive (as text, or unchanged with --json) and ends with
// the exit status the outcome calls for.
class CommandRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandRunner)

public:
    struct Output
    {
        QIODevice *out = nullptr;
        QIODevice *err = nullptr;
        // The width of the terminal `out` writes to, 0 when it is none:
        // progress is redrawn in place only on a terminal.
        int terminalColumns = 0;
    };

    CommandRunner(QJsonObject request, bool json, QString programFolder, Output output, QObject *parent = nullptr);

    void start();

signals:
    // Emitted once, after everything has been written.
    void finished(int exitCode);

private:
    void onEvent(const QJsonObject &event, const QByteArray &line);
    void onReply(const QJsonObject &reply, const QByteArray &line);
    void onFailure(ControlClient::Failure failure, const QString &reason);
    bool succeeded(const QJsonObject &reply) const;
    void writeOut(const QString &text);
    void writeError(const QString &text);
    void finish(ExitCode code);

    QJsonObject m_request;
    bool m_json;
    QString m_programFolder;
    Output m_output;
    ControlClient m_client;
    ReplyPrinter m_printer;
    ProgressDisplay m_progress;
    QElapsedTimer m_clock;
};
