// Start-up of whole copies in this process, each on its own loopback address,
// with a scripted person answering the questions.
#include "base/settingnames.h"
#include "shell/core.h"
#include "shell/startupsequence.h"
#include "support/conflictingprogram.h"
#include "support/scriptedprompter.h"
#include "support/testcopy.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString AlreadyRunning = QStringLiteral(
    "Quelm is already running. (Check the icons by the clock on your taskbar, click the arrow if you don't see it. "
    "If it's not there, hit CTRL+ALT+DEL and kill the process.)");
const QString NoWriteAccess = QStringLiteral(
    "Quelm does not have write access to the drive it is installed on. Please install it on a local drive with "
    "write access.");
const QString NetworkCard = QStringLiteral(
    "There is a problem with your network card and Quelm cannot function. Try restarting your computer with your "
    "network connections hooked up to your computer.");
const QString ConflictRunning = QStringLiteral("Korvi is running. Please close it before running Quelm.");

bool canConnect(const QString &address, int port)
{
    QTcpSocket probe;
    probe.connectToHost(address, static_cast<quint16>(port));
    return probe.waitForConnected(2000);
}

// The configuration the program takes from QUELM_HOME and QUELM_ADDRESS.
CoreConfig configFromEnvironment(const QString &home, const QByteArray &address)
{
    qputenv("QUELM_HOME", home.toUtf8());
    qputenv("QUELM_ADDRESS", address);
    CoreConfig config = CoreConfig::fromEnvironment({QStringLiteral("quelm")}, home);
    // The address is read while the variable is set; the watch is not under test here.
    const QString detected = config.addressSource();
    config.addressSource = [detected] { return detected; };
    qunsetenv("QUELM_HOME");
    qputenv("QUELM_ADDRESS", "127.0.0.1");
    return config;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void startsListensAndShowsItsState();
    void welcomesOnlyTheFirstRun();
    void asksForANicknameUntilOneIsGiven();
    void endsWhenNoNicknameIsGiven();
    void refusesASecondCopyOnOneFolder();
    void refusesAFolderItCannotWrite();
    void refusesAnAddressStartingWithZero();
    void warnsOnceAboutASelfAssignedAddress();
    void waitsForTheConflictingProgram();
    void endsWhenTheConflictingProgramStays();
    void testOnlyUsesPort1200AndNoDiscovery();
    void removesTheUpdaterLeftover();
    void addressWatchMovesToTheNewAddress();
    void addressWatchCanBeSwitchedOff();
};

void StartupTest::startsListensAndShowsItsState()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    // An update page named in the settings gives the Home page its periodic reload
    // (without a window nothing is fetched).
    copy.presetUserValue(QLatin1String(SettingNames::UpdateURL), "http://127.0.0.1:9/update");
    ScriptedPrompter person;
    Core core(copy.config(), person);
    QSignalSpy splash(&core.presence(), &ShellPresence::splashStatusChanged);
    QSignalSpy shown(&core.presence(), &ShellPresence::mainWindowShown);
    QSignalSpy tray(&core.presence(), &ShellPresence::trayIconInstalled);

    QVERIFY(core.start());

    QStringList statuses;
    for (const auto &arguments : splash)
        statuses.append(arguments.at(0).toString());
    QCOMPARE(statuses, QStringList({"Finding available port...", "Loading blocked users...",
                                    "Loading shared folders...", "Detecting subnet...", "Initializing Connections...",
                                    "Preparing Interface..."}));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(tray.at(0).at(0).toString(), QStringLiteral("Quelm 0.14.1"));
    QCOMPARE(core.presence().caption(), QStringLiteral("Quelm Beta - Version 0.14.1"));
    QCOMPARE(core.presence().ipLabelText(), "This computer's IP is: " + copy.address());
    QVERIFY(person.boxes.isEmpty());
    for (const char *folder : {"Downloads", "Incomplete", "ForResume"})
        QVERIFY2(QDir(copy.home()).exists(QLatin1String(folder)), folder);

    QCOMPARE(core.localPeer().port(), 1971);
    QCOMPARE(core.network().listenSocket().state(), int(SocketElement::Listening));
    QVERIFY(canConnect(copy.address(), 1971));
    QVERIFY(!core.localPeer().id().isEmpty());

    // Every periodic part of the copy runs once start-up is over.
    QVERIFY(core.network().isKeepingAlive());
    QVERIFY(core.sharing().isRescanning());
    QVERIFY(core.presence().isScanNoticeBlinking());
    QVERIFY(core.homePage().isTicking());
    QVERIFY(core.transfers().progressTimer().isActive());
    QVERIFY(core.status().isRefreshing());
    QVERIFY(core.network().discovery().isScanning());
    QVERIFY(core.network().discovery().isAnnouncing());
    QVERIFY(core.transfers().queueTimer().isActive());
    QVERIFY(core.addressWatch().isWatching());
}

