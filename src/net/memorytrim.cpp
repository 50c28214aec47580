#include "net/memorytrim.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MemoryTrim::trimIfDue()
{
    const bool quietAfterTraffic = !m_releasedSinceCheck && m_released >= QuietThresholdBytes;
    m_releasedSinceCheck = false;
    if (m_released < ThresholdBytes && !quietAfterTraffic)
        return;
    m_released = 0;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
