// The real quelm program, started offscreen with its own home and a loopback
// address, as a person or a script would start it.
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/loopbackwebserver.h"
#include "support/testcopy.h"
#include "support/virtualdisplay.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

QProcessEnvironment environmentFor(const QString &home, const QString &address)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), home);
    environment.insert(QStringLiteral("QUELM_ADDRESS"), address);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

bool listensOn(const QString &address, int port)
{
    QTcpSocket probe;
    probe.connectToHost(address, static_cast<quint16>(port));
    return probe.waitForConnected(500);
}

} // namespace

class QuelmExecutableTest : public QObject
{
    Q_OBJECT

private slots:
    void startsAndListensOnItsAddress();
    void startsAsRootWithoutTheSandboxVariable();
};

void QuelmExecutableTest::startsAndListensOnItsAddress()
{
    QTemporaryDir home;
    const QString address = TestCopy::nextLoopbackAddress();
    // Settings prepared before the first start, as the README describes.
    SettingsStore(home.filePath(QStringLiteral("settings/user.ini")), home.filePath(QStringLiteral("settings/machine.ini")))
        .set(QLatin1String(SettingNames::Nickname), "carol");

    QProcess quelm;
    quelm.setProcessEnvironment(environmentFor(home.path(), address));
    quelm.start(QStringLiteral(QUELM_EXECUTABLE), {});
    QVERIFY(quelm.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(listensOn(address, 1971), 20000);
    QCOMPARE(quelm.state(), QProcess::Running);
    for (const char *folder : {"Downloads", "Incomplete", "ForResume"})
        QVERIFY2(QDir(home.path()).exists(QLatin1String(folder)), folder);
    const SettingsStore settings(home.filePath(QStringLiteral("settings/user.ini")),
                                 home.filePath(QStringLiteral("settings/machine.ini")));
    QCOMPARE(settings.get(QLatin1String(SettingNames::FirstRun)), QByteArray("1"));

    // SIGTERM, as a session or service manager ends it: an orderly end
    // that gives up the single-instance lock.
    quelm.terminate();
    const bool ended = quelm.waitForFinished(10000);
    if (!ended) {
        quelm.kill();
        quelm.waitForFinished(5000);
    }
    QVERIFY(ended);
    QCOMPARE(quelm.exitStatus(), QProcess::NormalExit);
    QCOMPARE(quelm.exitCode(), 0);
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("quelm.lock"))));
}

// As root the web engine refuses its sandbox and would end the program: the
// program must switch it off itself and show its window, with the Home tab's
// engine really loading the update page.
void QuelmExecutableTest::startsAsRootWithoutTheSandboxVariable()
{
    if (geteuid() != 0)
        QSKIP("runs only as root");
    if (!VirtualDisplay::isInstalled())
        QSKIP("needs Xvfb and xwininfo");
    VirtualDisplay display;
    QVERIFY(display.start());
    LoopbackWebServer server;
    server.setPage(QStringLiteral("/update"), "<html><title>Update</title></html>");
    QTemporaryDir home;
    SettingsStore(home.filePath(QStringLiteral("settings/user.ini")), home.filePath(QStringLiteral("settings/machine.ini")))
        .set(QLatin1String(SettingNames::Nickname), "root");

    QProcessEnvironment environment = environmentFor(home.path(), TestCopy::nextLoopbackAddress());
    environment.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    // The X11 keymap library hands strndup a buffer without a final NUL; the
    // read is bounded, but the sanitizer's strict string check stops on it.
    const QString sanitizerOptions = environment.value(QStringLiteral("ASAN_OPTIONS"));
    if (!sanitizerOptions.isEmpty())
        environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizerOptions + QStringLiteral(":strict_string_checks=0"));
    environment.insert(QStringLiteral("QUELM_UPDATE_URL"), server.address(QStringLiteral("/update")).toString());
    QProcess quelm;
    quelm.setProcessEnvironment(environment);
    quelm.start(QStringLiteral(QUELM_EXECUTABLE), {});
    QVERIFY(quelm.waitForStarted());
    const QString caption = QStringLiteral("Quelm Beta - Version ") + QLatin1String(QUELM_VERSION_TEXT);
    // Each look at the display runs a program, so the wait is bounded by the clock.
    QElapsedTimer clock;
    clock.start();
    while (!display.showsWindow(caption) && clock.elapsed() < 30000)
        QTest::qWait(200);
    QVERIFY(display.showsWindow(caption));
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(QStringLiteral("/update")), 1, 30000);
    QCOMPARE(quelm.state(), QProcess::Running);

    quelm.terminate();
    if (!quelm.waitForFinished(10000)) {
        quelm.kill();
        quelm.waitForFinished(5000);
    }
    QCOMPARE(quelm.readAllStandardError().count("without its sandbox"), 1);
}

QTEST_GUILESS_MAIN(QuelmExecutableTest)
#include "tst_quelmexecutable.moc"
