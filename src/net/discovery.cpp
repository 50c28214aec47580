#include "net/discovery.h"

#include "base/logcategories.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "common/dottedaddress.h"
#include "net/hostcache.h"
#include "net/localpeer.h"
#include "net/socketarray.h"

#include <QList>

Discovery::Discovery(SettingsStore &settings, SocketArray &sockets, const LocalPeer &localPeer,
                     std::function<void(const QString &)> connectTo, Context context, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_sockets(sockets)
    , m_connectTo(std::move(connectTo))
    , m_localPeer(localPeer)
    , m_context(std::move(context))
{
    m_scanTimer.setInterval(ScanIntervalMs);
    m_announceTimer.setInterval(AnnouncementIntervalMs);
    connect(&m_scanTimer, &QTimer::timeout, this, &Discovery::scanTick);
    connect(&m_announceTimer, &QTimer::timeout, this, &Discovery::udpTick);
    connect(&m_socket, &DiscoverySocket::dataArrival, this, &Discovery::onDataArrival);
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &Discovery::readAnnouncements);
    // Queued: the failure is reported from inside a socket call.
    connect(&m_socket, &DiscoverySocket::failed, this, &Discovery::configureDiscoverySocket, Qt::QueuedConnection);
}

void Discovery::configureDiscoverySocket()
{
    m_localNetwork = LocalNetwork::of(m_localPeer.address());
    m_socket.bind(m_localPeer.port());
}

void Discovery::closeDiscoverySocket()
{
    m_readTimer.stop();
    m_socket.close();
}

void Discovery::setScanning(bool on)
{
    if (on == isScanning())
        return;
    if (on) {
        m_scanTimer.start();
    } else {
        m_scanTimer.stop();
        setScanPosition(0, 0, 0);
    }
    emit scanningChanged(on);
}

void Discovery::startAnnouncing()
{
    configureDiscoverySocket();
    m_announceTimer.start();
    udpTick();
}

void Discovery::stop()
{
    m_scanTimer.stop();
    m_announceTimer.stop();
    closeDiscoverySocket();
}

void Discovery::udpTick()
{
    // A socket that could not be bound is tried again once per announcement.
    if (!m_socket.isBound())
        configureDiscoverySocket();
    const QByteArray datagram = announcement();
    m_socket.sendData(datagram, announcementDestination(), m_localPeer.port());
    qCDebug(lcNet).noquote() << "traffic announcement" << datagram.size();
}

QString Discovery::announcementDestination() const
{
    // Taken from the current address, so the announcement follows an address change.
    if (m_localPeer.subnetClass() == 1)
        return ownPrefix(3) + QLatin1String(".255");
    return ownPrefix(2) + QLatin1String(".255.255");
}

QByteArray Discovery::announcement() const
{
    return HostCache::shiftCodes('|' + m_localPeer.address().toLatin1(), AnnouncementShift).value_or(QByteArray());
}

QStringList Discovery::announcedAddresses(const QByteArray &datagram)
{
    const std::optional<QByteArray> text = HostCache::shiftCodes(datagram, -AnnouncementShift);
    if (!text)
        return {};
    const qsizetype bar = text->indexOf('|');
    if (bar < 0)
        return {};
    const QList<QByteArray> pieces = text->mid(bar + 1).split('|');
    QStringList addresses;
    for (qsizetype i = 0; i < pieces.size() && i < MaxPiecesPerDatagram; ++i) {
        if (DottedAddress::isValid(pieces[i]))
            addresses.append(QString::fromLatin1(pieces[i]));
    }
    return addresses;
}

void Discovery::onDataArrival()
{
    // Every wake-up of the event loop polls every descriptor, each control
    // link included: with hundreds of peers announcing, reading each
    // announcement as it comes would cost hundreds of such wake-ups per
    // announcement interval. What arrives during the pause after a pass waits
    // in the socket, which signals no more until it is read, and is read in
    // one pass at the pause's end.
    if (m_readTimer.isActive())
        return;
    const qint64 since = m_lastRead.isValid() ? m_lastRead.elapsed() : m_readPauseMs;
    if (since >= m_readPauseMs)
        readAnnouncements();
    else
        m_readTimer.start(int(m_readPauseMs - since));
}

