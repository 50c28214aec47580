#include "shell/addresswatch.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/network.h"
#include "shell/listenportchooser.h"
#include "shell/listenportkeeper.h"
#include "shell/subnetdetector.h"

AddressWatch::AddressWatch(Parts parts, bool testOnly, std::function<QString()> addressSource, QObject *parent)
    : QObject(parent)
    , m_parts(parts)
    , m_localPeer(parts.network.localPeer())
    , m_testOnly(testOnly)
    , m_addressSource(std::move(addressSource))
{
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &AddressWatch::check);
    connect(&m_parts.portChooser, &ListenPortChooser::portChosen, this, &AddressWatch::moveToNewAddress);
}

void AddressWatch::start()
{
    m_timer.start();
}

void AddressWatch::stop()
{
    m_timer.stop();
}

void AddressWatch::check()
{
    if (m_testOnly
        || m_parts.settings.get(QLatin1String(SettingNames::EnableIPLookout), SettingDefaults::EnableIPLookout) == "0"
        || m_parts.portChooser.isChoosing())
        return;
    const QString current = m_addressSource();
    if (current == m_localPeer.address())
        return;
    m_localPeer.setAddress(current);
    m_localPeer.setSubnetClass(SubnetDetector::subnetClassOf(current));
    // The self-test runs from the event loop; the move ends in moveToNewAddress().
    m_parts.portChooser.chooseListenPortLater(m_localPeer.port(),
                                              m_parts.settings.get(QLatin1String(SettingNames::CustomPort)),
                                              m_testOnly, current);
}

void AddressWatch::moveToNewAddress(int port)
{
    m_localPeer.setPort(port == 0 ? ListenPortChooser::FallbackPort : port);
    // A listener bound to an address that is gone serves nobody.
    m_parts.portKeeper.startListening();
    // Announcements must go to the new subnet.
    Discovery &discovery = m_parts.network.discovery();
    if (discovery.isAnnouncing())
        discovery.configureDiscoverySocket();
    m_parts.network.connections().closeAll();
    m_parts.prompter.showBalloon(QStringLiteral("Quelm: Local IP Address Change"),
                                 QStringLiteral("Quelm has detected that you have a different network address. "
                                                "Your connections will be re-established as soon as possible."),
                                 Prompter::BalloonWarning);
}
