#pragma once

#include <QtGlobal>

// Gives memory back to the system after large buffers went. The allocator
// keeps freed memory for reuse, so a flood that has ended would otherwise
// leave the process as large as at its peak.
class MemoryTrim final
{
public:
    // Freed bytes worth a trim while traffic goes on.
    static constexpr qint64 ThresholdBytes = 1024 * 1024;
    // Freed bytes worth a trim once traffic has stopped; keep-alives alone
    // never add up to it.
    static constexpr qint64 QuietThresholdBytes = 64 * 1024;

    void noteReleased(qint64 bytes)
    {
        m_released += bytes;
        m_releasedSinceCheck = true;
    }
    // Trims when enough was noted since the last trim, or when traffic has
    // stopped since the last check: the tail of a flood is then given back
    // too, instead of waiting for more.
    void trimIfDue();

private:
    qint64 m_released = 0;
    bool m_releasedSinceCheck = false;
};
