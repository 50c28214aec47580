#include "shell/core.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "common/programfolder.h"
#include "net/descriptorlimit.h"
#include "shell/exitquestion.h"
#include "shell/startupsequence.h"


namespace {

constexpr char LockFileName[] = "quelm.lock";

} // namespace

Core::Core(CoreConfig config, Prompter &prompter, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_prompter(prompter)
    , m_settings(m_config.userSettingsPath, m_config.machineSettingsPath)
    , m_network(m_settings, prompter, networkContext())
    , m_sharing(m_settings, m_config.programFolder, m_network.connections(), m_network.localPeer())
    , m_transfers(m_settings, prompter, m_network.connections(), m_sharing.search(), m_sharing.quietSearch(),
                  m_network.localPeer(), m_config.programFolder,
                  {[this] { return m_sharing.sharedIndex().snapshot(); },
                   [this](const QString &path) { return m_sharing.sharedIndex().fileSignature(path); }})
    , m_chat(m_network.connections(), m_network.localPeer())
    , m_portKeeper(m_network.listenSocket(), prompter, m_network.localPeer())
    , m_addressWatch({m_settings, prompter, m_network, m_portChooser, m_portKeeper}, m_config.testOnly(),
                     m_config.addressSource)
    , m_status(m_network.connections(), m_network.discovery(), [this] { return sharedFileCount(); })
    , m_homePage(homePageAddresses())
    , m_presence(prompter)
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
    connect(&search, &SearchService::currentQueryChanged, &dispatcher, &Dispatcher::setCurrentQuery);
    QuietSignatureSearch &quietSearch = m_sharing.quietSearch();
    connect(&dispatcher, &Dispatcher::quietResultReceived, this, [this, &quietSearch](int index, const QByteArray &payload) {
        quietSearch.takeResult(m_network.connections().element(index)->remoteHostIP(), payload);
    });
    connect(&quietSearch, &QuietSignatureSearch::queryChanged, &dispatcher, &Dispatcher::setQuietQuery);
    // Peers learn the new shared count as soon as a rebuild is in place.
    connect(&m_sharing.sharedIndex(), &SharedIndex::rebuilt, &dispatcher, &Dispatcher::announceToAll);
    connect(&m_network.userList(), &UserListModel::rebuilt, &m_status, &StatusDisplay::update);
    connect(&m_network.discovery(), &Discovery::scanningChanged, &m_presence, &ShellPresence::showScanNotice);

    ControlConnections &connections = m_network.connections();
    UploadServer &uploads = m_transfers.uploads();
    connect(&connections, &ControlConnections::transferRequest, &uploads, &UploadServer::serveTransferRequest);
    connect(&connections, &ControlConnections::acceptedConnectionClosed, &uploads, &UploadServer::endQueueEntries);
    // Peers that ask are told the digests the background hashing found.
    m_transfers.digests().setHashLookup(&m_sharing.hashLookup());
    connect(&dispatcher, &Dispatcher::chatReceived, &m_chat, &Chat::appendChatLine);
    connect(&dispatcher, &Dispatcher::imReceived, &m_chat, [this](const QString &address, const QByteArray &text) {
        m_chat.openMessageWindow(address, text, false);
    });
    connect(&dispatcher, &Dispatcher::imTypingReceived, &m_chat, &Chat::showTyping);
    // Every rebuild of the user list ends with the conversations' connection state.
    connect(&m_network.userList(), &UserListModel::rebuilt, &m_chat, &Chat::refreshMessageWindows);
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
    m_presence.stop();
    m_homePage.stop();
    m_status.stop();
    m_addressWatch.stop();
    m_sharing.stop();
    m_portKeeper.stop();
    // Closing links ends queue entries; uploads must be stopped before, or
    // each ended entry would start the next.
    m_transfers.shutDown();
    m_network.stop();
}

bool Core::confirmExit()
{
    // Running downloads are parked, not lost: there is nothing to ask.
    if (m_transfers.keepsUnfinishedDownloads())
        return true;
    return ExitQuestion::confirm(m_prompter, runningDownloadCount());
}

Core::InstanceClaim Core::claimInstance()
{
    ProgramFolder::createPrivateFolder(m_config.programFolder);
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

HomePage::Addresses Core::homePageAddresses() const
{
    HomePage::Addresses addresses = m_config.homePageAddresses;
    if (addresses.updateCheck.isEmpty())
        addresses.updateCheck = QUrl(QString::fromUtf8(m_settings.get(QLatin1String(SettingNames::UpdateURL))));
    return addresses;
}

Network::Context Core::networkContext()
{
    Network::Context context;
    context.testOnly = m_config.testOnly();
    context.sharedFileCount = [this] { return sharedFileCount(); };
    return context;
}