void Discovery::readAnnouncements()
{
    m_readTimer.stop();
    m_lastRead.start();
    // Announcements are acted on whatever the number of peers: a copy that
    // stopped probing must still link to one that announces itself, or two
    // groups of five that formed apart would never meet. The connection
    // throttle and its back-off bound what announcements cost.
    for (int i = 0; i < MaxDatagramsPerPass && m_socket.hasPendingDatagram(); ++i) {
        const std::optional<DiscoverySocket::Datagram> datagram = m_socket.takeDatagram(MaxDatagramSize);
        if (!datagram || !m_localNetwork.accepts(datagram->sender, datagram->interfaceIndex))
            continue;
        for (const QString &address : announcedAddresses(datagram->data))
            m_connectTo(address);
    }
}

void Discovery::setReadPause(int ms)
{
    m_readPauseMs = ms;
    if (m_readTimer.isActive())
        m_readTimer.start(int(qMax<qint64>(0, ms - m_lastRead.elapsed())));
}

void Discovery::scanTick()
{
    if (m_context.testOnly || !enabled(SettingNames::EnableScanning, SettingDefaults::EnableScanning)
        || !enabled(SettingNames::EnableTCP, SettingDefaults::EnableTCP))
        return;
    reserveSocket();

    m_connectTo(ownPrefix(3) + QLatin1Char('.') + QString::number(m_scanHost));
    if (++m_scanHost > LastHost)
        m_scanHost = 1;
    if (m_localPeer.subnetClass() == 1)
        return;

    m_connectTo(ownPrefix(2) + QLatin1Char('.') + QString::number(m_scanBlock) + QLatin1Char('.')
                + QString::number(m_scanHost));
    if (++m_scanBlockTicks < TicksPerBlock)
        return;
    m_scanBlockTicks = 1;
    const int ownBlock = m_localPeer.octets()[2];
    const auto nextBlock = [ownBlock](int block) {
        do {
            block = block >= LastHost ? 1 : block + 1;
        } while (block == ownBlock);
        return block;
    };
    m_scanBlock = nextBlock(m_scanBlock);
    ++m_scanMisses;
    // Back to the first block that is not the own one: with the own block
    // numbered 1, block 1 itself would leave the wider probe nowhere to go.
    if (m_scanMisses >= MissesBeforeFirstBlock)
        m_scanBlock = nextBlock(0);
}

void Discovery::setScanPosition(int host, int block, int blockTicks)
{
    m_scanHost = host;
    m_scanBlock = block;
    m_scanBlockTicks = blockTicks;
}

void Discovery::noteConnected(const QString &remoteAddress)
{
    if (remoteAddress.startsWith(ownPrefix(2) + QLatin1Char('.') + QString::number(m_scanBlock) + QLatin1Char('.')))
        m_scanMisses = 0;
}

QString Discovery::addComputer(const QString &text)
{
    m_context.connectToTypedHost(text.trimmed());
    return QStringLiteral("0.0.0.0");
}

void Discovery::reserveSocket()
{
    // Keeps one element free for the probe and for peers that connect meanwhile.
    if (m_sockets.firstFreeIndex() == m_sockets.count() && m_sockets.count() <= ReserveUpToCount)
        m_sockets.ensure(m_sockets.count());
}

QString Discovery::ownPrefix(int count) const
{
    const std::array<int, 4> octets = m_localPeer.octets();
    QStringList numbers;
    for (int i = 0; i < count && i < 4; ++i)
        numbers.append(QString::number(octets[static_cast<size_t>(i)]));
    return numbers.join(QLatin1Char('.'));
}

bool Discovery::enabled(const char *name, const char *defaultValue) const
{
    return m_settings.get(QLatin1String(name), defaultValue) != "0";
}