void StartupTest::welcomesOnlyTheFirstRun()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    {
        ScriptedPrompter person;
        Core core(copy.config(), person);
        QVERIFY(core.start());
        QVERIFY(core.presence().isFirstRun());
        QVERIFY(core.presence().isWelcomePending());
        QTRY_COMPARE_WITH_TIMEOUT(person.balloons.size(), 1, 8000);
        QCOMPARE(person.balloons[0].title, QStringLiteral("Welcome to Quelm!"));
        QCOMPARE(person.balloons[0].iconFlags, Prompter::BalloonWarning);
        QVERIFY(!core.presence().isWelcomePending());
    }
    ScriptedPrompter person;
    Core core(copy.config(), person);
    QVERIFY(core.start());
    QVERIFY(!core.presence().isFirstRun());
    QVERIFY(!core.presence().isWelcomePending());
    QCOMPARE(core.settings().get(QLatin1String(SettingNames::FirstRun)), QByteArray("1"));
}

void StartupTest::asksForANicknameUntilOneIsGiven()
{
    TestCopy copy;
    ScriptedPrompter person;
    person.nicknames = {QByteArray("   "), QByteArray("Bob|the?builder")};
    Core core(copy.config(), person);
    QVERIFY(core.start());
    QCOMPARE(person.nicknameSuggestions.size(), 2);
    const QByteArray suggestion = person.nicknameSuggestions[0];
    QVERIFY(suggestion.startsWith("user"));
    const int number = suggestion.mid(4).toInt();
    QVERIFY(number >= 1000000 && number <= 1999999);
    QCOMPARE(core.settings().get(QLatin1String(SettingNames::Nickname)), QByteArray("Bob the builder"));
}

void StartupTest::endsWhenNoNicknameIsGiven()
{
    TestCopy copy;
    ScriptedPrompter person;
    Core core(copy.config(), person);
    QSignalSpy shown(&core.presence(), &ShellPresence::mainWindowShown);
    QVERIFY(!core.start());
    QCOMPARE(person.nicknameSuggestions.size(), 1);
    QCOMPARE(shown.count(), 0);
    QCOMPARE(core.network().listenSocket().state(), int(SocketElement::Closed));
}

void StartupTest::refusesASecondCopyOnOneFolder()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter first;
    Core running(copy.config(), first);
    QVERIFY(running.start());

    ScriptedPrompter second;
    CoreConfig config = copy.config();
    config.addressSource = [] { return TestCopy::nextLoopbackAddress(); };
    Core refused(config, second);
    QSignalSpy splash(&refused.presence(), &ShellPresence::splashShown);
    QVERIFY(!refused.start());
    QCOMPARE(second.boxTexts(), QStringList{AlreadyRunning});
    QCOMPARE(second.boxes[0].icon, Prompter::Icon::Exclamation);
    QCOMPARE(splash.count(), 0);
}

void StartupTest::refusesAFolderItCannotWrite()
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QString folder = dir.path();
    QFile probe(folder + QLatin1String("/probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        // Running as root: permissions do not stop writing, a pseudo file system does.
        probe.close();
        probe.remove();
        folder = QStringLiteral("/proc/self/fdinfo");
    }
    ScriptedPrompter person;
    CoreConfig config = CoreConfig::forHome(folder, TestCopy::nextLoopbackAddress());
    config.userSettingsPath = dir.path() + QLatin1String("/user.ini");
    Core core(config, person);
    QVERIFY(!core.start());
    QCOMPARE(person.boxTexts(), QStringList{NoWriteAccess});
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void StartupTest::refusesAnAddressStartingWithZero()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter person;
    const CoreConfig config = configFromEnvironment(copy.home(), "0.0.0.0");
    Core core(config, person);
    QVERIFY(!core.start());
    QCOMPARE(person.boxTexts(), QStringList{NetworkCard});
    QCOMPARE(core.network().listenSocket().state(), int(SocketElement::Closed));
    QVERIFY(!QDir(copy.home()).exists(QStringLiteral("Downloads")));
}

void StartupTest::warnsOnceAboutASelfAssignedAddress()
{
    // 169.254.x.y is not an address of this machine: nothing can be bound to
    // it, so the port search fails without sending anything and the person
    // chooses Ignore at the firewall question.
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter person;
    person.answers = {Prompter::Answer::Ok, Prompter::Answer::Ignore};
    const CoreConfig config = configFromEnvironment(copy.home(), "169.254.10.20");
    Core core(config, person);
    QVERIFY(core.start());
    QCOMPARE(person.boxes.size(), 2);
    QVERIFY(person.boxes[0].text.startsWith("The network you are connected to has not given you an identification"));
    QCOMPARE(person.boxes[0].icon, Prompter::Icon::Information);
    QCOMPARE(person.boxes[1].text, StartupSequence::firewallMessage());
    QCOMPARE(person.boxes[1].buttons, Prompter::Buttons::AbortRetryIgnore);
    QCOMPARE(core.localPeer().port(), 1971);
    QVERIFY(core.portKeeper().isRetryPending());
}

