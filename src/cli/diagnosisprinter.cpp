#include "cli/diagnosisprinter.h"

#include "cli/jsonfield.h"
#include "cli/peerblocking.h"
#include "cli/texttable.h"
#include "common/controlprotocol.h"

namespace Key = ControlProtocol::Key;

namespace {

QString listOrNone(const QJsonObject &object, QLatin1String name)
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
    const bool udp = reply.value(Key::Udp).toBool();
    TextTable table({{}, {}});
    table.addRow({QStringLiteral("Address:"), JsonField::text(reply, Key::Address)});
    table.addRow({QStringLiteral("Subnet:"), JsonField::text(reply, Key::Subnet)});
    table.addRow({QStringLiteral("Listening port:"), JsonField::text(reply, Key::Port)});
    table.addRow({QStringLiteral("Port self-test:"), JsonField::text(reply, Key::PortSelfTest)});
    table.addRow({QStringLiteral("UDP discovery:"), udp ? QStringLiteral("on") : QStringLiteral("off")});
    table.addRow({QStringLiteral("Scan position:"), JsonField::text(reply, Key::ScanPosition)});
    table.addRow({QStringLiteral("Scan misses:"), JsonField::text(reply, Key::ScanMisses)});
    table.addRow({QStringLiteral("Host cache:"), listOrNone(reply, Key::HostCache)});
    table.addRow({QStringLiteral("Recent hosts:"), listOrNone(reply, Key::RecentHosts)});
    return table.text();
}

QString DiagnosisPrinter::blockedText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("ID")}, {QStringLiteral("NICKNAME")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::Blocked)) {
        const QJsonObject row = value.toObject();
        table.addRow({JsonField::text(row, Key::Id), JsonField::text(row, Key::Nickname)});
    }
    return section(QStringLiteral("Blocked identifiers"), table);
}

QString DiagnosisPrinter::peersText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("ADDRESS")},
                     {QStringLiteral("NICKNAME")},
                     {QStringLiteral("SUBNET")},
                     {QStringLiteral("BLOCKING")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::Peers)) {
        const QJsonObject peer = value.toObject();
        const bool sameSubnet = peer.value(Key::SameSubnet).toBool();
        table.addRow({JsonField::text(peer, Key::Address), JsonField::text(peer, Key::Nickname),
                      sameSubnet ? QStringLiteral("same") : QStringLiteral("other"), PeerBlocking::text(peer)});
    }
    return section(QStringLiteral("Peers"), table);
}

QString DiagnosisPrinter::refusedText(const QJsonObject &reply)
{
    TextTable table({{QStringLiteral("TIME")}, {QStringLiteral("ADDRESS")}, {QStringLiteral("REASON")}});
    for (const QJsonValue &value : JsonField::array(reply, Key::RefusedLinks)) {
        const QJsonObject row = value.toObject();
        table.addRow({JsonField::text(row, Key::Time), JsonField::text(row, Key::Address), JsonField::text(row, Key::Reason)});
    }
    return section(QStringLiteral("Refused links"), table);
}

QString DiagnosisPrinter::findingsText(const QJsonObject &reply)
{
    const QJsonArray findings = JsonField::array(reply, Key::Findings);
    QString text = QStringLiteral("\nFindings:\n");
    if (findings.isEmpty())
        return text + QStringLiteral("  nothing that would keep peers out of sight\n");
    for (const QJsonValue &finding : findings)
        text += QStringLiteral("  - ") + JsonField::text(finding) + QLatin1Char('\n');
    return text;
}
