#pragma once

#include <QtGlobal>

// Gives memory back to the system after large buffers went. The allocator
// keeps freed memory for reuse, so a flood that has ended would otherwise
// leave the process as large as at its peak.
class MemoryTrim final
{
public:
    // Freed bytes worth a trim.
    static constexpr qint64 ThresholdBytes = 1024 * 1024;

    void noteReleased(qint64 bytes) { m_released += bytes; }
    // Trims when enough was noted since the last trim.
    void trimIfDue();

private:
    qint64 m_released = 0;
};