void StartupTest::waitsForTheConflictingProgram()
{
    ConflictingProgram conflicting;
    QVERIFY(conflicting.started());

    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter person;
    int boxesSeen = 0;
    person.onBox = [&](const ScriptedPrompter::Box &) {
        // Retry while the program still runs shows the box again; after it ends, start-up goes on.
        if (++boxesSeen == 2) {
            conflicting.end();
        }
    };
    CoreConfig config = copy.config();
    config.conflictingPrograms = {conflicting.name().toUpper()};
    Core core(config, person);
    QVERIFY(core.start());
    QCOMPARE(person.boxTexts(), QStringList({ConflictRunning, ConflictRunning}));
    QCOMPARE(person.boxes[0].buttons, Prompter::Buttons::RetryCancel);
}

void StartupTest::endsWhenTheConflictingProgramStays()
{
    ConflictingProgram conflicting;
    QVERIFY(conflicting.started());

    TestCopy copy;
    ScriptedPrompter person;
    person.answers = {Prompter::Answer::Cancel};
    CoreConfig config = copy.config();
    config.conflictingPrograms = {conflicting.name().toLower()};
    Core core(config, person);
    QVERIFY(!core.start());
    QCOMPARE(person.boxTexts(), QStringList{ConflictRunning});
}

void StartupTest::testOnlyUsesPort1200AndNoDiscovery()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    copy.presetUserValue(QLatin1String(SettingNames::CustomPort), "2500");
    ScriptedPrompter person;
    CoreConfig config = copy.config();
    config.commandLine = QStringLiteral("-TestOnly");
    Core core(config, person);
    QVERIFY(core.start());
    QCOMPARE(core.localPeer().port(), 1200);
    QVERIFY(core.presence().caption().startsWith("##TESTONLY## Quelm Beta"));
    QVERIFY(!core.network().discovery().isAnnouncing());
    QVERIFY(canConnect(copy.address(), 1200));
}

void StartupTest::removesTheUpdaterLeftover()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    QTemporaryDir programs;
    for (const char *name : {"Kestrune", "kestrune.keep"}) {
        QFile file(programs.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ScriptedPrompter person;
    CoreConfig config = copy.config();
    config.executableFolder = programs.path();
    Core core(config, person);
    QVERIFY(core.start());
    QCOMPARE(QDir(programs.path()).entryList(QDir::Files), QStringList{"kestrune.keep"});
}

void StartupTest::addressWatchMovesToTheNewAddress()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter person;
    QString address = copy.address();
    CoreConfig config = copy.config();
    config.addressSource = [&address] { return address; };
    Core core(config, person);
    QVERIFY(core.start());
    const QByteArray id = core.localPeer().id();

    core.addressWatch().check();
    QVERIFY(person.balloons.isEmpty());

    // A control connection that must be dropped by the change.
    QTcpServer peer;
    const QString peerAddress = TestCopy::nextLoopbackAddress();
    QVERIFY(peer.listen(QHostAddress(peerAddress), 1971));
    const int slot = 3;
    QVERIFY(core.network().sockets().ensure(slot));
    core.network().sockets().at(slot)->connectTo(peerAddress, 1971);
    QTRY_COMPARE(core.network().sockets().at(slot)->state(), int(SocketElement::Connected));

    address = TestCopy::nextLoopbackAddress();
    // The port self-test must not run events inside the timer's handler: a
    // timer due now fires only after the tick has returned.
    bool eventRanInside = false;
    QTimer::singleShot(0, &core, [&eventRanInside] { eventRanInside = true; });
    core.addressWatch().check();
    QVERIFY(!eventRanInside);
    QCOMPARE(core.localPeer().address(), address);
    QVERIFY(core.portChooser().isChoosing());
    core.addressWatch().check();
    QTRY_VERIFY_WITH_TIMEOUT(!person.balloons.isEmpty(), 10000);
    QCOMPARE(core.localPeer().port(), 1971);
    QCOMPARE(core.localPeer().id(), id);
    QCOMPARE(core.network().sockets().at(slot)->state(), int(SocketElement::Closed));
    QCOMPARE(person.balloonTitles(), QStringList{"Quelm: Local IP Address Change"});
    QCOMPARE(person.balloons[0].iconFlags, Prompter::BalloonWarning);
    QVERIFY(canConnect(address, 1971));
    QVERIFY(!canConnect(copy.address(), 1971));
}

void StartupTest::addressWatchCanBeSwitchedOff()
{
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alice");
    ScriptedPrompter person;
    QString address = copy.address();
    CoreConfig config = copy.config();
    config.addressSource = [&address] { return address; };
    Core core(config, person);
    QVERIFY(core.start());
    core.settings().set(QLatin1String(SettingNames::EnableIPLookout), "0");
    address = TestCopy::nextLoopbackAddress();
    core.addressWatch().check();
    QCOMPARE(core.localPeer().address(), copy.address());
    QVERIFY(person.balloons.isEmpty());
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
