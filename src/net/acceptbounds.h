#pragma once

#include <QtGlobal>

// How many connections a copy takes from others. Every accepted connection
// holds a descriptor and a buffer, so a host that opens them by the thousand
// must meet a limit well before the process runs out of either. Links (and
// connections that have not yet said what they are) and transfer connections
// are counted apart, so a flood of transfers never keeps a new peer's link out.
class AcceptBounds final
{
public:
    // Accepted links alive from one address, with those not yet named.
    static constexpr int MaxPerAddress = 32;
    // Of those, connections that have not yet become a link or a transfer.
    static constexpr int MaxUnidentifiedPerAddress = 4;
    // Transfer connections from one address and in all, as the upload queue
    // holds requests; connections of a burst beyond the unnamed bound count
    // here too and may only become transfers.
    static constexpr int MaxTransfersPerAddress = 1024;
    static constexpr int MaxTransfers = 8192;
    // Links, and transfers, each take at most a quarter of the descriptors,
    // within the floor and their ceiling.
    static constexpr int DescriptorsPerConnection = 4;
    static constexpr int MinTotal = 16;
    static constexpr int MaxTotal = 1024;

    struct Counts {
        int total = 0;  // links and unnamed connections
        int fromAddress = 0;
        int unidentifiedFromAddress = 0;
        int transfers = 0;
        int transfersFromAddress = 0;
    };

    enum class Verdict {
        Accept,
        // Only as a transfer: the address has its share of unnamed connections.
        AcceptForTransfer,
        // This address has enough; the connection is refused, others still come in.
        RefuseAddress,
        // The copy has enough; accepting waits until one closes.
        PauseAll,
    };

    AcceptBounds() = delete;

    static int maxTotal(qint64 descriptorLimit);
    static int maxTransfers(qint64 descriptorLimit);
    // Half of all transfers at most, so one address never takes them all.
    static int maxTransfersPerAddress(qint64 descriptorLimit);
    static Verdict judge(const Counts &counts, qint64 descriptorLimit);
    static bool hasTransferRoom(const Counts &counts, qint64 descriptorLimit);
};
