#include "shell/core.h"
#include "shell/coreconfig.h"
#include "shell/shutdownsignal.h"
#include "ui/appicon.h"
#include "ui/mainwindow.h"
#include "ui/splashwindow.h"
#include "ui/widgetprompter.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelm"));
    QApplication::setOrganizationName(QStringLiteral("Vendrakos"));
    QApplication::setApplicationVersion(QLatin1String(Core::Version));
    QApplication::setWindowIcon(AppIcon::make());
    // The window hides into the notification area; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    WidgetPrompter prompter;
    Core core(CoreConfig::fromEnvironment(QApplication::arguments(), QApplication::applicationDirPath()), prompter);
    MainWindow window(core);
    prompter.setMainWindow(&window);

    SplashWindow splash;
    ShellPresence &presence = core.presence();
    QObject::connect(&presence, &ShellPresence::splashShown, &splash, &QWidget::show);
    QObject::connect(&presence, &ShellPresence::splashStatusChanged, &splash, &SplashWindow::setStatus);
    QObject::connect(&presence, &ShellPresence::mainWindowShown, &app, [&splash, &window] {
        splash.close();
        window.show();
    });
    QObject::connect(&window, &MainWindow::exitRequested, &app, [&core] {
        core.shutDown();
        // Not quit(): it first asks every window to close, and the main window only hides.
        QApplication::exit(0);
    });
    // SIGTERM and SIGINT end the program as Exit does, once it runs.
    ShutdownSignal shutdownSignal;
    QObject::connect(&shutdownSignal, &ShutdownSignal::received, &window, &MainWindow::exitRequested);

    if (!core.start())
        return 0;
    shutdownSignal.start();
    return QApplication::exec();
}
