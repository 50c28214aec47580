#include "daemon/linkwatch.h"

#include "common/controlprotocol.h"
#include "daemon/controlsession.h"
#include "daemon/peerresolver.h"
#include "shell/core.h"

#include <utility>

namespace Key = ControlProtocol::Key;

LinkWatch::LinkWatch(Core &core, ControlSession &session, QString address)
    : QObject(&session)
    , m_core(core)
    , m_session(session)
    , m_address(std::move(address))
{
    m_check.setInterval(CheckIntervalMs);
    connect(&m_check, &QTimer::timeout, this, &LinkWatch::check);
}

void LinkWatch::start()
{
    m_clock.start();
    m_startedAt = QDateTime::currentDateTimeUtc();
    m_core.network().connections().connectTo(m_address);
    m_check.start();
    check();
}

void LinkWatch::check()
{
    const PeerResolver::Outcome found = PeerResolver(m_core).resolve(m_address);
    if (found.peer && found.peer->linked) {
        m_check.stop();
        m_session.finish({{Key::Ok, true},
                          {Key::Nickname, found.peer->nickname},
                          {Key::Address, found.peer->address},
                          {Key::Id, found.peer->id}});
        return;
    }
    if (m_clock.elapsed() < WaitMs)
        return;
    m_check.stop();
    m_session.fail(QLatin1String("no link to ") + m_address + QLatin1String(" came up within ")
                   + QString::number(WaitMs / 1000) + QLatin1String(" s: ") + failureReason());
}

QString LinkWatch::failureReason() const
{
    if (m_address == m_core.localPeer().address())
        return QStringLiteral("that is this copy's own address");
    const auto &refused = m_core.network().connections().refusedLinks().entries();
    for (auto entry = refused.crbegin(); entry != refused.crend(); ++entry) {
        if (entry->address == m_address && entry->when >= m_startedAt.addSecs(-1))
            return QLatin1String("the link was refused: ") + entry->reason;
    }
    return QLatin1String("no Quelm peer answered on port ") + QString::number(m_core.localPeer().port())
           + QLatin1String(" (none runs there, a firewall drops the connection, or it was asked too recently)");
}
