#include "shell/core.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "net/descriptorlimit.h"
#include "shell/exitquestion.h"
#include "shell/startupsequence.h"
#include "shell/subnetdetector.h"

#include <QDir>

namespace {

constexpr char LockFileName[] = "quelm.lock";

} // namespace

Core::Core(CoreConfig config, Prompter &prompter, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_prompter(prompter)
    , m_settings(m_config.userSettingsPath, m_config.machineSettingsPath)
    , m_network(m_settings, prompter, networkContext())
    , m_sharing(m_settings, m_config.programFolder, m_network.connections(), sharingContext())
    , m_transfers(m_settings, prompter, m_network.connections(), m_config.programFolder, transfersContext())
    , m_chat(m_settings, m_network.connections(), chatContext())
    , m_portChooser(m_network.sockets())
    , m_portKeeper(m_network.listenSocket(), prompter, [this] { return m_listenPort; })
    , m_status(m_network.connections(), m_timers, statusContext())
    , m_homePage(m_config.homePageAddresses)
{
    wireSignals();
}

void Core::wireSignals()
{
    Dispatcher &dispatcher = m_network.dispatcher();
    SearchService &search = m_sharing.search();
    connect(&dispatcher, &Dispatcher::searchReceived, &search, &SearchService::answerSearch);
    connect(&dispatcher, &Dispatcher::resultReceived, this, [this, &search](int index, const QByteArray &payload) {
        search.showResult(m_network.connections().element(index)->remoteHostIP(), payload);
    });
    // Peers learn the new shared count as soon as a rebuild is in place.
    connect(&m_sharing.sharedIndex(), &SharedIndex::rebuilt, &dispatcher, &Dispatcher::announceToAll);
    connect(&m_network.userList(), &UserListModel::rebuilt, &m_status, &StatusDisplay::update);
    ControlConnections &connections = m_network.connections();
    UploadServer &uploads = m_transfers.uploads();
    connect(&connections, &ControlConnections::transferRequest, &uploads, &UploadServer::serveTransferRequest);
    connect(&connections, &ControlConnections::acceptedConnectionClosed, &uploads, &UploadServer::endQueueEntries);
    connect(&m_transfers, &Transfers::resumeSearchRequested, &search, &SearchService::searchFromTab);
    connect(&dispatcher, &Dispatcher::chatReceived, &m_chat, &Chat::appendChatLine);
    connect(&dispatcher, &Dispatcher::imReceived, &m_chat, [this](const QString &address, const QByteArray &text) {
        m_chat.openMessageWindow(address, text, false);
    });
    connect(&dispatcher, &Dispatcher::imTypingReceived, &m_chat, &Chat::showTyping);
    // Every rebuild of the user list ends with the conversations' connection state.
    connect(&m_network.userList(), &UserListModel::rebuilt, &m_chat, &Chat::refreshMessageWindows);

    connect(&m_timers.alive, &QTimer::timeout, this, &Core::onAliveTick);
    connect(&m_timers.blink, &QTimer::timeout, this, &Core::onBlinkTick);
    connect(&m_timers.update, &QTimer::timeout, &m_status, &StatusDisplay::update);
    connect(&m_timers.scan, &QTimer::timeout, &m_network.discovery(), &Discovery::scanTick);
    connect(&m_timers.udp, &QTimer::timeout, &m_network.discovery(), &Discovery::udpTick);
    connect(&m_timers.download, &QTimer::timeout, &m_transfers.downloader(), &Downloader::downloadTick);
    connect(&m_timers.que, &QTimer::timeout, &uploads, &UploadServer::queTick);
    connect(&m_timers.browser, &QTimer::timeout, &m_homePage, &HomePage::browserTick);
    connect(&m_timers.firstRunMessage, &QTimer::timeout, this, &Core::onFirstRunMessage);
    connect(&m_timers.ipCheckup, &QTimer::timeout, this, &Core::ipCheckupTick);
    connect(&m_portChooser, &ListenPortChooser::portChosen, this, &Core::moveToNewAddress);
    // A listener that closes or fails is claimed again at once.
    connect(&m_network.listenSocket(), &SocketElement::closed, this, &Core::onListenSocketLost);
    connect(&m_network.listenSocket(), &SocketElement::errorOccurred, this, &Core::onListenSocketLost);
}

Core::~Core()
{
    shutDown();
}

bool Core::start()
{
    // Connections are bounded by the descriptor limit: the higher, the more peers.
    DescriptorLimit::raiseSoftToHard();
    return StartupSequence(*this).run();
}

void Core::shutDown()
{
    m_timers.stopAll();
    m_network.discovery().closeDiscoverySocket();
    m_portKeeper.stop();
    m_network.connections().closeAll();
    m_transfers.shutDown();
}

bool Core::confirmExit()
{
    return ExitQuestion::confirm(m_prompter, runningDownloadCount());
}

Core::InstanceClaim Core::claimInstance()
{
    QDir().mkpath(m_config.programFolder);
    auto lock = std::make_unique<QLockFile>(m_config.programFolder + QLatin1Char('/') + QLatin1String(LockFileName));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_instanceLock = std::move(lock);
        return InstanceClaim::Claimed;
    }
    // Only a lock held by a live copy means "already running"; a folder where
    // no lock can be made is left to the write test.
    return lock->error() == QLockFile::LockFailedError ? InstanceClaim::HeldByAnotherCopy : InstanceClaim::Unavailable;
}

