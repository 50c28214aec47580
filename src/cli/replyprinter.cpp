#include "cli/replyprinter.h"

#include "cli/diagnosisprinter.h"
#include "cli/jsonfield.h"
#include "cli/peerblocking.h"
#include "common/controlprotocol.h"
#include "common/hashingprogress.h"
#include "common/peerdescription.h"

#include <utility>

namespace Command = ControlProtocol::Command;
namespace Event = ControlProtocol::Event;
namespace Key = ControlProtocol::Key;

namespace {

using Align = TextTable::Align;

} // namespace

ReplyPrinter::ReplyPrinter(QJsonObject request)
    : m_request(std::move(request))
    , m_command(m_request.value(Key::Command).toString())
    // Results are printed before the widest is known, so the short columns get
    // room for common values and the file name, the longest, comes last.
    , m_results({{QStringLiteral("SIZE"), Align::Right, 11},
                 {QStringLiteral("TYPE"), Align::Left, 8},
                 {QStringLiteral("NICKNAME"), Align::Left, 12},
                 {QStringLiteral("ADDRESS"), Align::Left, 15},
                 {QStringLiteral("NAME")}})
{
}

QString ReplyPrinter::eventText(const QJsonObject &event)
{
    const QString kind = JsonField::text(event, Key::Event);
    if (kind == Event::Result)
        return resultLine(event);
    if (kind == Event::ResumeSearch)
        return resumeSearchLine(event);
    if (kind == Event::Source)
        return QStringLiteral("Downloading from ") + peerText(event) + QStringLiteral(".\n");
    return {};
}

QString ReplyPrinter::successText(const QJsonObject &reply) const
{
    if (m_command == Command::Status)
        return statusText(reply);
    if (m_command == Command::Peers)
        return peersText(reply);
    if (m_command == Command::Search || m_command == Command::Browse)
        return resultCountText(reply);
    if (m_command == Command::Get)
        return getText(reply);
    if (m_command == Command::Downloads)
        return downloadsText(reply);
    if (m_command == Command::Share)
        return foldersText(reply);
    if (m_command == Command::Diagnose)
        return DiagnosisPrinter::text(reply);
    return confirmationText(reply);
}

QString ReplyPrinter::getText(const QJsonObject &reply)
{
    // The check of the content is the last line, so scripts find it with tail.
    const QString verification = JsonField::text(reply, Key::Verification);
    return QStringLiteral("Saved to ") + JsonField::text(reply, Key::Path) + QLatin1Char('\n')
           + (verification.isEmpty() ? QString() : verification + QLatin1Char('\n'));
}

QString ReplyPrinter::failureText(const QJsonObject &reply) const
{
    const QString error = JsonField::text(reply, Key::Error);
    const QString status = JsonField::text(reply, Key::Status);
    // A get refused before any download began has no status to tell.
    if (m_command != Command::Get || status.isEmpty())
        return error.isEmpty() ? QStringLiteral("quelmd reports a failure without a reason") : error;
    return QStringLiteral("the download ended with status \"") + status + QLatin1Char('"')
           + (error.isEmpty() ? QString() : QStringLiteral(": ") + error);
}

QString ReplyPrinter::resultLine(const QJsonObject &result)
{
    QString text;
    if (!m_resultHeaderShown) {
        m_resultHeaderShown = true;
        text = m_results.headerLine();
    }
    return text
           + m_results.line({JsonField::size(result, Key::Size), JsonField::text(result, Key::Type),
                             JsonField::text(result, Key::Nickname), JsonField::text(result, Key::Address), JsonField::text(result, Key::Name)});
}

QString ReplyPrinter::resumeSearchLine(const QJsonObject &event)
{
    return event.value(Key::Found).toBool()
               ? QStringLiteral("The search by signature found the partial file's source.\n")
               : QStringLiteral("The search by signature found no source; asking the given address.\n");
}

QString ReplyPrinter::statusText(const QJsonObject &reply)
{
    TextTable table({{}, {}});
    table.addRow({QStringLiteral("Nickname:"), JsonField::text(reply, Key::Nickname)});
    table.addRow({QStringLiteral("Identifier:"), JsonField::text(reply, Key::Id)});
    table.addRow({QStringLiteral("Version:"), JsonField::text(reply, Key::Version)});
    table.addRow({QStringLiteral("Address:"), JsonField::text(reply, Key::Address)});
    table.addRow({QStringLiteral("Port:"), JsonField::text(reply, Key::Port)});
    table.addRow({QStringLiteral("Peers:"), JsonField::text(reply, Key::Peers)});
    table.addRow({QStringLiteral("Shared files:"), JsonField::text(reply, Key::SharedFiles)});
    table.addRow({QStringLiteral("Downloads:"), JsonField::text(reply, Key::Downloads)});
    table.addRow({QStringLiteral("Uploading:"), JsonField::text(reply, Key::Uploading)});
    table.addRow({QStringLiteral("Upload queue:"), JsonField::text(reply, Key::UploadQueue)});
    const HashingProgress hashing{JsonField::integer(reply, Key::HashedBytes), JsonField::integer(reply, Key::HashingBytes)};
    table.addRow({QStringLiteral("Hashing:"), hashing.isRunning() ? hashing.amountText() : QStringLiteral("idle")});
    return table.text();
}

