#include "cli/clicommand.h"

#include "common/controlprotocol.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonValue>
#include <QRegularExpression>

#include <utility>

CliCommand::CliCommand(QString name, QString summary, QList<Argument> arguments, QList<Option> options)
    : m_name(std::move(name))
    , m_summary(std::move(summary))
    , m_arguments(std::move(arguments))
    , m_options(std::move(options))
{
}

QString CliCommand::synopsis() const
{
    QStringList parts{optionSynopsis()};
    for (const Argument &argument : m_arguments)
        parts.append(syntax(argument));
    return parts.join(QLatin1Char(' '));
}

QString CliCommand::optionSynopsis() const
{
    QStringList parts{m_name};
    for (const Option &option : m_options) {
        const QString text = QStringLiteral("--") + option.name
                             + (option.valueName.isEmpty() ? QString() : QLatin1Char(' ') + option.valueName);
        parts.append(option.required ? text : QLatin1Char('[') + text + QLatin1Char(']'));
    }
    return parts.join(QLatin1Char(' '));
}

void CliCommand::describe(QCommandLineParser &parser) const
{
    parser.setApplicationDescription(m_summary);
    // The command's options go into the usage line, the required ones above
    // all, which the parser would otherwise hide behind "[options]".
    parser.addPositionalArgument(m_name, QStringLiteral("The command."), optionSynopsis());
    for (const Argument &argument : m_arguments)
        parser.addPositionalArgument(argument.name, argument.description, syntax(argument));
    for (const Option &option : m_options) {
        const QString description = option.required ? option.description + QStringLiteral(" (required)")
                                                    : option.description;
        parser.addOption(QCommandLineOption(option.name, description, option.valueName));
    }
}

CliCommand::Request CliCommand::request(const QCommandLineParser &parser, const QString &workingFolder) const
{
    Request result;
    result.object.insert(ControlProtocol::Key::Command, m_name);
    const QStringList values = parser.positionalArguments().mid(1);
    const bool takesNames = !m_arguments.isEmpty() && m_arguments.constLast().kind == ArgumentKind::SharedNames;
    result.error = takesNames ? addSharedNames(values, parser, result.object)
                              : addArguments(values, workingFolder, result.object);
    if (result.error.isEmpty())
        result.error = addOptions(parser, result.object);
    if (!result.error.isEmpty())
        result.object = {};
    return result;
}

QString CliCommand::addArguments(const QStringList &values, const QString &workingFolder, QJsonObject &request) const
{
    const bool takesRest = !m_arguments.isEmpty() && m_arguments.constLast().kind == ArgumentKind::Rest;
    if (values.size() < m_arguments.size())
        return QStringLiteral("missing ") + m_arguments.at(values.size()).name;
    if (!takesRest && values.size() > m_arguments.size())
        return QStringLiteral("unexpected argument \"") + values.at(m_arguments.size()) + QLatin1Char('"');
    for (qsizetype index = 0; index < m_arguments.size(); ++index) {
        const Argument &argument = m_arguments.at(index);
        QString error;
        const QString value = argumentValue(argument, values, index, workingFolder, &error);
        if (!error.isEmpty())
            return error;
        request.insert(argument.field, value);
    }
    return {};
}

QString CliCommand::addSharedNames(const QStringList &values, const QCommandLineParser &parser,
                                  QJsonObject &request) const
{
    const Argument &argument = m_arguments.constLast();
    const bool replaced = !argument.insteadOption.isEmpty() && parser.isSet(argument.insteadOption);
    if (values.isEmpty() && !replaced)
        return QStringLiteral("missing ") + argument.name;
    if (!values.isEmpty() && replaced)
        return QStringLiteral("give either ") + argument.name + QStringLiteral(" or --") + argument.insteadOption;
    for (const QString &value : values) {
        if (!isSharedName(value))
            return argument.name + QStringLiteral(" begins with its root number, as search and browse list it, "
                                                  "for example 1:music\\song.mp3");
    }
    if (values.size() == 1)
        request.insert(argument.field, values.first());
    else if (values.size() > 1)
        request.insert(ControlProtocol::Key::Names, QJsonArray::fromStringList(values));
    return {};
}

QString CliCommand::argumentValue(const Argument &argument, const QStringList &values, qsizetype index,
                                  const QString &workingFolder, QString *error)
{
    const QString value = argument.kind == ArgumentKind::Rest ? values.mid(index).join(QLatin1Char(' '))
                                                              : values.at(index);
    if (value.trimmed().isEmpty()) {
        *error = QStringLiteral("empty ") + argument.name;
    } else if (!argument.choices.isEmpty() && !argument.choices.contains(value)) {
        *error = argument.name + QStringLiteral(" must be one of: ") + argument.choices.join(QStringLiteral(", "));
    } else if (argument.kind == ArgumentKind::Folder) {
        return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(value));
    } else if (argument.kind == ArgumentKind::SharedName && !isSharedName(value)) {
        *error = argument.name + QStringLiteral(" begins with its root number, as search and browse list it, "
                                                "for example 1:music\\song.mp3");
    }
    return value;
}

bool CliCommand::isSharedName(const QString &value)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,9}:."));
    return form.match(value).hasMatch();
}

QString CliCommand::addOptions(const QCommandLineParser &parser, QJsonObject &request) const
{
    for (const Option &option : m_options) {
        const QString shown = QStringLiteral("--") + option.name;
        if (!parser.isSet(option.name)) {
            if (option.required)
                return QStringLiteral("missing ") + shown + QLatin1Char(' ') + option.valueName;
            continue;
        }
        const QString value = parser.value(option.name);
        switch (option.kind) {
        case OptionKind::Flag:
            request.insert(option.field, true);
            break;
        case OptionKind::Text:
            if (value.trimmed().isEmpty())
                return QStringLiteral("empty ") + shown;
            request.insert(option.field, value);
            break;
        case OptionKind::Seconds: {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 1 || seconds > MaxWaitSeconds)
                return shown + QStringLiteral(" takes whole seconds from 1 to ") + QString::number(MaxWaitSeconds);
            request.insert(option.field, seconds);
            break;
        }
        }
    }
    return {};
}

QString CliCommand::syntax(const Argument &argument)
{
    if (!argument.choices.isEmpty())
        return argument.choices.join(QLatin1Char('|'));
    if (argument.kind == ArgumentKind::SharedNames)
        return QLatin1Char('[') + argument.name + QStringLiteral("...]");
    return argument.kind == ArgumentKind::Rest ? argument.name + QStringLiteral("...") : argument.name;
}
