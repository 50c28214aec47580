#include "transfer/parkedresumer.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "transfer/transfers.h"

ParkedResumer::ParkedResumer(Transfers &transfers, ControlConnections &connections, QObject *parent)
    : QObject(parent)
    , m_transfers(transfers)
    , m_connections(connections)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(GatherMs);
    m_sourceWait.setSingleShot(true);
    m_sourceWait.setInterval(SourceWaitMs);
    connect(&connections, &ControlConnections::peerIdentified, this, [this] {
        if (!m_transfers.parking().parkedIds().isEmpty())
            m_gather.start();
    });
    connect(&m_gather, &QTimer::timeout, this, [this] {
        if (m_looking >= 0)
            m_again = true;
        else
            startRound();
    });
    connect(&m_sourceWait, &QTimer::timeout, this, [this] {
        qCInfo(lcTransfer) << "no peer offers parked download" << m_looking;
        resumeNext();
    });
    // Queued: the answer arrives inside the search's own handling of a result,
    // and the next search would replace that search under its feet.
    connect(&transfers, &Transfers::resumeSourceFound, this, &ParkedResumer::onSourceFound, Qt::QueuedConnection);
}

void ParkedResumer::stop()
{
    m_gather.stop();
    m_sourceWait.stop();
    m_round.clear();
    m_looking = -1;
    m_again = false;
}

void ParkedResumer::startRound()
{
    m_transfers.parking().dropSettled();
    m_round = m_transfers.parking().parkedIds();
    resumeNext();
}

void ParkedResumer::resumeNext()
{
    m_sourceWait.stop();
    m_looking = -1;
    // A search reaches only the peers linked when it goes out.
    while (!m_round.isEmpty() && !m_connections.controlLinks().isEmpty()) {
        const int id = m_round.takeFirst();
        const QList<int> parked = m_transfers.parking().parkedIds();
        if (parked.contains(id) && m_transfers.resume(id)) {
            m_looking = id;
            m_sourceWait.start();
            return;
        }
    }
    m_round.clear();
    if (m_again) {
        m_again = false;
        startRound();
    }
}

void ParkedResumer::onSourceFound(int id, const QByteArray &sharedName, const QString &address)
{
    if (id != m_looking)
        return;
    m_transfers.resumeParked(id, sharedName, address);
    resumeNext();
}
