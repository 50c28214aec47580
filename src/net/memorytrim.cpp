#include "net/memorytrim.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MemoryTrim::trimIfDue()
{
    if (m_released < ThresholdBytes)
        return;
    m_released = 0;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
