// The first bytes of an accepted connection: the identity line or a
// transfer request, cut anywhere, and whatever follows it.

#include "loopbacklink.h"

#include <QCoreApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>

namespace {

// libFuzzer calls in without context: the application and the link live for
// the whole run of the process.
struct Harness {
    int argc = 1;
    char name[16] = "fuzz_handshake";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    LoopbackLink link;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::unique_ptr<Harness> harness = std::make_unique<Harness>();
    if (!harness->link.isListening())
        std::abort();
    FuzzedDataProvider input(data, size);
    QList<QByteArray> chunks;
    while (input.remaining_bytes() > 0 && chunks.size() < 8) {
        const std::string chunk = input.ConsumeRandomLengthString(1024);
        chunks.append(QByteArray(chunk.data(), qsizetype(chunk.size())));
    }
    harness->link.deliver(chunks);
    return 0;
}
