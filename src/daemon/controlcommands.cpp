#include "daemon/controlcommands.h"

#include "base/settingnames.h"
#include "base/sharedfolderlist.h"
#include "chat/chat.h"
#include "common/controlprotocol.h"
#include "daemon/controlsession.h"
#include "daemon/copyreport.h"
#include "daemon/downloadwatch.h"
#include "daemon/folderwatch.h"
#include "daemon/linkwatch.h"
#include "daemon/networkdiagnosis.h"
#include "daemon/peerresolver.h"
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
        session.failUsage(QLatin1String("unknown command: ") + name.left(64));
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
        session.failUsage(QStringLiteral("search needs words"));
        return;
    }
    const QString asked = request.contains(Key::Type) ? text(request, Key::Type)
                                                                   : QLatin1String(FileTypes::AllFileTypes);
    const QStringList types = FileTypes::fillFileTypes();
    const auto type = std::find_if(types.cbegin(), types.cend(), [&asked](const QString &candidate) {
        return candidate.compare(asked, Qt::CaseInsensitive) == 0;
    });
    if (type == types.cend()) {
        session.failUsage(QLatin1String("unknown type: ") + asked.left(64) + QLatin1String("; the types are ")
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
        session.failUsage(QStringLiteral("browse needs a nickname"));
        return;
    }
    m_core.sharing().search().browseUser(nickname.toUtf8());
    new ResultStream(m_core.sharing().search().results(), session, waitSeconds(request));
}

void ControlCommands::get(ControlSession &session, const QJsonObject &request)
{
    const QString name = text(request, Key::Name);
    const QString folder = text(request, Key::Folder);
    QStringList names;
    for (const QJsonValue &value : request.value(Key::Names).toArray())
        names.append(value.toString());
    if (!name.isEmpty())
        names.prepend(name);
    const QString from = text(request, Key::From);
    if ((names.isEmpty() == folder.isEmpty()) || from.trimmed().isEmpty()) {
        session.failUsage(QStringLiteral("get needs shared names or a shared folder, and the peer that shares them"));
        return;
    }
    static const QRegularExpression sharedForm(QStringLiteral("^[0-9]{1,9}:."));
    static const QRegularExpression folderForm(QStringLiteral("^[0-9]{1,9}:"));
    const bool allShared = std::all_of(names.cbegin(), names.cend(),
                                       [](const QString &candidate) { return sharedForm.match(candidate).hasMatch(); });
    if (!allShared || (!folder.isEmpty() && !folderForm.match(folder).hasMatch())) {
        session.failUsage(QStringLiteral("give the shared name as search or browse list it, for example 1:song.mp3"));
        return;
    }
    const PeerResolver::Outcome source = PeerResolver(m_core).resolve(from);
    if (!source.peer) {
        session.fail(source.error);
        return;
    }
    QJsonObject event = actedOn(source.peer->nickname, source.peer->address, source.peer->id);
    event.insert(Key::Event, ControlProtocol::Event::Source);
    session.sendLine(event);
    if (!folder.isEmpty() || names.size() > 1) {
        auto *watch = new FolderWatch(m_core, session, source.peer->address);
        if (folder.isEmpty())
            watch->startFiles(names);
        else
            watch->startFolder(source.peer->nickname.toUtf8(), folder.toUtf8());
        return;
    }
    auto *watch = new DownloadWatch(m_core, session, name.toUtf8(), source.peer->address);
    watch->start(request.value(Key::Resume).toBool());
}

void ControlCommands::chat(ControlSession &session, const QJsonObject &request)
{
    if (!m_core.chat().sendChatLine(text(request, Key::Text))) {
        session.failUsage(QStringLiteral("chat needs a text"));
        return;
    }
    session.finish(Done);
}

void ControlCommands::instantMessage(ControlSession &session, const QJsonObject &request)
{
    const QByteArray message = text(request, Key::Text).toUtf8();
    if (message.isEmpty()) {
        session.failUsage(QStringLiteral("im needs a text"));
        return;
    }
    const PeerResolver::Outcome found = PeerResolver(m_core).resolve(text(request, Key::Peer));
    if (!found.peer || !found.peer->linked) {
        session.fail(found.peer ? QString(QLatin1String("no peer is linked at ") + found.peer->address)
                                : found.error);
        return;
    }
    if (!m_core.chat().sendInstantMessage(found.peer->address, message)) {
        session.fail(QStringLiteral("the message is too long: at most %1 bytes").arg(Chat::MaxInstantMessageBytes));
        return;
    }
    session.finish(actedOn(found.peer->nickname, found.peer->address, found.peer->id));
}

void ControlCommands::block(ControlSession &session, const QJsonObject &request)
{
    const PeerResolver::Outcome found = PeerResolver(m_core).resolve(text(request, Key::Peer));
    if (!found.peer) {
        session.fail(found.error);
        return;
    }
    // Blocking goes by identifier, which only a link tells.
    if (found.peer->id.isEmpty()) {
        session.fail(QLatin1String("no peer is linked at ") + found.peer->address);
        return;
    }
    m_core.network().blocking().blockById(found.peer->id.toLatin1());
    session.finish(actedOn(found.peer->nickname, found.peer->address, found.peer->id));
}

void ControlCommands::unblock(ControlSession &session, const QJsonObject &request)
{
    const QString named = text(request, Key::Peer).trimmed();
    Blocking &blocking = m_core.network().blocking();
    // A blocked peer that has left is known by its identifier alone.
    if (isPlausibleIdentifier(named) && m_core.network().blockedList().isBlocked(named.toLatin1())) {
        blocking.unblockById(named.toLatin1());
        session.finish(actedOn({}, {}, named));
        return;
    }
    const PeerResolver::Outcome found = PeerResolver(m_core).resolve(named);
    if (!found.peer) {
        session.fail(found.error);
        return;
    }
    if (found.peer->id.isEmpty() || !blocking.unblockById(found.peer->id.toLatin1())) {
        session.fail(QLatin1String("not blocked: ") + PeerResolver::describe(*found.peer));
        return;
    }
    session.finish(actedOn(found.peer->nickname, found.peer->address, found.peer->id));
}

void ControlCommands::share(ControlSession &session, const QJsonObject &request)
{
    const QString action = text(request, Key::Action);
    const QString folder = QDir::cleanPath(text(request, Key::Folder));
    if ((action != ShareAction::Add && action != ShareAction::Remove) || !QDir::isAbsolutePath(folder)
        || folder.contains(QLatin1Char(';'))) {
        session.failUsage(QStringLiteral("share needs add or remove and an absolute folder without \";\""));
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
    const PeerResolver::Outcome found = PeerResolver(m_core).resolve(text(request, Key::Peer));
    if (!found.peer) {
        session.fail(found.error);
        return;
    }
    auto *watch = new LinkWatch(m_core, session, found.peer->address);
    watch->start();
}

QJsonObject ControlCommands::actedOn(const QString &nickname, const QString &address, const QString &id)
{
    return {{Key::Ok, true}, {Key::Nickname, nickname}, {Key::Address, address}, {Key::Id, id}};
}
