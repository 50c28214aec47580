#include "cli/commandrunner.h"

#include "common/controlprotocol.h"
#include "common/programfolder.h"

#include <QIODevice>

#include <utility>

namespace Event = ControlProtocol::Event;
namespace Key = ControlProtocol::Key;

CommandRunner::CommandRunner(QJsonObject request, bool json, QString programFolder, Output output, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_json(json)
    , m_programFolder(std::move(programFolder))
    , m_output(output)
    , m_client(ProgramFolder::controlSocketPath(m_programFolder))
    , m_printer(m_request)
    , m_progress(output.terminalColumns > 0 ? ProgressDisplay::Mode::Terminal : ProgressDisplay::Mode::Lines,
                 output.terminalColumns)
{
    connect(&m_client, &ControlClient::eventReceived, this, &CommandRunner::onEvent);
    connect(&m_client, &ControlClient::replied, this, &CommandRunner::onReply);
    connect(&m_client, &ControlClient::failed, this, &CommandRunner::onFailure);
}

void CommandRunner::start()
{
    m_clock.start();
    m_client.send(m_request);
}

void CommandRunner::onEvent(const QJsonObject &event, const QByteArray &line)
{
    if (m_json) {
        m_output.out->write(line + '\n');
    } else if (event.value(Key::Event).toString() == Event::Progress) {
        writeOut(m_progress.update(event, m_clock.elapsed()));
    } else {
        const QString text = m_printer.eventText(event);
        if (!text.isEmpty())
            writeOut(m_progress.release() + text);
    }
}

void CommandRunner::onReply(const QJsonObject &reply, const QByteArray &line)
{
    const bool success = succeeded(reply);
    if (m_json) {
        m_output.out->write(line + '\n');
    } else {
        writeOut(m_progress.release() + (success ? m_printer.successText(reply) : QString()));
        if (!success)
            writeError(m_printer.failureText(reply));
    }
    if (success)
        finish(ExitCode::Success);
    else
        finish(reply.value(Key::Usage).toBool() ? ExitCode::Usage : ExitCode::CommandFailed);
}

void CommandRunner::onFailure(ControlClient::Failure failure, const QString &reason)
{
    writeOut(m_progress.release());
    if (failure == ControlClient::Failure::NotRunning) {
        writeError(QStringLiteral("quelmd is not running for ") + m_programFolder);
        finish(ExitCode::NotRunning);
        return;
    }
    writeError(reason);
    finish(ExitCode::ConnectionFailed);
}

bool CommandRunner::succeeded(const QJsonObject &reply) const
{
    if (!reply.value(Key::Ok).toBool())
        return false;
    // A download counts only once the whole file is in place.
    return m_request.value(Key::Command).toString() != ControlProtocol::Command::Get
           || reply.value(Key::State).toString() == ControlProtocol::StateWord::Complete;
}

void CommandRunner::writeOut(const QString &text)
{
    if (!text.isEmpty())
        m_output.out->write(text.toUtf8());
}

void CommandRunner::writeError(const QString &text)
{
    m_output.err->write(QStringLiteral("quelm-cli: ").toUtf8() + text.toUtf8() + '\n');
}

void CommandRunner::finish(ExitCode code)
{
    emit finished(static_cast<int>(code));
}
