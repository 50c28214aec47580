#include "transfer/transferstreamparser.h"

#include "net/wirekeywords.h"

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
    const bool fileInfo = !m_fileInfoSeen && m_buffer.startsWith(WireKeywords::FileInfo);
    const bool wait = m_buffer.startsWith(WireKeywords::Wait);
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
        const qsizetype keyword =
            fileInfo ? WireKeywords::length(WireKeywords::FileInfo) : WireKeywords::length(WireKeywords::Wait);
        events.append({fileInfo ? Event::FileInfo : Event::Wait, m_buffer.mid(keyword, end - keyword)});
        m_fileInfoSeen = m_fileInfoSeen || fileInfo;
        m_buffer.remove(0, end + 1);
        return true;
    }
    if ((!m_fileInfoSeen && isPrefixOf(WireKeywords::FileInfo)) || isPrefixOf(WireKeywords::Wait)
        || isPrefixOf(WireKeywords::DataMarker))
        return false;
    m_inData = true;
    if (m_buffer.startsWith(WireKeywords::DataMarker))
        m_buffer.remove(0, WireKeywords::length(WireKeywords::DataMarker));
    return false;
}

bool TransferStreamParser::isPrefixOf(const char *keyword) const
{
    return m_buffer.size() < qsizetype(std::strlen(keyword)) && QByteArray(keyword).startsWith(m_buffer);
}
