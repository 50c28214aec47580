// Control messages on one identified connection: each input message is
// framed with the right key, so the dispatcher sees it decoded.

#include "loopbacklink.h"

#include "net/wirecodec.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

const QByteArray PeerId = "CBF439260F0E0D0C";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // The peer's identifier decides the frame key and whether it is blocked.
    const QByteArray peerId = input.ConsumeBool() ? QByteArray(LoopbackLink::BlockedId) : PeerId;
    QList<QByteArray> chunks{"uid:" + peerId + "!!!!"};
    QByteArray frames;
    while (input.remaining_bytes() > 0 && chunks.size() < 16) {
        const std::string message = input.ConsumeRandomLengthString(512);
        frames += WireCodec::frameMessage(QByteArray(message.data(), qsizetype(message.size())),
                                          peerId, LoopbackLink::OwnId);
        // Some messages travel together, as TCP may join them.
        if (input.ConsumeBool()) {
            chunks.append(frames);
            frames.clear();
        }
    }
    if (!frames.isEmpty())
        chunks.append(frames);
    LoopbackLink::shared().deliver(chunks);
    return 0;
}