int Core::chooseListenPort(int current)
{
    return m_portChooser.chooseListenPort(current, m_settings.get(QLatin1String(SettingNames::CustomPort)),
                                          m_config.testOnly(), m_localAddress);
}

void Core::setLocalAddress(const QString &address)
{
    m_localAddress = address;
    m_network.setLocalIP(address);
    m_transfers.transferSockets().setLocalIP(address);
    m_localOctets.fill(0);
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        m_localOctets[static_cast<size_t>(i)] = parts[i].toInt();
}

void Core::detectSubnet()
{
    m_subnetClass = SubnetDetector::subnetClass(SubnetDetector::getSubnetMask(m_localAddress));
}

void Core::setCaption(const QString &caption)
{
    m_caption = caption;
    emit captionChanged(caption);
}

void Core::setIpLabelText(const QString &text)
{
    m_ipLabelText = text;
    emit ipLabelChanged(text);
}

void Core::showSplash()
{
    emit splashShown();
}

void Core::setSplashStatus(const QString &status)
{
    emit splashStatusChanged(status);
}

void Core::installTrayIcon(const QString &tip)
{
    emit trayIconInstalled(tip);
}

void Core::showMainWindow()
{
    emit mainWindowShown();
}

void Core::onBlinkTick()
{
    m_blinkLabelVisible = !m_blinkLabelVisible;
    emit blinkLabelVisibilityChanged(m_blinkLabelVisible);
}

void Core::onFirstRunMessage()
{
    m_timers.firstRunMessage.stop();
    m_prompter.showBalloon(QStringLiteral("Welcome to Quelm!"),
                           QStringLiteral("If you have any trouble using Quelm, consult the \"Home\" section or "
                                          "the Quelm website for internet links to Technical Support."),
                           Prompter::BalloonWarning);
}

void Core::ipCheckupTick()
{
    if (m_config.testOnly()
        || m_settings.get(QLatin1String(SettingNames::EnableIPLookout), SettingDefaults::EnableIPLookout) == "0"
        || m_portChooser.isChoosing())
        return;
    const QString current = m_config.addressSource();
    if (current == m_localAddress)
        return;
    setLocalAddress(current);
    detectSubnet();
    // The self-test runs from the event loop; the move ends in moveToNewAddress().
    m_portChooser.chooseListenPortLater(m_listenPort, m_settings.get(QLatin1String(SettingNames::CustomPort)),
                                        m_config.testOnly(), m_localAddress);
}

void Core::moveToNewAddress(int port)
{
    m_listenPort = port == 0 ? FallbackPort : port;
    // A listener bound to an address that is gone serves nobody.
    m_portKeeper.startListening();
    // Announcements must go to the new subnet.
    if (m_timers.udp.isActive())
        m_network.discovery().configureDiscoverySocket();
    m_network.connections().closeAll();
    m_prompter.showBalloon(QStringLiteral("Quelm: Local IP Address Change"),
                           QStringLiteral("Quelm has detected that you have a different network address. Your "
                                          "connections will be re-established as soon as possible."),
                           Prompter::BalloonWarning);
}

Network::Context Core::networkContext()
{
    Network::Context context;
    context.ownId = [this] { return m_ownId; };
    context.listenPort = [this] { return m_listenPort; };
    context.localAddress = [this] { return m_localAddress; };
    context.localOctets = [this] { return m_localOctets; };
    context.subnetClass = [this] { return m_subnetClass; };
    context.testOnly = [this] { return m_config.testOnly(); };
    context.scanRunning = [this] { return m_timers.scan.isActive(); };
    context.sharedFileCount = [this] { return sharedFileCount(); };
    return context;
}

Sharing::Context Core::sharingContext()
{
    Sharing::Context context;
    context.announceToAll = [this] { m_network.dispatcher().announceToAll(); };
    context.localAddress = [this] { return m_localAddress; };
    context.setCurrentQuery = [this](const QByteArray &query) { m_network.dispatcher().setCurrentQuery(query); };
    return context;
}

Chat::Context Core::chatContext()
{
    Chat::Context context;
    context.announceToAll = [this] { m_network.dispatcher().announceToAll(); };
    return context;
}

Transfers::Context Core::transfersContext()
{
    Transfers::Context context;
    context.listenPort = [this] { return m_listenPort; };
    context.snapshot = [this] { return m_sharing.sharedIndex().snapshot(); };
    context.fileSignature = [this](const QString &path) { return m_sharing.sharedIndex().fileSignature(path); };
    return context;
}

StatusDisplay::Context Core::statusContext()
{
    StatusDisplay::Context context;
    context.sharedFileCount = [this] { return sharedFileCount(); };
    context.resetScanPosition = [this] { m_network.discovery().setScanPosition(0, 0, 0); };
    context.hideBlinkLabel = [this] { hideBlinkLabel(); };
    return context;
}

void Core::hideBlinkLabel()
{
    m_blinkLabelVisible = false;
    emit blinkLabelVisibilityChanged(false);
}

void Core::onAliveTick()
{
    m_network.connections().keepAliveTick();
    // Every fourth tick, about every two minutes, the index is rebuilt; peers
    // hear this copy again once the new index is in place.
    if (++m_aliveTicks > 3) {
        m_aliveTicks = 0;
        m_sharing.sharedIndex().loadSharedFolders();
    }
}

void Core::onListenSocketLost()
{
    m_portKeeper.startListening();
}
