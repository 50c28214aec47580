// The stored host cache, as whatever was left in the settings file.

#include "net/hostcache.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string stored = input.ConsumeRandomLengthString(4096);
    const std::string recent = input.ConsumeRemainingBytesAsString();
    const QByteArray storedValue(stored.data(), qsizetype(stored.size()));
    const QStringList addresses =
        HostCache::cachedAddresses(storedValue, QByteArray(recent.data(), qsizetype(recent.size())));
    for (const QString &address : addresses) {
        if (address.isEmpty() || address.contains(QLatin1Char(';')))
            std::abort();
    }
    // Storing and loading are inverse wherever the shift stays within a byte.
    if (const auto lowered = HostCache::shiftCodes(storedValue, HostCache::StoredShift)) {
        if (HostCache::shiftCodes(*lowered, -HostCache::StoredShift) != storedValue)
            std::abort();
    }
    return 0;
}
