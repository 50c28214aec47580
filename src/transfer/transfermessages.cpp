#include "transfer/transfermessages.h"

#include "net/wirecodec.h"
#include "net/wirekeywords.h"

#include <QList>

namespace {

constexpr int MaxCountDigits = 18;

} // namespace

QByteArray TransferMessages::encodeTwice(const QByteArray &text)
{
    return WireCodec::codeText(WireCodec::codeText(text, WireCodec::EncodeMode), WireCodec::EncodeMode);
}

QByteArray TransferMessages::decodeTwice(const QByteArray &text)
{
    return WireCodec::codeText(WireCodec::codeText(text, WireCodec::DecodeMode), WireCodec::DecodeMode);
}

QByteArray TransferMessages::fileInfoRequest(const QByteArray &sharedName)
{
    return WireKeywords::FileInfoRequest + encodeTwice(sharedName) + '|';
}

QByteArray TransferMessages::fileInfo(qint64 size, const QByteArray &nickname, const QByteArray &signature)
{
    return WireKeywords::FileInfo + encodeTwice(QByteArray::number(size) + '|' + nickname + '|' + signature) + '|';
}

QByteArray TransferMessages::fileRequest(const QByteArray &sharedName, qint64 offset)
{
    const QByteArray fields = offset > 0 ? sharedName + '|' + QByteArray::number(offset) + '|' : sharedName + '|';
    return WireKeywords::FileRequest + encodeTwice(fields) + '|';
}

QByteArray TransferMessages::wait(int position)
{
    return WireKeywords::Wait + QByteArray::number(position) + '|';
}

std::optional<qint64> TransferMessages::parseCount(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > MaxCountDigits)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<TransferMessages::FileInfo> TransferMessages::parseFileInfo(const QByteArray &body)
{
    const QByteArray text = decodeTwice(body);
    const qsizetype first = text.indexOf('|');
    const qsizetype second = first < 0 ? -1 : text.indexOf('|', first + 1);
    if (second < 0)
        return std::nullopt;
    const std::optional<qint64> size = parseCount(text.left(first));
    if (!size)
        return std::nullopt;
    return FileInfo{*size, text.mid(first + 1, second - first - 1), text.mid(second + 1)};
}

std::optional<TransferMessages::FileRequest> TransferMessages::parseFileRequest(const QByteArray &body)
{
    const QList<QByteArray> pieces = decodeTwice(body).split('|');
    if (pieces.first().isEmpty())
        return std::nullopt;
    const std::optional<qint64> offset = pieces.size() > 1 ? parseCount(pieces.at(1)) : std::nullopt;
    return FileRequest{pieces.first(), offset.value_or(0)};
}
