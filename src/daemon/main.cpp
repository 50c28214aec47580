#include "base/settingnames.h"
#include "chat/chat.h"
#include "common/programfolder.h"
#include "daemon/activitylog.h"
#include "daemon/controlcommands.h"
#include "daemon/controlserver.h"
#include "daemon/daemonprompter.h"
#include "shell/core.h"
#include "shell/coreconfig.h"
#include "shell/shutdownsignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

namespace {

// Exit statuses: 0 after an orderly end, 1 when start-up was refused or given
// up, 2 when the control socket could not be opened.
constexpr int Refused = 1;
constexpr int NoControlSocket = 2;

} // namespace

int main(int argc, char *argv[])
{
    // A log reader that goes away (a closed pipe) must not end the copy.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quelm"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vendrakos"));
    QCoreApplication::setApplicationVersion(QLatin1String(Core::Version));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quelm without a window: shares, searches, serves and chats on the local network.\n"
        "It uses the program folder $QUELM_HOME (else ~/.local/share/Quelm) and the address $QUELM_ADDRESS\n"
        "(else that of the default route); quelm-cli controls it. SIGTERM or Ctrl+C ends it in order."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("testonly"),
                      QStringLiteral("Listen on port 1200 without testing it, and keep UDP discovery off.")});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    CoreConfig config = CoreConfig::fromEnvironment(QCoreApplication::arguments(), app.applicationDirPath());
    // The core knows the switch in its one spelling, whichever the person typed.
    config.commandLine = parser.isSet(QStringLiteral("testonly")) ? QStringLiteral("-testonly") : QString();
    DaemonPrompter prompter(out, err, config.userSettingsPath);
    Core core(config, prompter);
    // No window ever shows a conversation here: the activity log prints each message.
    core.chat().setConversationLimit(0);
    // Signals that come during start-up are held until the copy runs.
    ShutdownSignal shutdownSignal;
    if (!core.start())
        return Refused;

    ControlServer control;
    QString error;
    const QString socketPath = ProgramFolder::controlSocketPath(config.programFolder);
    if (!control.listen(socketPath, &error)) {
        err << "Cannot open the control socket " << socketPath << ": " << error << Qt::endl;
        core.shutDown();
        return NoControlSocket;
    }
    ControlCommands commands(core);
    QObject::connect(&control, &ControlServer::requestReceived, &commands,
                     [&commands](ControlSession *session, const QJsonObject &request) { commands.run(*session, request); });
    ActivityLog log(core, out);
    QObject::connect(&shutdownSignal, &ShutdownSignal::received, &app, [&] {
        out << "shutting down" << Qt::endl;
        control.close();
        core.shutDown();
        QCoreApplication::exit(0);
    });
    shutdownSignal.start();
    out << "quelmd " << Core::Version << " running as " << core.settings().get(QLatin1String(SettingNames::Nickname))
        << " at " << core.localPeer().address() << ':' << core.localPeer().port() << Qt::endl;
    return QCoreApplication::exec();
}
