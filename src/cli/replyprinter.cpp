#include "cli/replyprinter.h"

#include "cli/diagnosisprinter.h"
#include "cli/jsonfield.h"
#include "cli/peerblocking.h"

#include <utility>

namespace {

using Align = TextTable::Align;

} // namespace

ReplyPrinter::ReplyPrinter(QJsonObject request)
    : m_request(std::move(request))
    , m_command(m_request.value(QLatin1String("command")).toString())
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
    const QString kind = JsonField::text(event, "event");
    if (kind == QLatin1String("result"))
        return resultLine(event);
    if (kind == QLatin1String("resumeSearch"))
        return resumeSearchLine(event);
    return {};
}

QString ReplyPrinter::successText(const QJsonObject &reply) const
{
    if (m_command == QLatin1String("status"))
        return statusText(reply);
    if (m_command == QLatin1String("peers"))
        return peersText(reply);
    if (m_command == QLatin1String("search") || m_command == QLatin1String("browse"))
        return resultCountText(reply);
    if (m_command == QLatin1String("get"))
        return QStringLiteral("Saved to ") + JsonField::text(reply, "path") + QLatin1Char('\n');
    if (m_command == QLatin1String("downloads"))
        return downloadsText(reply);
    if (m_command == QLatin1String("share"))
        return foldersText(reply);
    if (m_command == QLatin1String("diagnose"))
        return DiagnosisPrinter::text(reply);
    return confirmationText();
}

QString ReplyPrinter::failureText(const QJsonObject &reply) const
{
    const QString error = JsonField::text(reply, "error");
    if (m_command != QLatin1String("get"))
        return error.isEmpty() ? QStringLiteral("quelmd reports a failure without a reason") : error;
    const QString status = JsonField::text(reply, "status");
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
           + m_results.line({JsonField::size(result, "size"), JsonField::text(result, "type"),
                             JsonField::text(result, "nickname"), JsonField::text(result, "address"), JsonField::text(result, "name")});
}

QString ReplyPrinter::resumeSearchLine(const QJsonObject &event)
{
    return event.value(QLatin1String("found")).toBool()
               ? QStringLiteral("The search by signature found the partial file's source.\n")
               : QStringLiteral("The search by signature found no source; asking the given address.\n");
}

QString ReplyPrinter::statusText(const QJsonObject &reply)
{
    TextTable table({{}, {}});
    table.addRow({QStringLiteral("Nickname:"), JsonField::text(reply, "nickname")});
    table.addRow({QStringLiteral("Identifier:"), JsonField::text(reply, "id")});
    table.addRow({QStringLiteral("Version:"), JsonField::text(reply, "version")});
    table.addRow({QStringLiteral("Address:"), JsonField::text(reply, "address")});
    table.addRow({QStringLiteral("Port:"), JsonField::text(reply, "port")});
    table.addRow({QStringLiteral("Peers:"), JsonField::text(reply, "peers")});
    table.addRow({QStringLiteral("Shared files:"), JsonField::text(reply, "sharedFiles")});
    table.addRow({QStringLiteral("Downloads:"), JsonField::text(reply, "downloads")});
    table.addRow({QStringLiteral("Uploading:"), JsonField::text(reply, "uploading")});
    table.addRow({QStringLiteral("Upload queue:"), JsonField::text(reply, "uploadQueue")});
    return table.text();
}

QString ReplyPrinter::peersText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("NICKNAME")},
                     {QStringLiteral("ADDRESS")},
                     {QStringLiteral("ID")},
                     {QStringLiteral("FILES"), Align::Right},
                     {QStringLiteral("BLOCKING")}});
    for (const QJsonValue &value : JsonField::array(reply, "peers")) {
        const QJsonObject peer = value.toObject();
        table.addRow({JsonField::text(peer, "nickname"), JsonField::text(peer, "address"), JsonField::text(peer, "id"),
                      JsonField::text(peer, "sharedFiles"), PeerBlocking::text(peer)});
    }
    return table.isEmpty() ? QStringLiteral("No peers.\n") : table.text();
}

QString ReplyPrinter::resultCountText(const QJsonObject &reply)
{
    const qint64 count = JsonField::integer(reply, "results");
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
    for (const QJsonValue &value : JsonField::array(reply, "running")) {
        const QJsonObject row = value.toObject();
        running.addRow({JsonField::text(row, "name"), JsonField::text(row, "status"), JsonField::text(row, "percent"),
                        JsonField::size(row, "received"),
                        JsonField::size(row, "total"), JsonField::text(row, "rate"),
                        JsonField::text(row, "nickname") + QStringLiteral(" (") + JsonField::text(row, "address") + QLatin1Char(')')});
    }
    TextTable ended({{QStringLiteral("NAME")}, {QStringLiteral("STATUS")}, {QStringLiteral("DETAIL")}});
    for (const QJsonValue &value : JsonField::array(reply, "ended")) {
        const QJsonObject row = value.toObject();
        ended.addRow({JsonField::text(row, "name"), JsonField::text(row, "status"), JsonField::text(row, "detail")});
    }
    return QStringLiteral("Running:\n") + (running.isEmpty() ? QStringLiteral("  none\n") : running.text(QStringLiteral("  ")))
           + QStringLiteral("\nEnded:\n") + (ended.isEmpty() ? QStringLiteral("  none\n") : ended.text(QStringLiteral("  ")));
}

QString ReplyPrinter::foldersText(const QJsonObject &reply)
{
    const QJsonArray folders = JsonField::array(reply, "folders");
    if (folders.isEmpty())
        return QStringLiteral("No shared folders.\n");
    QString text = QStringLiteral("Shared folders:\n");
    for (const QJsonValue &folder : folders)
        text += QStringLiteral("  ") + JsonField::text(folder) + QLatin1Char('\n');
    return text;
}

QString ReplyPrinter::confirmationText() const
{
    if (m_command == QLatin1String("chat"))
        return QStringLiteral("Said in the chat room.\n");
    if (m_command == QLatin1String("im"))
        return QStringLiteral("Message sent to ") + field("address") + QStringLiteral(".\n");
    if (m_command == QLatin1String("block"))
        return QStringLiteral("Blocked ") + field("id") + QStringLiteral(".\n");
    if (m_command == QLatin1String("unblock"))
        return QStringLiteral("Unblocked ") + field("id") + QStringLiteral(".\n");
    if (m_command == QLatin1String("connect"))
        return QStringLiteral("Asked quelmd to link to ") + field("address") + QStringLiteral(".\n");
    return QStringLiteral("Done.\n");
}

QString ReplyPrinter::field(const char *name) const
{
    return JsonField::text(m_request, name);
}
