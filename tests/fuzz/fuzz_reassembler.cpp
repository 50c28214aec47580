// The byte stream of a control connection: cut into frames at arbitrary
// chunk boundaries, every body unframed and decoded.

#include "net/framereassembler.h"
#include "net/wirecodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

constexpr qsizetype CapBytes = 4096;
const QByteArray OwnId = "1A2B3C4D5E6F7A8B";
const QByteArray PeerId = "CBF439260F0E0D0C";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    FrameReassembler reassembler(CapBytes);
    while (input.remaining_bytes() > 0) {
        const std::string chunk = input.ConsumeRandomLengthString(CapBytes * 2);
        const FrameReassembler::Feed feed = reassembler.feed(QByteArray(chunk.data(), qsizetype(chunk.size())));
        const QByteArray &pending = reassembler.buffer();
        // What is held is a partial frame within the cap, never more.
        if (pending.size() > CapBytes || (!pending.isEmpty() && !pending.startsWith(WireCodec::StartMarker)))
            std::abort();
        for (const QByteArray &body : feed.bodies) {
            // No frame passes the cap, whether it waited or came whole.
            if (body.size() > CapBytes - WireCodec::StartMarkerLength)
                std::abort();
            const QByteArray message = WireCodec::unframeMessage(body, OwnId, PeerId);
            if (message.size() > (body.size() + 1) / 2)
                std::abort();
        }
    }
    return 0;
}
