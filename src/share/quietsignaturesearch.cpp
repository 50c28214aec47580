#include "share/quietsignaturesearch.h"

#include "net/controlconnections.h"
#include "net/wirekeywords.h"

QuietSignatureSearch::QuietSignatureSearch(ControlConnections &connections, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
{
}

bool QuietSignatureSearch::start(qint64 size, const QByteArray &signature)
{
    const QList<int> links = m_connections.controlLinks();
    if (links.isEmpty()) {
        stop();
        return false;
    }
    m_size = size;
    m_signature = signature;
    setQuery(QByteArray(WireKeywords::SignatureSearchPrefix) + QByteArray::number(size) + ' ' + signature);
    const QByteArray message = WireKeywords::Search + m_query;
    for (int index : links)
        m_connections.send(index, message);
    return true;
}

void QuietSignatureSearch::stop()
{
    setQuery({});
}

void QuietSignatureSearch::setQuery(const QByteArray &query)
{
    if (query == m_query)
        return;
    m_query = query;
    emit queryChanged(m_query);
}

void QuietSignatureSearch::takeResult(const QString &address, const QByteArray &payload)
{
    // A result is "shared name|size|nickname|...": only the name is needed
    // here, and one without a name or fields after it is not a result.
    const qsizetype bar = payload.indexOf('|');
    if (m_query.isEmpty() || bar <= 0)
        return;
    emit found(m_size, m_signature, payload.left(bar), address);
}
