#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class CliCommand;
class CommandCatalog;
class QCommandLineParser;

// Turns quelm-cli's arguments into the one request line for quelmd, or into
// the help, version or usage text to print instead. Nothing here prints or
// exits, so every outcome can be checked from a table.
class CommandLine final
{
public:
    enum class Outcome { Run, Help, Version, UsageError };

    struct Parsed
    {
        Outcome outcome = Outcome::UsageError;
        QJsonObject request;
        // Print quelmd's reply lines unchanged.
        bool json = false;
        // The help or version text, or for a usage error the error and the help that goes with it.
        QString text;
    };

    // The control protocol refuses longer request lines.
    static constexpr qsizetype MaxRequestBytes = 64 * 1024;

    CommandLine() = delete;

    // `arguments` begins with the program name, as QCoreApplication::arguments() does.
    static Parsed parse(const QStringList &arguments, const QString &workingFolder);

private:
    static Parsed parseCommand(const CliCommand &command, const QStringList &arguments, const QString &workingFolder);
    static void addGlobalOptions(QCommandLineParser &parser);
    static QString overviewHelp(const CommandCatalog &catalog);
    static Parsed usageError(const QString &error, const QString &help);
};
