#include "shell/startupsequence.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "common/programfolder.h"
#include "common/processlookup.h"
#include "net/ownidentifier.h"
#include "shell/core.h"
#include "shell/drivewritetest.h"
#include "shell/networkfoldercheck.h"
#include "shell/subnetdetector.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace {

constexpr char ProductWebAddress[] = "https://www.quelm.example";

QString setting(const char *name)
{
    return QLatin1String(name);
}

} // namespace

StartupSequence::StartupSequence(Core &core)
    : m_core(core)
{
}

QString StartupSequence::firewallMessage()
{
    return QStringLiteral("Your network is pretty locked down! Quelm cannot function because of a FIREWALL, either "
                          "on your computer, or in the network.\r\n"
                          "Try restarting Quelm with the firewall disabled.\r\n"
                          "If the problem continues, Go to %1 and submit a \"lan-death report\" (there will be a "
                          "link on the main page).\r\n"
                          "Give This Code: NOPORT")
        .arg(QLatin1String(ProductWebAddress));
}

bool StartupSequence::run()
{
    startEarlyTimers();
    removeUpdaterLeftover();
    if (!refuseUnsafeEnvironment())
        return false;
    LocalPeer &self = m_core.localPeer();
    self.setId(OwnIdentifier::computeOwnId(
        m_core.config().programFolder,
        m_core.settings().regGetString(Hive::Machine, setting(SettingNames::CurrentVersionKeyPath), setting(SettingNames::ProductID), {})));
    m_core.presence().showSplash();
    self.setAddress(m_core.config().addressSource());
    if (!checkNetworkAdapter())
        return false;
    m_core.homePage().start();
    prepareFolders();
    if (!waitForNickname())
        return false;
    checkFirstRun();
    setCaptionAndAddress();
    if (!claimListenPort())
        return false;
    loadTables();
    startConnections();
    prepareInterface();
    showMainWindow();
    startDiscovery();
    m_core.transfers().startQueueTimer();
    m_core.addressWatch().start();
    return true;
}

void StartupSequence::removeUpdaterLeftover()
{
    const QDir folder(m_core.config().executableFolder);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (name.compare(QLatin1String("kestrune"), Qt::CaseInsensitive) == 0)
            QFile::remove(folder.filePath(name));
    }
}

bool StartupSequence::refuseUnsafeEnvironment()
{
    if (m_core.claimInstance() == Core::InstanceClaim::HeldByAnotherCopy) {
        refuse(QStringLiteral("Quelm is already running. (Check the icons by the clock on your taskbar, click the "
                              "arrow if you don't see it. If it's not there, hit CTRL+ALT+DEL and kill the process.)"));
        return false;
    }
    if (NetworkFolderCheck::isOnNetworkFileSystem(m_core.config().programFolder)) {
        refuse(QStringLiteral("Quelm cannot be run from a network drive. Please install it locally."));
        return false;
    }
    if (!checkConflictingProgram())
        return false;
    if (!DriveWriteTest::driveWriteTest(m_core.config().programFolder)) {
        refuse(QStringLiteral("Quelm does not have write access to the drive it is installed on. Please install it "
                              "on a local drive with write access."));
        return false;
    }
    return true;
}

bool StartupSequence::checkConflictingProgram()
{
    const auto conflictRuns = [this] {
        for (const QString &name : m_core.config().conflictingPrograms) {
            if (ProcessLookup::isProcessRunning(name))
                return true;
        }
        return false;
    };
    while (conflictRuns()) {
        const auto answer = m_core.prompter().messageBox(
            QStringLiteral("Korvi is running. Please close it before running Quelm."), Prompter::Buttons::RetryCancel,
            Prompter::Icon::Exclamation);
        if (answer != Prompter::Answer::Retry)
            return false;
    }
    return true;
}

bool StartupSequence::checkNetworkAdapter()
{
    const int firstOctet = m_core.localPeer().octets()[0];
    if (firstOctet == 0 && !m_core.config().testOnly()) {
        refuse(QStringLiteral("There is a problem with your network card and Quelm cannot function. Try restarting "
                              "your computer with your network connections hooked up to your computer."));
        return false;
    }
    if (firstOctet == 169) {
        m_core.prompter().messageBox(
            QStringLiteral("The network you are connected to has not given you an identification number. If you "
                           "have trouble connecting to others, and you are using Windows 2000 or Windows XP, try "
                           "disabling all network connections that you are not actively using in the \"Network "
                           "Connections\" section of Window's Control Panel. (restart Quelm after you do this)"),
            Prompter::Buttons::Ok, Prompter::Icon::Information);
    }
    return true;
}

