// A discovery datagram from anyone on the network.

#include "common/dottedaddress.h"
#include "net/discovery.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList addresses = Discovery::announcedAddresses(datagram);
    // Only dotted addresses come out, and only as many as one datagram may name.
    if (addresses.size() > Discovery::MaxPiecesPerDatagram)
        std::abort();
    for (const QString &address : addresses) {
        if (!DottedAddress::isValid(address))
            std::abort();
    }
    return 0;
}
