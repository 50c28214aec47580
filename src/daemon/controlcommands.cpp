#include "daemon/controlcommands.h"

#include "base/settingnames.h"
#include "base/sharedfolderlist.h"
#include "chat/chat.h"
#include "common/controlprotocol.h"
#include "common/dottedaddress.h"
#include "daemon/controlsession.h"
#include "daemon/copyreport.h"
#include "daemon/downloadwatch.h"
#include "daemon/networkdiagnosis.h"
#include "daemon/resultstream.h"
#include "share/filetypes.h"
#include "shell/core.h"

#include <QDir>
#include <algorithm>
#include <QJsonArray>
#include <QRegularExpression>

namespace Key = ControlProtocol::Key;
namespace ShareAction = ControlProtocol::ShareAction;

namespace {

const QJsonObject Done{{Key::Ok, true}};

// A text parameter; empty when absent or not text.
QString text(const QJsonObject &request, QLatin1String name)
{
    return request.value(name).toString();
}

int waitSeconds(const QJsonObject &request)
{
    return request.value(Key::Wait).toInt(ResultStream::DefaultWaitSeconds);
}

} // namespace

ControlCommands::ControlCommands(Core &core, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_commands{{ControlProtocol::Command::Status, &ControlCommands::status},
                 {ControlProtocol::Command::Peers, &ControlCommands::peers},
                 {ControlProtocol::Command::Downloads, &ControlCommands::downloads},
                 {ControlProtocol::Command::Diagnose, &ControlCommands::diagnose},
                 {ControlProtocol::Command::Search, &ControlCommands::search},
                 {ControlProtocol::Command::Browse, &ControlCommands::browse},
                 {ControlProtocol::Command::Get, &ControlCommands::get},
                 {ControlProtocol::Command::Chat, &ControlCommands::chat},
                 {ControlProtocol::Command::InstantMessage, &ControlCommands::instantMessage},
                 {ControlProtocol::Command::Block, &ControlCommands::block},
                 {ControlProtocol::Command::Unblock, &ControlCommands::unblock},
                 {ControlProtocol::Command::Share, &ControlCommands::share},
                 {ControlProtocol::Command::Connect, &ControlCommands::connectTo}}
{
}

void ControlCommands::run(ControlSession &session, const QJsonObject &request)
{
    const QString name = text(request, Key::Command);
    const auto command = m_commands.constFind(name);
    if (command == m_commands.cend()) {
        session.fail(QLatin1String("unknown command: ") + name.left(64));
        return;
    }
    (this->*command.value())(session, request);
}

bool ControlCommands::isPlausibleIdentifier(const QString &id)
{
    if (id.isEmpty() || id.size() > 64)
        return false;
    for (QChar c : id) {
        if (c.unicode() <= 32 || c.unicode() >= 127 || QStringLiteral("|?:;").contains(c))
            return false;
    }
    return true;
}

void ControlCommands::status(ControlSession &session, const QJsonObject &)
{
    session.finish(CopyReport::status(m_core));
}

void ControlCommands::peers(ControlSession &session, const QJsonObject &)
{
    session.finish(CopyReport::peers(m_core));
}

void ControlCommands::downloads(ControlSession &session, const QJsonObject &)
{
    session.finish(CopyReport::downloads(m_core));
}

void ControlCommands::diagnose(ControlSession &session, const QJsonObject &)
{
    session.finish(NetworkDiagnosis(m_core).report());
}

void ControlCommands::search(ControlSession &session, const QJsonObject &request)
{
    const QString words = text(request, Key::Words).trimmed();
    if (words.isEmpty()) {
        session.fail(QStringLiteral("search needs words"));
        return;
    }
    const QString asked = request.contains(Key::Type) ? text(request, Key::Type)
                                                                   : QLatin1String(FileTypes::AllFileTypes);
    const QStringList types = FileTypes::fillFileTypes();
    const auto type = std::find_if(types.cbegin(), types.cend(), [&asked](const QString &candidate) {
        return candidate.compare(asked, Qt::CaseInsensitive) == 0;
    });
    if (type == types.cend()) {
        session.fail(QLatin1String("unknown type: ") + asked.left(64) + QLatin1String("; the types are ")
                     + types.join(QLatin1String(", ")));
        return;
    }
    m_core.sharing().search().submitSearch(words.toUtf8(), *type);
    new ResultStream(m_core.sharing().search().results(), session, waitSeconds(request));
}

void ControlCommands::browse(ControlSession &session, const QJsonObject &request)
{
    const QString nickname = text(request, Key::Nick).trimmed();
    if (nickname.isEmpty()) {
        session.fail(QStringLiteral("browse needs a nickname"));
        return;
    }
    m_core.sharing().search().browseUser(nickname.toUtf8());
    new ResultStream(m_core.sharing().search().results(), session, waitSeconds(request));
}

void ControlCommands::get(ControlSession &session, const QJsonObject &request)
{
    const QString name = text(request, Key::Name);
    const QString address = text(request, Key::From);
    if (name.isEmpty() || !DottedAddress::isValid(address)) {
        session.fail(QStringLiteral("get needs a shared name and the address of the peer that shares it"));
        return;
    }
    static const QRegularExpression sharedForm(QStringLiteral("^[0-9]{1,9}:."));
    if (!sharedForm.match(name).hasMatch()) {
        session.fail(QStringLiteral("give the shared name as search or browse list it, for example 1:song.mp3"));
        return;
    }
    auto *watch = new DownloadWatch(m_core, session, name.toUtf8(), address);
    watch->start(request.value(Key::Resume).toBool());
}

void ControlCommands::chat(ControlSession &session, const QJsonObject &request)
{
    if (!m_core.chat().sendChatLine(text(request, Key::Text))) {
        session.fail(QStringLiteral("chat needs a text"));
        return;
    }
    session.finish(Done);
}

void ControlCommands::instantMessage(ControlSession &session, const QJsonObject &request)
{
    const QString address = text(request, Key::Address);
    const QByteArray message = text(request, Key::Text).toUtf8();
    if (message.isEmpty()) {
        session.fail(QStringLiteral("im needs a text"));
        return;
    }
    if (!DottedAddress::isValid(address) || m_core.network().connections().findConnection(address) < 0) {
        session.fail(QLatin1String("no peer is linked at ") + address.left(64));
        return;
    }
    if (!m_core.chat().sendInstantMessage(address, message)) {
        session.fail(QStringLiteral("the message is too long: at most %1 bytes").arg(Chat::MaxInstantMessageBytes));
        return;
    }
    session.finish(Done);
}

void ControlCommands::block(ControlSession &session, const QJsonObject &request)
{
    const QString id = text(request, Key::Id);
    if (!isPlausibleIdentifier(id)) {
        session.fail(QStringLiteral("not an identifier: up to 64 printable characters without | ? : ;"));
        return;
    }
    m_core.network().blocking().blockById(id.toLatin1());
    session.finish(Done);
}

void ControlCommands::unblock(ControlSession &session, const QJsonObject &request)
{
    const QString id = text(request, Key::Id);
    if (!isPlausibleIdentifier(id) || !m_core.network().blocking().unblockById(id.toLatin1())) {
        session.fail(QLatin1String("not blocked: ") + id.left(64));
        return;
    }
    session.finish(Done);
}

void ControlCommands::share(ControlSession &session, const QJsonObject &request)
{
    const QString action = text(request, Key::Action);
    const QString folder = QDir::cleanPath(text(request, Key::Folder));
    if ((action != ShareAction::Add && action != ShareAction::Remove) || !QDir::isAbsolutePath(folder)
        || folder.contains(QLatin1Char(';'))) {
        session.fail(QStringLiteral("share needs add or remove and an absolute folder without \";\""));
        return;
    }
    SettingsStore &settings = m_core.settings();
    QStringList folders = SharedFolderList::parse(settings.get(QLatin1String(SettingNames::SharedFolders)));
    if (action == ShareAction::Add && !QDir(folder).exists()) {
        session.fail(QLatin1String("no such folder: ") + folder);
        return;
    }
    if (action == ShareAction::Add && !folders.contains(folder))
        folders.append(folder);
    if (action == ShareAction::Remove && folders.removeAll(folder) == 0) {
        session.fail(QLatin1String("not shared: ") + folder);
        return;
    }
    settings.set(QLatin1String(SettingNames::SharedFolders), SharedFolderList::format(folders));
    m_core.sharing().sharedIndex().loadSharedFolders();
    session.finish({{Key::Ok, true}, {Key::Folders, QJsonArray::fromStringList(folders)}});
}

void ControlCommands::connectTo(ControlSession &session, const QJsonObject &request)
{
    const QString address = text(request, Key::Address);
    if (!DottedAddress::isValid(address)) {
        session.fail(QStringLiteral("connect needs a dotted IPv4 address"));
        return;
    }
    m_core.network().connections().connectTo(address);
    session.finish(Done);
}