void StartupSequence::prepareFolders()
{
    const QDir folder(m_core.config().programFolder);
    for (const char *name : {"Downloads", "Incomplete", "ForResume"})
        ProgramFolder::createPrivateFolder(folder.filePath(QLatin1String(name)));
    m_core.transfers().recoverPartialFiles();
    m_core.transfers().restoreParkedDownloads();
}

bool StartupSequence::waitForNickname()
{
    SettingsStore &settings = m_core.settings();
    while (settings.get(setting(SettingNames::Nickname)).trimmed().isEmpty()) {
        const QByteArray suggestion = "user" + QByteArray::number(QRandomGenerator::global()->bounded(1000000, 2000000));
        const std::optional<QByteArray> nickname = m_core.prompter().askFirstNickname(suggestion);
        if (!nickname)
            return false;
        settings.set(setting(SettingNames::Nickname), nickname->trimmed());
        settings.normaliseNickname();
    }
    return true;
}

void StartupSequence::checkFirstRun()
{
    SettingsStore &settings = m_core.settings();
    if (settings.get(setting(SettingNames::FirstRun)) != "1") {
        settings.set(setting(SettingNames::FirstRun), "1");
        m_firstRun = true;
    }
}

void StartupSequence::setCaptionAndAddress()
{
    m_core.settings().normaliseNickname();
    QString caption = QStringLiteral("Quelm Beta - Version %1").arg(QLatin1String(Core::Version));
    if (m_core.config().testOnly())
        caption.prepend(QLatin1String("##TESTONLY## "));
    m_core.presence().setCaption(caption);
    m_core.presence().setIpLabelText(QStringLiteral("This computer's IP is: ") + m_core.localPeer().address());
}

bool StartupSequence::claimListenPort()
{
    step(QStringLiteral("Finding available port..."));
    LocalPeer &self = m_core.localPeer();
    self.setPort(chooseListenPort());
    while (self.port() == 0) {
        const auto answer = m_core.prompter().messageBox(firewallMessage(), Prompter::Buttons::AbortRetryIgnore,
                                                         Prompter::Icon::None);
        if (answer == Prompter::Answer::Abort)
            return false;
        if (answer == Prompter::Answer::Ignore) {
            self.setPort(ListenPortChooser::FallbackPort);
            self.setPortUntested(true);
        }
        else
            self.setPort(chooseListenPort());
    }
    return true;
}

int StartupSequence::chooseListenPort()
{
    return m_core.portChooser().chooseListenPort(0, m_core.settings().get(setting(SettingNames::CustomPort)),
                                                 m_core.config().testOnly(), m_core.localPeer().address());
}

void StartupSequence::loadTables()
{
    step(QStringLiteral("Loading blocked users..."));
    m_core.network().blocking().loadBlockedList();
    step(QStringLiteral("Loading shared folders..."));
    m_core.sharing().sharedIndex().loadSharedFolders();
    step(QStringLiteral("Detecting subnet..."));
    m_core.localPeer().setSubnetClass(SubnetDetector::subnetClassOf(m_core.localPeer().address()));
}

void StartupSequence::startConnections()
{
    step(QStringLiteral("Initializing Connections..."));
    m_core.network().hostCache().loadHostCache();
    m_core.portKeeper().startListening();
    m_core.network().discovery().setScanPosition(1, 1, 1);
    m_core.status().start();
}

void StartupSequence::prepareInterface()
{
    step(QStringLiteral("Preparing Interface..."));
    m_core.network().userList().rebuildUserList();
    m_core.sharing().search().fillFileTypes();
    m_core.presence().installTrayIcon(QStringLiteral("Quelm %1").arg(QLatin1String(Core::Version)));
}

void StartupSequence::showMainWindow()
{
    m_core.status().update();
    m_core.presence().showMainWindow();
    if (m_firstRun)
        m_core.presence().welcomeFirstRun();
}

void StartupSequence::startEarlyTimers()
{
    // These run from the very start, so their handlers see a partly started copy.
    m_core.network().startKeepAlive();
    m_core.sharing().startRescanning();
    m_core.presence().showScanNotice(true);
    m_core.transfers().startProgressTimer();
}

void StartupSequence::startDiscovery()
{
    const SettingsStore &settings = m_core.settings();
    if (m_core.config().testOnly()
        || settings.get(setting(SettingNames::EnableScanning), SettingDefaults::EnableScanning) == "0"
        || settings.get(setting(SettingNames::EnableUDP), SettingDefaults::EnableUDP) == "0")
        return;
    m_core.network().discovery().startAnnouncing();
}

void StartupSequence::step(const QString &splashStatus)
{
    m_core.presence().setSplashStatus(splashStatus);
}

void StartupSequence::refuse(const QString &text)
{
    m_core.prompter().messageBox(text, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}
