// Both ends of a transfer connection. The requester's view: what a serving
// peer sends, parsed once whole and once cut into pieces, must give the same
// messages and the same file data. The server's view: the same bytes read as
// request lines, as the upload server cuts them at "|".

#include "net/wirekeywords.h"
#include "transfer/transfermessages.h"
#include "transfer/transferstreamparser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

// Below the parser's message cap, so that cutting cannot change whether a
// message is too long: a message split or whole must read the same.
constexpr size_t MaxInput = 60000;
constexpr int MaxPieces = 64;

struct Parsed {
    QList<TransferStreamParser::Event> messages;
    QByteArray data;
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

Parsed parse(const QList<QByteArray> &pieces)
{
    TransferStreamParser parser;
    Parsed parsed;
    for (const QByteArray &piece : pieces) {
        for (TransferStreamParser::Event &event : parser.feed(piece)) {
            if (event.kind == TransferStreamParser::Event::Data)
                parsed.data += event.text;
            else
                parsed.messages.append(std::move(event));
        }
    }
    return parsed;
}

// Cut points come from the input's last bytes (FuzzedDataProvider reads
// integers from the end), so the fuzzer mutates content and cuts together
// while the stream itself stays the whole input.
QList<QByteArray> cutIntoPieces(const QByteArray &stream, const uint8_t *data, size_t size)
{
    FuzzedDataProvider cuts(data, size);
    QList<QByteArray> pieces;
    qsizetype at = 0;
    const int count = cuts.ConsumeIntegralInRange<int>(1, MaxPieces);
    for (int i = 1; i < count && at < stream.size(); ++i) {
        const qsizetype length = cuts.ConsumeIntegralInRange<qsizetype>(0, stream.size() - at);
        pieces.append(stream.mid(at, length));
        at += length;
    }
    pieces.append(stream.mid(at));
    return pieces;
}

bool sameMessages(const QList<TransferStreamParser::Event> &a, const QList<TransferStreamParser::Event> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).kind != b.at(i).kind || a.at(i).text != b.at(i).text)
            return false;
    }
    return true;
}

void checkRequesterSide(const QByteArray &stream, const uint8_t *data, size_t size)
{
    const Parsed whole = parse({stream});
    const Parsed pieces = parse(cutIntoPieces(stream, data, size));
    require(sameMessages(whole.messages, pieces.messages));
    require(whole.data == pieces.data);
    // Messages and data together never hold more than was sent.
    qsizetype held = whole.data.size();
    for (const TransferStreamParser::Event &event : whole.messages) {
        require(event.kind != TransferStreamParser::Event::Malformed);
        held += event.text.size();
        if (event.kind == TransferStreamParser::Event::FileInfo) {
            const std::optional<TransferMessages::FileInfo> info = TransferMessages::parseFileInfo(event.text);
            require(!info || info->size >= 0);
        }
    }
    require(held <= stream.size());
}

// A request the server accepts names a file and a place in it, and our own
// requester, asked for that file and place, sends a request that reads back
// the same.
void checkFileRequest(const QByteArray &body)
{
    const std::optional<TransferMessages::FileRequest> request = TransferMessages::parseFileRequest(body);
    if (!request)
        return;
    require(!request->sharedName.isEmpty() && request->offset >= 0);
    const QByteArray again = TransferMessages::fileRequest(request->sharedName, request->offset);
    constexpr qsizetype KeywordLength = WireKeywords::length(WireKeywords::FileRequest);
    require(again.count('|') == 1 && again.endsWith('|'));
    const std::optional<TransferMessages::FileRequest> reread =
        TransferMessages::parseFileRequest(again.mid(KeywordLength).chopped(1));
    require(reread && reread->sharedName == request->sharedName && reread->offset == request->offset);
}

void checkServerSide(const QByteArray &stream)
{
    constexpr qsizetype InfoLength = WireKeywords::length(WireKeywords::FileInfoRequest);
    constexpr qsizetype FileLength = WireKeywords::length(WireKeywords::FileRequest);
    for (const QByteArray &line : stream.split('|')) {
        if (line.startsWith(WireKeywords::FileInfoRequest))
            require(TransferMessages::decodeTwice(line.mid(InfoLength)).size() <= (line.size() - InfoLength) / 4);
        else if (line.startsWith(WireKeywords::FileRequest))
            checkFileRequest(line.mid(FileLength));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > MaxInput)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data), qsizetype(size));
    checkRequesterSide(stream, data, size);
    checkServerSide(stream);
    return 0;
}
