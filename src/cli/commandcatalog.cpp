#include "cli/commandcatalog.h"

#include "common/controlprotocol.h"

namespace {

namespace Command = ControlProtocol::Command;
namespace Key = ControlProtocol::Key;
namespace ShareAction = ControlProtocol::ShareAction;

using Argument = CliCommand::Argument;
using Option = CliCommand::Option;
using ArgumentKind = CliCommand::ArgumentKind;
using OptionKind = CliCommand::OptionKind;

Option waitOption(const QString &what)
{
    return {QStringLiteral("wait"), Key::Wait,
            QStringLiteral("Seconds to collect ") + what + QStringLiteral(" (quelmd's default: 5)."),
            OptionKind::Seconds, QStringLiteral("SECONDS")};
}

Argument peerArgument(const QString &description)
{
    return {QStringLiteral("PEER"), Key::Peer, description};
}

} // namespace

CommandCatalog::CommandCatalog()
    : m_commands{
        {Command::Status, QStringLiteral("Show this copy's nickname, identifier, address and counts.")},
        {Command::Peers, QStringLiteral("List the peers this copy is linked to.")},
        {Command::Search,
         QStringLiteral("Search every peer's shared files; results are printed as they arrive."),
         {{QStringLiteral("WORDS"), Key::Words, QStringLiteral("The words to look for."),
           ArgumentKind::Rest}},
         {{QStringLiteral("type"), Key::Type,
           QStringLiteral("Only files of this category, e.g. Audio (default: every category)."), OptionKind::Text,
           QStringLiteral("CATEGORY")},
          waitOption(QStringLiteral("results"))}},
        {Command::Browse, QStringLiteral("List the files one peer shares."),
         {{QStringLiteral("NICK"), Key::Nick, QStringLiteral("The peer's nickname.")}},
         {waitOption(QStringLiteral("the list"))}},
        {Command::Get,
         QStringLiteral("Download shared files or a whole shared folder, showing the progress; succeeds only when "
                        "every file is complete."),
         {{QStringLiteral("SHAREDNAME"), Key::Name,
           QStringLiteral("A file's shared name, as search or browse lists it, e.g. 1:music\\song.mp3; "
                          "several are fetched together."),
           ArgumentKind::SharedNames, {}, QStringLiteral("folder")}},
         {{QStringLiteral("from"), Key::From,
           QStringLiteral("The peer that shares it: its address, or the nickname of a linked peer."),
           OptionKind::Text, QStringLiteral("PEER"), true},
          {QStringLiteral("resume"), Key::Resume,
           QStringLiteral("Continue a partial download, looking for the file by its signature first."),
           OptionKind::Flag},
          {QStringLiteral("folder"), Key::Folder,
           QStringLiteral("Every file below this shared folder of the peer, e.g. 2:photos\\2024, saved in a "
                          "folder of that name in the downloads folder."),
           OptionKind::Text, QStringLiteral("SHAREDFOLDER")}}},
        {Command::Downloads, QStringLiteral("List running and ended downloads.")},
        {Command::Chat, QStringLiteral("Say a line in the public chat room."),
         {{QStringLiteral("TEXT"), Key::Text, QStringLiteral("The line to say."), ArgumentKind::Rest}}},
        {Command::InstantMessage, QStringLiteral("Send an instant message to a linked peer."),
         {peerArgument(QStringLiteral("The peer: its address, nickname or identifier.")),
          {QStringLiteral("TEXT"), Key::Text, QStringLiteral("The message."), ArgumentKind::Rest}}},
        {Command::Block, QStringLiteral("Block a linked peer (by its identifier, which the reply names)."),
         {peerArgument(QStringLiteral("The peer: its address, nickname or identifier, as peers lists them."))}},
        {Command::Unblock, QStringLiteral("Lift the block on a peer."),
         {peerArgument(QStringLiteral("The peer: a blocked identifier, or a linked peer's address or nickname."))}},
        {Command::Share, QStringLiteral("Add a folder to the shared folders, or remove one."),
         {{QStringLiteral("ACTION"), Key::Action, QStringLiteral("add or remove."), ArgumentKind::Word,
           {ShareAction::Add, ShareAction::Remove}},
          {QStringLiteral("FOLDER"), Key::Folder,
           QStringLiteral("The folder; a relative path is taken from the current folder."), ArgumentKind::Folder}}},
        {Command::Connect,
         QStringLiteral("Link to a peer and wait (up to 5 s) for the link; says who answered, or why none did."),
         {peerArgument(QStringLiteral("The peer's address (or a linked peer's nickname)."))}},
        {Command::Diagnose,
         QStringLiteral("Explain why peers may not be seen: address, subnet, port, discovery, known hosts, "
                        "blocks and refused links.")},
    }
{
}

const CliCommand *CommandCatalog::find(const QString &name) const
{
    for (const CliCommand &command : m_commands) {
        if (command.name() == name)
            return &command;
    }
    return nullptr;
}
