#include "net/framereassembler.h"

#include "net/wirecodec.h"

#include <utility>

namespace {

constexpr qsizetype StartLength = WireCodec::StartMarkerLength;
constexpr qsizetype EndLength = WireCodec::EndMarkerLength;
constexpr qsizetype SeparatorLength = WireCodec::SeparatorLength;

bool fits(qsizetype bodyLength, qsizetype capBytes)
{
    return StartLength + bodyLength <= capBytes;
}

} // namespace

FrameReassembler::FrameReassembler(qsizetype frameCapBytes)
    : m_frameCapBytes(frameCapBytes)
    , m_pendingCapBytes(frameCapBytes)
{
}

FrameReassembler::Feed FrameReassembler::feed(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return {};

    if (!m_buffer.isEmpty()) {
        // Only the new bytes (and a separator straddling the old end) are
        // searched, so a long pending frame fed in small chunks stays cheap.
        const qsizetype searchFrom = qMax(StartLength, m_buffer.size() - (SeparatorLength - 1));
        m_buffer.append(chunk);
        const bool frameCompleted = m_buffer.endsWith(WireCodec::EndMarker)
                                    || m_buffer.indexOf(WireCodec::Separator, searchFrom) >= 0;
        if (!frameCompleted) {
            if (m_buffer.size() > m_pendingCapBytes)
                return overflowed();
            return {};
        }
        // The buffer always opens with the start marker, so it is split whole.
        const QByteArray whole = std::exchange(m_buffer, QByteArray());
        return split(whole);
    }

    // A start marker cut by the chunk boundary is held back until the rest
    // arrives; dropping it would lose a sound frame.
    const QByteArray data = std::exchange(m_startPrefix, QByteArray()) + chunk;
    if (data.size() < StartLength && QByteArrayView(WireCodec::StartMarker).startsWith(data)) {
        m_startPrefix = data;
        return {};
    }
    if (!data.startsWith(WireCodec::StartMarker))
        return {};
    return split(data);
}

FrameReassembler::Feed FrameReassembler::split(const QByteArray &chunk)
{
    Feed result;
    qsizetype from = StartLength;
    qsizetype at = chunk.indexOf(WireCodec::Separator, from);
    while (at >= 0) {
        if (!fits(at - from, m_frameCapBytes))
            return overflowed();
        result.bodies.append(chunk.mid(from, at - from));
        from = at + SeparatorLength;
        at = chunk.indexOf(WireCodec::Separator, from);
    }

    // A separator ends with "|", so none overlaps a trailing end marker: when
    // the chunk ends with one, it lies wholly inside the last piece.
    if (chunk.endsWith(WireCodec::EndMarker)) {
        const qsizetype length = chunk.size() - EndLength - from;
        if (!fits(length, m_frameCapBytes))
            return overflowed();
        result.bodies.append(chunk.mid(from, length));
        return result;
    }

    const QByteArrayView partial = QByteArrayView(chunk).sliced(from);
    if (!fits(partial.size(), m_pendingCapBytes))
        return overflowed();
    m_buffer.reserve(StartLength + partial.size());
    m_buffer.append(WireCodec::StartMarker).append(partial);
    return result;
}

FrameReassembler::Feed FrameReassembler::overflowed()
{
    clear();
    Feed result;
    result.overflow = true;
    return result;
}

void FrameReassembler::clear()
{
    m_buffer.clear();
    m_startPrefix.clear();
}

const QByteArray &FrameReassembler::buffer() const
{
    return m_buffer;
}
