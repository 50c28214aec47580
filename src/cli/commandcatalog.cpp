#include "cli/commandcatalog.h"

namespace {

using Argument = CliCommand::Argument;
using Option = CliCommand::Option;
using ArgumentKind = CliCommand::ArgumentKind;
using OptionKind = CliCommand::OptionKind;

Option waitOption(const QString &what)
{
    return {QStringLiteral("wait"), QStringLiteral("wait"),
            QStringLiteral("Seconds to collect ") + what + QStringLiteral(" (quelmd's default: 5)."),
            OptionKind::Seconds, QStringLiteral("SECONDS")};
}

Argument addressArgument(const QString &description)
{
    return {QStringLiteral("ADDRESS"), QStringLiteral("address"), description};
}

} // namespace

CommandCatalog::CommandCatalog()
    : m_commands{
        {QStringLiteral("status"), QStringLiteral("Show this copy's nickname, identifier, address and counts.")},
        {QStringLiteral("peers"), QStringLiteral("List the peers this copy is linked to.")},
        {QStringLiteral("search"),
         QStringLiteral("Search every peer's shared files; results are printed as they arrive."),
         {{QStringLiteral("WORDS"), QStringLiteral("words"), QStringLiteral("The words to look for."),
           ArgumentKind::Rest}},
         {{QStringLiteral("type"), QStringLiteral("type"),
           QStringLiteral("Only files of this category, e.g. Audio (default: every category)."), OptionKind::Text,
           QStringLiteral("CATEGORY")},
          waitOption(QStringLiteral("results"))}},
        {QStringLiteral("browse"), QStringLiteral("List the files one peer shares."),
         {{QStringLiteral("NICK"), QStringLiteral("nick"), QStringLiteral("The peer's nickname.")}},
         {waitOption(QStringLiteral("the list"))}},
        {QStringLiteral("get"),
         QStringLiteral("Download a shared file, showing its progress; succeeds only when the file is complete."),
         {{QStringLiteral("SHAREDNAME"), QStringLiteral("name"),
           QStringLiteral("The file's shared name, as search or browse lists it.")}},
         {{QStringLiteral("from"), QStringLiteral("from"), QStringLiteral("The address of the peer that shares it."),
           OptionKind::Text, QStringLiteral("ADDRESS"), true},
          {QStringLiteral("resume"), QStringLiteral("resume"),
           QStringLiteral("Continue a partial download, looking for the file by its signature first."),
           OptionKind::Flag}}},
        {QStringLiteral("downloads"), QStringLiteral("List running and ended downloads.")},
        {QStringLiteral("chat"), QStringLiteral("Say a line in the public chat room."),
         {{QStringLiteral("TEXT"), QStringLiteral("text"), QStringLiteral("The line to say."), ArgumentKind::Rest}}},
        {QStringLiteral("im"), QStringLiteral("Send an instant message to a linked peer."),
         {addressArgument(QStringLiteral("The peer's address.")),
          {QStringLiteral("TEXT"), QStringLiteral("text"), QStringLiteral("The message."), ArgumentKind::Rest}}},
        {QStringLiteral("block"), QStringLiteral("Block a peer by its identifier."),
         {{QStringLiteral("ID"), QStringLiteral("id"), QStringLiteral("The identifier, as peers lists it.")}}},
        {QStringLiteral("unblock"), QStringLiteral("Lift the block on an identifier."),
         {{QStringLiteral("ID"), QStringLiteral("id"), QStringLiteral("The blocked identifier.")}}},
        {QStringLiteral("share"), QStringLiteral("Add a folder to the shared folders, or remove one."),
         {{QStringLiteral("ACTION"), QStringLiteral("action"), QStringLiteral("add or remove."), ArgumentKind::Word,
           {QStringLiteral("add"), QStringLiteral("remove")}},
          {QStringLiteral("FOLDER"), QStringLiteral("folder"),
           QStringLiteral("The folder; a relative path is taken from the current folder."), ArgumentKind::Folder}}},
        {QStringLiteral("connect"), QStringLiteral("Link to the peer at an address."),
         {addressArgument(QStringLiteral("The peer's address."))}},
        {QStringLiteral("diagnose"),
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
