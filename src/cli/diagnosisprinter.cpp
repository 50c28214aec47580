#include "cli/diagnosisprinter.h"

#include "cli/jsonfield.h"
#include "cli/peerblocking.h"
#include "cli/texttable.h"

namespace {

QString listOrNone(const QJsonObject &object, const char *name)
{
    const QString text = JsonField::text(object, name);
    return text.isEmpty() ? QStringLiteral("none") : text;
}

QString section(const QString &title, const TextTable &table)
{
    return QLatin1Char('\n') + title + QStringLiteral(":\n")
           + (table.isEmpty() ? QStringLiteral("  none\n") : table.text(QStringLiteral("  ")));
}

} // namespace

QString DiagnosisPrinter::text(const QJsonObject &reply)
{
    return settingsText(reply) + blockedText(reply) + peersText(reply) + refusedText(reply) + findingsText(reply);
}

QString DiagnosisPrinter::settingsText(const QJsonObject &reply)
{
    const bool udp = reply.value(QLatin1String("udp")).toBool();
    TextTable table({{}, {}});
    table.addRow({QStringLiteral("Address:"), JsonField::text(reply, "address")});
    table.addRow({QStringLiteral("Subnet:"), JsonField::text(reply, "subnet")});
    table.addRow({QStringLiteral("Listening port:"), JsonField::text(reply, "port")});
    table.addRow({QStringLiteral("Port self-test:"), JsonField::text(reply, "portSelfTest")});
    table.addRow({QStringLiteral("UDP discovery:"), udp ? QStringLiteral("on") : QStringLiteral("off")});
    table.addRow({QStringLiteral("Scan position:"), JsonField::text(reply, "scanPosition")});
    table.addRow({QStringLiteral("Scan misses:"), JsonField::text(reply, "scanMisses")});
    table.addRow({QStringLiteral("Host cache:"), listOrNone(reply, "hostCache")});
    table.addRow({QStringLiteral("Recent hosts:"), listOrNone(reply, "recentHosts")});
    return table.text();
}

QString DiagnosisPrinter::blockedText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("ID")}, {QStringLiteral("NICKNAME")}});
    for (const QJsonValue &value : JsonField::array(reply, "blocked")) {
        const QJsonObject row = value.toObject();
        table.addRow({JsonField::text(row, "id"), JsonField::text(row, "nickname")});
    }
    return section(QStringLiteral("Blocked identifiers"), table);
}

QString DiagnosisPrinter::peersText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("ADDRESS")},
                     {QStringLiteral("NICKNAME")},
                     {QStringLiteral("SUBNET")},
                     {QStringLiteral("BLOCKING")}});
    for (const QJsonValue &value : JsonField::array(reply, "peers")) {
        const QJsonObject peer = value.toObject();
        const bool sameSubnet = peer.value(QLatin1String("sameSubnet")).toBool();
        table.addRow({JsonField::text(peer, "address"), JsonField::text(peer, "nickname"),
                      sameSubnet ? QStringLiteral("same") : QStringLiteral("other"), PeerBlocking::text(peer)});
    }
    return section(QStringLiteral("Peers"), table);
}

QString DiagnosisPrinter::refusedText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("TIME")}, {QStringLiteral("ADDRESS")}, {QStringLiteral("REASON")}});
    for (const QJsonValue &value : JsonField::array(reply, "refusedLinks")) {
        const QJsonObject row = value.toObject();
        table.addRow({JsonField::text(row, "time"), JsonField::text(row, "address"), JsonField::text(row, "reason")});
    }
    return section(QStringLiteral("Refused links"), table);
}

QString DiagnosisPrinter::findingsText(const QJsonObject &reply)
{
    const QJsonArray findings = JsonField::array(reply, "findings");
    QString text = QStringLiteral("\nFindings:\n");
    if (findings.isEmpty())
        return text + QStringLiteral("  nothing that would keep peers out of sight\n");
    for (const QJsonValue &finding : findings)
        text += QStringLiteral("  - ") + JsonField::text(finding) + QLatin1Char('\n');
    return text;
}
