#include "cli/commandline.h"

#include "cli/clicommand.h"
#include "cli/commandcatalog.h"

#include <QCommandLineParser>
#include <QJsonDocument>

namespace {

const QString JsonOption = QStringLiteral("json");
const QString HelpOption = QStringLiteral("help");
const QString VersionOption = QStringLiteral("version");

QString versionText()
{
    return QStringLiteral("quelm-cli " QUELM_VERSION_TEXT "\n");
}

} // namespace

CommandLine::Parsed CommandLine::parse(const QStringList &arguments, const QString &workingFolder)
{
    // The first pass only finds the command: everything after its name is
    // left for the command's own parser, which knows its options.
    const CommandCatalog catalog;
    QCommandLineParser parser;
    addGlobalOptions(parser);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setApplicationDescription(overviewHelp(catalog));
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above."),
                                 QStringLiteral("COMMAND"));
    const bool parsed = parser.parse(arguments);
    const QString help = parser.helpText();
    if (!parsed)
        return usageError(parser.errorText(), help);

    const QString name = parser.positionalArguments().value(0);
    const CliCommand *command = catalog.find(name);
    if (command != nullptr)
        return parseCommand(*command, arguments, workingFolder);
    if (parser.isSet(HelpOption))
        return {Outcome::Help, {}, false, help};
    if (parser.isSet(VersionOption))
        return {Outcome::Version, {}, false, versionText()};
    if (name.isEmpty())
        return usageError(QStringLiteral("no command given"), help);
    return usageError(QStringLiteral("unknown command \"") + name + QLatin1Char('"'), help);
}

CommandLine::Parsed CommandLine::parseCommand(const CliCommand &command, const QStringList &arguments,
                                              const QString &workingFolder)
{
    QCommandLineParser parser;
    addGlobalOptions(parser);
    command.describe(parser);
    const bool parsed = parser.parse(arguments);
    const QString help = parser.helpText();
    if (!parsed)
        return usageError(parser.errorText(), help);
    if (parser.isSet(HelpOption))
        return {Outcome::Help, {}, false, help};
    if (parser.isSet(VersionOption))
        return {Outcome::Version, {}, false, versionText()};

    const CliCommand::Request request = command.request(parser, workingFolder);
    if (!request.error.isEmpty())
        return usageError(request.error, help);
    // quelmd closes on a longer line without reading it, so it is refused here
    // where the user can be told why.
    if (QJsonDocument(request.object).toJson(QJsonDocument::Compact).size() + 1 > MaxRequestBytes)
        return usageError(QStringLiteral("the request is longer than quelmd accepts (64 KiB)"), help);
    return {Outcome::Run, request.object, parser.isSet(JsonOption), {}};
}

void CommandLine::addGlobalOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(JsonOption, QStringLiteral("Print quelmd's reply lines unchanged, one JSON "
                                                                   "object per line.")));
    parser.addOption(QCommandLineOption({QStringLiteral("h"), HelpOption}, QStringLiteral("Show this help.")));
    parser.addOption(QCommandLineOption({QStringLiteral("v"), VersionOption}, QStringLiteral("Show the version.")));
}

QString CommandLine::overviewHelp(const CommandCatalog &catalog)
{
    QString text = QStringLiteral("Controls the quelmd that runs in this user's program folder ($QUELM_HOME, else "
                                  "~/.local/share/Quelm).\n`quelm-cli COMMAND --help` describes one command.\n\n"
                                  "Commands:\n");
    for (const CliCommand &command : catalog.commands())
        text += QStringLiteral("  ") + command.synopsis() + QStringLiteral("\n      ") + command.summary()
                + QLatin1Char('\n');
    text += QStringLiteral("\nExit status: 0 done, 1 quelmd reports the command failed (or the download did not "
                           "complete),\n2 usage error, 3 quelmd is not running, 4 the connection to quelmd broke or "
                           "its reply was unreadable.");
    return text;
}

CommandLine::Parsed CommandLine::usageError(const QString &error, const QString &help)
{
    return {Outcome::UsageError, {}, false, QStringLiteral("quelm-cli: ") + error + QStringLiteral("\n\n") + help};
}
