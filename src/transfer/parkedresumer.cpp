#include "transfer/parkedresumer.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "share/quietsignaturesearch.h"
#include "transfer/transfers.h"

ParkedResumer::ParkedResumer(Transfers &transfers, ControlConnections &connections, QuietSignatureSearch &search,
                             QObject *parent)
    : QObject(parent)
    , m_transfers(transfers)
    , m_connections(connections)
    , m_search(search)
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
    connect(&search, &QuietSignatureSearch::found, this, &ParkedResumer::onSourceFound, Qt::QueuedConnection);
}

void ParkedResumer::stop()
{
    m_gather.stop();
    m_sourceWait.stop();
    m_round.clear();
    m_looking = -1;
    m_again = false;
    m_search.stop();
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
        if (lookFor(id)) {
            m_looking = id;
            m_sourceWait.start();
            return;
        }
    }
    m_round.clear();
    m_search.stop();
    if (m_again) {
        m_again = false;
        startRound();
    }
}

bool ParkedResumer::lookFor(int id)
{
    const Download *parked = m_transfers.download(id);
    // Without the file information there is no size and signature to look for.
    return m_transfers.parking().parkedIds().contains(id) && parked && parked->sizeKnown
           && m_search.start(parked->total, parked->signature);
}

void ParkedResumer::onSourceFound(qint64 size, const QByteArray &signature, const QByteArray &sharedName,
                                  const QString &address)
{
    const Download *parked = m_transfers.download(m_looking);
    if (!parked || parked->total != size || parked->signature != signature)
        return;
    m_transfers.resumeParked(m_looking, sharedName, address);
    resumeNext();
}
