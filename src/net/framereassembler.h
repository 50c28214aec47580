#ifndef QUELM_NET_FRAMEREASSEMBLER_H
#define QUELM_NET_FRAMEREASSEMBLER_H

#include <QByteArray>
#include <QList>

// Cuts the byte stream of one control connection into frame bodies.
//
// Every frame is released as soon as it is complete: ended by the end marker
// at the end of the data, or by a separator that opens the next frame. Only
// the one trailing partial frame is kept, so a long stream of frames never
// piles up, and the cap bounds a single frame. Data arriving on an idle
// connection that does not open with the start marker is dropped, except for
// a chunk that is only the beginning of one.
class FrameReassembler final
{
public:
    static constexpr qsizetype DefaultCapBytes = 1 << 20;

    struct Feed
    {
        QList<QByteArray> bodies;
        // The pending data would pass the cap; the buffer has been emptied and
        // the connection should be dropped.
        bool overflow = false;
    };

    explicit FrameReassembler(qsizetype capBytes = DefaultCapBytes);

    Feed feed(const QByteArray &chunk);
    void setCapBytes(qsizetype capBytes) { m_capBytes = capBytes; }
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
    qsizetype m_capBytes;
};

#endif
