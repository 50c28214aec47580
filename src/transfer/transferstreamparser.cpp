#include "transfer/transferstreamparser.h"

#include "transfer/transfermessages.h"

#include <cstring>

QList<TransferStreamParser::Event> TransferStreamParser::feed(const QByteArray &bytes)
{
    QList<Event> events;
    if (m_malformed)
        return events;
    if (m_inData) {
        if (!bytes.isEmpty())
            events.append({Event::Data, bytes});
        return events;
    }
    m_buffer += bytes;
    while (!m_inData && !m_malformed && takeMessage(events)) {
    }
    if (m_inData && !m_buffer.isEmpty())
        events.append({Event::Data, std::exchange(m_buffer, QByteArray())});
    return events;
}

bool TransferStreamParser::takeMessage(QList<Event> &events)
{
    if (m_buffer.isEmpty())
        return false;
    const bool fileInfo = !m_fileInfoSeen && m_buffer.startsWith(TransferMessages::FileInfoKeyword);
    const bool wait = m_buffer.startsWith(TransferMessages::WaitKeyword);
    if (fileInfo || wait) {
        const qsizetype end = m_buffer.indexOf('|');
        if (end < 0) {
            if (m_buffer.size() > MaxMessageLength) {
                m_malformed = true;
                m_buffer.clear();
                events.append(Event{Event::Malformed, QByteArray()});
            }
            return false;
        }
        const qsizetype keyword = fileInfo ? qsizetype(std::strlen(TransferMessages::FileInfoKeyword))
                                           : qsizetype(std::strlen(TransferMessages::WaitKeyword));
        events.append({fileInfo ? Event::FileInfo : Event::Wait, m_buffer.mid(keyword, end - keyword)});
        m_fileInfoSeen = m_fileInfoSeen || fileInfo;
        m_buffer.remove(0, end + 1);
        return true;
    }
    if ((!m_fileInfoSeen && isPrefixOf(TransferMessages::FileInfoKeyword)) || isPrefixOf(TransferMessages::WaitKeyword)
        || isPrefixOf(TransferMessages::DataMarker))
        return false;
    m_inData = true;
    if (m_buffer.startsWith(TransferMessages::DataMarker))
        m_buffer.remove(0, qsizetype(std::strlen(TransferMessages::DataMarker)));
    return false;
}

bool TransferStreamParser::isPrefixOf(const char *keyword) const
{
    return m_buffer.size() < qsizetype(std::strlen(keyword)) && QByteArray(keyword).startsWith(m_buffer);
}
