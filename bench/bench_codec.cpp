// Throughput of the control-message codec: building frames, decoding bodies
// and cutting a long frame stream (a large browse answer) into bodies.

#include "net/framereassembler.h"
#include "net/wirecodec.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdio>

namespace {

const QByteArray OwnId = "1A2B3C4D5E6F7A8B";
const QByteArray PeerId = "CBF439260F0E0D0C";

QByteArray typicalResult()
{
    QByteArray message = "result:holiday:0:Pictures\\2023\\Summer\\Beach at dusk IMG_4711.jpg"
                         ":3481921:Nick:d41d8cd98f00b204e9800998ecf8427e";
    message = message.leftJustified(120, ' ', true);
    return message;
}

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void report(const char *what, qint64 count, qint64 bytes, double elapsed)
{
    std::printf("%-38s %9.0f frames/s %9.1f MB/s  (%lld frames, %.3f s)\n", what,
                static_cast<double>(count) / elapsed, static_cast<double>(bytes) / elapsed / 1e6,
                static_cast<long long>(count), elapsed);
}

void benchFraming()
{
    constexpr int Count = 200000;
    const QByteArray message = typicalResult();

    qint64 produced = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Count; ++i)
        produced += WireCodec::frameMessage(message, OwnId, PeerId).size();
    report("frameMessage (120-byte result)", Count, qint64(Count) * message.size(), seconds(timer));

    const QByteArray frame = WireCodec::frameMessage(message, OwnId, PeerId);
    const QByteArray body = frame.mid(7, frame.size() - 11);
    qint64 decoded = 0;
    timer.restart();
    for (int i = 0; i < Count; ++i)
        decoded += WireCodec::unframeMessage(body, PeerId, OwnId).size();
    report("unframeMessage (240-byte body)", Count, qint64(Count) * message.size(), seconds(timer));

    if (decoded != qint64(Count) * message.size() || produced != qint64(Count) * frame.size())
        std::printf("  unexpected sizes: %lld decoded, %lld produced\n",
                    static_cast<long long>(decoded), static_cast<long long>(produced));
}

void benchReassembly(const QByteArray &stream, int frames, qsizetype cap, const char *what)
{
    constexpr qsizetype ChunkSize = 64 * 1024;
    FrameReassembler reassembler(cap);
    qint64 bodies = 0;
    int overflows = 0;
    qsizetype largestBuffer = 0;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < stream.size(); at += ChunkSize) {
        const FrameReassembler::Feed result = reassembler.feed(stream.mid(at, ChunkSize));
        bodies += result.bodies.size();
        overflows += result.overflow ? 1 : 0;
        largestBuffer = std::max(largestBuffer, reassembler.buffer().size());
    }
    report(what, bodies, stream.size(), seconds(timer));
    std::printf("  %lld of %d bodies out, %d overflows, largest pending buffer %lld bytes\n",
                static_cast<long long>(bodies), frames, overflows, static_cast<long long>(largestBuffer));
}

} // namespace

int main()
{
    benchFraming();

    constexpr int Frames = 100000;
    QByteArray stream;
    const QByteArray message = typicalResult();
    for (int i = 0; i < Frames; ++i)
        stream += WireCodec::frameMessage(message + QByteArray::number(i), OwnId, PeerId);

    benchReassembly(stream, Frames, stream.size(), "reassembly, 64 KiB chunks, no cap");
    benchReassembly(stream, Frames, FrameReassembler::DefaultCapBytes,
                    "reassembly, 64 KiB chunks, 1 MiB cap");
    return 0;
}
