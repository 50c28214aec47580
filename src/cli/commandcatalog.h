#pragma once

#include "cli/clicommand.h"

#include <QList>

// Every command quelm-cli knows, in the order its --help lists them.
class CommandCatalog final
{
public:
    CommandCatalog();

    const QList<CliCommand> &commands() const { return m_commands; }
    // The command of that exact name, or null.
    const CliCommand *find(const QString &name) const;

private:
    QList<CliCommand> m_commands;
};
