#include "net/acceptbounds.h"

int AcceptBounds::maxTotal(qint64 descriptorLimit)
{
    return static_cast<int>(qBound(qint64(MinTotal), descriptorLimit / DescriptorsPerConnection, qint64(MaxTotal)));
}

AcceptBounds::Verdict AcceptBounds::judge(const Counts &counts, qint64 descriptorLimit)
{
    if (counts.total >= maxTotal(descriptorLimit))
        return Verdict::PauseAll;
    if (counts.fromAddress >= MaxPerAddress || counts.unidentifiedFromAddress >= MaxUnidentifiedPerAddress)
        return Verdict::RefuseAddress;
    return Verdict::Accept;
}
