#include "net/descriptorlimit.h"

#include <sys/resource.h>

namespace {

// What an unlimited or unreadable limit counts as: far above every bound
// derived from it.
constexpr qint64 Unlimited = 1 << 20;

} // namespace

void DescriptorLimit::raiseSoftToHard()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

qint64 DescriptorLimit::current()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return Unlimited;
    return qMin<qint64>(static_cast<qint64>(limit.rlim_cur), Unlimited);
}
