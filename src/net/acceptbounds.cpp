#include "net/acceptbounds.h"

int AcceptBounds::maxTotal(qint64 descriptorLimit)
{
    return static_cast<int>(qBound(qint64(MinTotal), descriptorLimit / DescriptorsPerConnection, qint64(MaxTotal)));
}

int AcceptBounds::maxTransfers(qint64 descriptorLimit)
{
    return static_cast<int>(
        qBound(qint64(MinTotal), descriptorLimit / DescriptorsPerConnection, qint64(MaxTransfers)));
}

int AcceptBounds::maxTransfersPerAddress(qint64 descriptorLimit)
{
    return qMin(MaxTransfersPerAddress, maxTransfers(descriptorLimit) / 2);
}

bool AcceptBounds::hasTransferRoom(const Counts &counts, qint64 descriptorLimit)
{
    return counts.transfers < maxTransfers(descriptorLimit)
           && counts.transfersFromAddress < maxTransfersPerAddress(descriptorLimit);
}

AcceptBounds::Verdict AcceptBounds::judge(const Counts &counts, qint64 descriptorLimit)
{
    const bool linksFull = counts.total >= maxTotal(descriptorLimit);
    if (!linksFull && counts.fromAddress < MaxPerAddress && counts.unidentifiedFromAddress < MaxUnidentifiedPerAddress)
        return Verdict::Accept;
    if (hasTransferRoom(counts, descriptorLimit))
        return Verdict::AcceptForTransfer;
    if (linksFull && counts.transfers >= maxTransfers(descriptorLimit))
        return Verdict::PauseAll;
    return Verdict::RefuseAddress;
}
