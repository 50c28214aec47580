#pragma once

#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// One command of quelm-cli: its arguments and options, and how their values
// become the fields of the request sent to quelmd. The description serves
// both the parser and the command's --help.
class CliCommand final
{
public:
    enum class ArgumentKind {
        Word,
        // Every remaining argument, joined by single spaces, so that unquoted
        // words and text work.
        Rest,
        // A folder path; a relative one is made absolute against the client's
        // working folder, since quelmd runs elsewhere.
        Folder,
        // A shared name, which begins with its root number and ":".
        SharedName,
        // Every remaining argument, each a shared name; more than one goes
        // to quelmd as a list.
        SharedNames,
    };

    struct Argument
    {
        QString name;
        QString field;
        QString description;
        ArgumentKind kind = ArgumentKind::Word;
        // When not empty, the only values accepted.
        QStringList choices = {};
        // An option that takes the argument's place: one of the two is given.
        QString insteadOption = {};
    };

    enum class OptionKind { Text, Seconds, Flag };

    struct Option
    {
        QString name;
        QString field;
        QString description;
        OptionKind kind = OptionKind::Text;
        QString valueName = {};
        bool required = false;
    };

    // What the request builder found: the request, or the usage error.
    struct Request
    {
        QJsonObject object;
        QString error;
    };

    static constexpr int MaxWaitSeconds = 3600;

    CliCommand(QString name, QString summary, QList<Argument> arguments = {}, QList<Option> options = {});

    const QString &name() const { return m_name; }
    const QString &summary() const { return m_summary; }
    // The command with its options and arguments, as the command list shows it.
    QString synopsis() const;
    // Adds the command's arguments and options to a parser whose global
    // options are already in place.
    void describe(QCommandLineParser &parser) const;
    // The request for a parser that has parsed this command's line; its
    // first positional argument is the command name.
    Request request(const QCommandLineParser &parser, const QString &workingFolder) const;

private:
    QString optionSynopsis() const;
    QString addArguments(const QStringList &values, const QString &workingFolder, QJsonObject &request) const;
    QString addOptions(const QCommandLineParser &parser, QJsonObject &request) const;
    // Takes the shared names of the last argument; `values` are all the arguments.
    QString addSharedNames(const QStringList &values, const QCommandLineParser &parser, QJsonObject &request) const;
    static QString argumentValue(const Argument &argument, const QStringList &values, qsizetype index,
                                 const QString &workingFolder, QString *error);
    static QString syntax(const Argument &argument);
    static bool isSharedName(const QString &value);

    QString m_name;
    QString m_summary;
    QList<Argument> m_arguments;
    QList<Option> m_options;
};
