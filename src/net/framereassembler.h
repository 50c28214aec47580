#ifndef QUELM_NET_FRAMEREASSEMBLER_H
#define QUELM_NET_FRAMEREASSEMBLER_H

#include <QByteArray>
#include <QList>

// Cuts the byte stream of one control connection into frame bodies.
//
// Every frame is released as soon as it is complete: ended by the end marker
// at the end of the data, or by a separator that opens the next frame. Only
// the one trailing partial frame is kept, so a long stream of frames never
// piles up. The frame cap bounds a single frame, start marker and body,
// whether it waits for its end or arrives whole in one read; a lower pending
// cap may bound what waits, so that a connection not yet trusted holds little
// while whole frames it sends still pass. Data arriving on an idle
// connection that does not open with the start marker is dropped, except for
// a chunk that is only the beginning of one.
class FrameReassembler final
{
public:
    static constexpr qsizetype DefaultCapBytes = 1 << 20;

    struct Feed
    {
        QList<QByteArray> bodies;
        // A frame would pass the frame cap, or a partial frame the pending
        // cap. Nothing of this feed is released, the buffer has been emptied
        // and the connection should be dropped.
        bool overflow = false;
    };

    explicit FrameReassembler(qsizetype frameCapBytes = DefaultCapBytes);

    Feed feed(const QByteArray &chunk);
    // Never above the frame cap; the frame cap until set.
    void setPendingCapBytes(qsizetype capBytes) { m_pendingCapBytes = qMin(capBytes, m_frameCapBytes); }
    void clear();
    // Empty, or a pending partial frame beginning with the start marker. A cut
    // start marker held on an idle connection is not part of it.
    const QByteArray &buffer() const;

private:
    Feed split(const QByteArray &chunk);
    Feed overflowed();

    QByteArray m_buffer;
    // The first bytes of a start marker that ended a chunk on an idle
    // connection; never more than six.
    QByteArray m_startPrefix;
    qsizetype m_frameCapBytes;
    qsizetype m_pendingCapBytes;
};

#endif
