#pragma once

#include <QtGlobal>

// How many connections a copy takes from others. Every accepted connection
// holds a descriptor and a buffer, so a host that opens them by the thousand
// must meet a limit well before the process runs out of either.
class AcceptBounds final
{
public:
    // Accepted connections alive from one address: its control link and its
    // transfer connections.
    static constexpr int MaxPerAddress = 32;
    // Of those, connections that have not yet become a control link or a transfer.
    static constexpr int MaxUnidentifiedPerAddress = 4;
    // Accepted connections in all take at most a quarter of the descriptors,
    // within these two figures.
    static constexpr int DescriptorsPerConnection = 4;
    static constexpr int MinTotal = 16;
    static constexpr int MaxTotal = 1024;

    struct Counts {
        int total = 0;
        int fromAddress = 0;
        int unidentifiedFromAddress = 0;
    };

    enum class Verdict {
        Accept,
        // This address has enough; the connection is refused, others still come in.
        RefuseAddress,
        // The copy has enough; accepting waits until one closes.
        PauseAll,
    };

    AcceptBounds() = delete;

    static int maxTotal(qint64 descriptorLimit);
    static Verdict judge(const Counts &counts, qint64 descriptorLimit);
};
