#include "cli/commandline.h"
#include "cli/commandrunner.h"
#include "cli/exitcode.h"
#include "common/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The width of the terminal on standard output; 0 when it is not a terminal.
int terminalColumns()
{
    if (::isatty(STDOUT_FILENO) != 1)
        return 0;
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    const CommandLine::Parsed parsed = CommandLine::parse(QCoreApplication::arguments(), QDir::currentPath());
    if (parsed.outcome == CommandLine::Outcome::UsageError) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stderr);
        return static_cast<int>(ExitCode::Usage);
    }
    if (parsed.outcome != CommandLine::Outcome::Run) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return static_cast<int>(ExitCode::Success);
    }

    // Unbuffered, so that results and progress appear as they arrive.
    QFile out;
    QFile err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    CommandRunner runner(parsed.request, parsed.json, ProgramFolder::fromEnvironment(),
                         {&out, &err, terminalColumns()});
    QObject::connect(&runner, &CommandRunner::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    // Started from the event loop: a refused connection is reported at once,
    // and an exit asked for before exec() would be lost.
    QMetaObject::invokeMethod(&runner, &CommandRunner::start, Qt::QueuedConnection);
    return app.exec();
}
