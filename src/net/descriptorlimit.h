#pragma once

#include <QtGlobal>

// The process's limit on open descriptors. Every connection costs one, so the
// bounds on connections are derived from it.
class DescriptorLimit final
{
public:
    DescriptorLimit() = delete;

    // Raises the soft limit to the hard one; a failure leaves it as it was.
    static void raiseSoftToHard();
    // The soft limit now in force.
    static qint64 current();
};