QString ReplyPrinter::peersText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("NICKNAME")},
                     {QStringLiteral("ADDRESS")},
                     {QStringLiteral("ID")},
                     {QStringLiteral("FILES"), Align::Right},
                     {QStringLiteral("BLOCKING")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::Peers)) {
        const QJsonObject peer = value.toObject();
        table.addRow({JsonField::text(peer, Key::Nickname), JsonField::text(peer, Key::Address), JsonField::text(peer, Key::Id),
                      JsonField::text(peer, Key::SharedFiles), PeerBlocking::text(peer)});
    }
    return table.isEmpty() ? QStringLiteral("No peers.\n") : table.text();
}

QString ReplyPrinter::resultCountText(const QJsonObject &reply)
{
    const qint64 count = JsonField::integer(reply, Key::Results);
    if (count == 0)
        return QStringLiteral("No results.\n");
    return QString::number(count) + (count == 1 ? QStringLiteral(" result.\n") : QStringLiteral(" results.\n"));
}

QString ReplyPrinter::downloadsText(const QJsonObject &reply)
{
    TextTable running({{QStringLiteral("NAME")},
                       {QStringLiteral("STATUS")},
                       {QStringLiteral("DONE"), Align::Right},
                       {QStringLiteral("RECEIVED"), Align::Right},
                       {QStringLiteral("SIZE"), Align::Right},
                       {QStringLiteral("RATE"), Align::Right},
                       {QStringLiteral("FROM")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::Running)) {
        const QJsonObject row = value.toObject();
        running.addRow({JsonField::text(row, Key::Name), JsonField::text(row, Key::Status), JsonField::text(row, Key::Percent),
                        JsonField::size(row, Key::Received),
                        JsonField::size(row, Key::Total), JsonField::text(row, Key::Rate),
                        JsonField::text(row, Key::Nickname) + QStringLiteral(" (") + JsonField::text(row, Key::Address) + QLatin1Char(')')});
    }
    TextTable ended({{QStringLiteral("NAME")}, {QStringLiteral("STATUS")}, {QStringLiteral("CHECK")},
                     {QStringLiteral("DETAIL")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::Ended)) {
        const QJsonObject row = value.toObject();
        ended.addRow({JsonField::text(row, Key::Name), JsonField::text(row, Key::Status),
                      JsonField::text(row, Key::Verification), JsonField::text(row, Key::Detail)});
    }
    return QStringLiteral("Running:\n") + (running.isEmpty() ? QStringLiteral("  none\n") : running.text(QStringLiteral("  ")))
           + QStringLiteral("\nEnded:\n") + (ended.isEmpty() ? QStringLiteral("  none\n") : ended.text(QStringLiteral("  ")));
}

QString ReplyPrinter::foldersText(const QJsonObject &reply)
{
    const QJsonArray folders = JsonField::array(reply, Key::Folders);
    if (folders.isEmpty())
        return QStringLiteral("No shared folders.\n");
    QString text = QStringLiteral("Shared folders:\n");
    for (const QJsonValue &folder : folders)
        text += QStringLiteral("  ") + JsonField::text(folder) + QLatin1Char('\n');
    return text;
}

QString ReplyPrinter::confirmationText(const QJsonObject &reply) const
{
    if (m_command == Command::Chat)
        return QStringLiteral("Said in the chat room.\n");
    if (m_command == Command::InstantMessage)
        return QStringLiteral("Message sent to ") + peerText(reply) + QStringLiteral(".\n");
    if (m_command == Command::Block)
        return QStringLiteral("Blocked ") + peerText(reply) + QStringLiteral(".\n");
    if (m_command == Command::Unblock)
        return QStringLiteral("Unblocked ") + peerText(reply) + QStringLiteral(".\n");
    if (m_command == Command::Connect)
        return QStringLiteral("Linked to ") + peerText(reply) + QStringLiteral(".\n");
    return QStringLiteral("Done.\n");
}

QString ReplyPrinter::peerText(const QJsonObject &reply)
{
    return PeerDescription::text(JsonField::text(reply, Key::Nickname), JsonField::text(reply, Key::Address),
                                 JsonField::text(reply, Key::Id));
}
