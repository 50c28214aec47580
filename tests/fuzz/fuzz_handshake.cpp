// The first bytes of an accepted connection: the identity line or a
// transfer request, cut anywhere, and whatever follows it.

#include "loopbacklink.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    QList<QByteArray> chunks;
    while (input.remaining_bytes() > 0 && chunks.size() < 8) {
        const std::string chunk = input.ConsumeRandomLengthString(1024);
        chunks.append(QByteArray(chunk.data(), qsizetype(chunk.size())));
    }
    LoopbackLink::shared().deliver(chunks);
    return 0;
}
