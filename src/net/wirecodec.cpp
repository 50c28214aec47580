#include "net/wirecodec.h"

#include "net/substitutiontable.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The shift offsets run through curve(2)..curve(30) and start over.
constexpr int FirstStep = 2;
constexpr int LastStep = 30;
constexpr int StepCount = LastStep - FirstStep + 1;
using StepTable = std::array<qint32, StepCount>;

const StepTable &stepCurves()
{
    static const StepTable table = [] {
        StepTable t{};
        for (int j = FirstStep; j <= LastStep; ++j)
            t[j - FirstStep] = WireCodec::curve(j);
        return t;
    }();
    return table;
}

// The shift of one step reduced to -255..255 so that the per-byte work needs
// no division. For a positive shift every result lies in 1..255 (wrapping
// from above), for a negative one in 0..254 (wrapping from below); reducing
// the shift modulo 255 within that sign keeps both ranges exact.
int reducedShift(qint64 shift)
{
    if (shift > 0)
        return static_cast<int>((shift - 1) % 255 + 1);
    if (shift < 0)
        return -static_cast<int>((-shift - 1) % 255 + 1);
    return 0;
}

// Shifts len bytes in place by key value k; direction +1 encodes, -1 decodes.
void shiftInPlace(char *data, qsizetype len, qint64 k, int direction)
{
    const StepTable &curves = stepCurves();
    std::array<int, StepCount> shifts{};
    for (int step = 0; step < StepCount; ++step)
        shifts[step] = reducedShift(direction * (k - curves[step]));

    int step = 0;
    for (qsizetype i = 0; i < len; ++i) {
        int v = static_cast<uchar>(data[i]) + shifts[step];
        if (v > 255)
            v -= 255;
        else if (v < 0)
            v += 255;
        data[i] = static_cast<char>(v);
        if (++step == StepCount)
            step = 0;
    }
}

// Writes the two-byte-per-byte substitution code of text to out.
void encodeInto(char *out, const QByteArray &text)
{
    for (const char ch : text) {
        const QByteArrayView code = SubstitutionTable::codeFor(static_cast<uchar>(ch));
        if (code.isEmpty()) {
            out[0] = ch;
            out[1] = '0';
        } else {
            out[0] = code[0];
            out[1] = code[1];
        }
        out += 2;
    }
}

QByteArray decodeText(const QByteArray &text)
{
    QByteArray out(text.size() / 2, Qt::Uninitialized);
    char *dst = out.data();
    // A trailing single character forms no pair and is dropped.
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const char first = text[i];
        const char second = text[i + 1];
        const int decoded = SubstitutionTable::charFor(first, second);
        if (decoded >= 0)
            *dst++ = static_cast<char>(decoded);
        else if (second == '0')
            *dst++ = first;
    }
    out.truncate(dst - out.constData());
    return out;
}

qint64 byteSum(const QByteArray &text)
{
    qint64 sum = 0;
    for (const char ch : text)
        sum += static_cast<uchar>(ch);
    return sum;
}

// The key value of any key whose byte codes add up to sum.
qint32 keyValueOf(qint64 sum, qint64 length)
{
    if (length == 0)
        return 0;
    if (sum <= length)
        return WireCodec::curve(sum);
    const qint64 divisor = WireCodec::curve(length + 1);
    if (divisor == 0)
        return 0;
    const qint64 dividend = WireCodec::curve(sum);
    // Floor division: the quotient rounds toward negative infinity.
    qint64 quotient = dividend / divisor;
    if (dividend % divisor != 0 && ((dividend < 0) != (divisor < 0)))
        --quotient;
    return static_cast<qint32>(quotient);
}

// The key value of frameKey(senderId, receiverId), without building the key.
qint32 frameKeyValue(const QByteArray &senderId, const QByteArray &receiverId)
{
    const QByteArray constant = SubstitutionTable::frameKeyConstant();
    return keyValueOf(byteSum(constant) + byteSum(senderId) + static_cast<uchar>('-') + byteSum(receiverId),
                      constant.size() + senderId.size() + 1 + receiverId.size());
}

} // namespace

QByteArray WireCodec::codeText(const QByteArray &text, int mode)
{
    if (mode == EncodeMode) {
        QByteArray out(text.size() * 2, Qt::Uninitialized);
        encodeInto(out.data(), text);
        return out;
    }
    if (mode == DecodeMode)
        return decodeText(text);
    return {};
}

qint32 WireCodec::curve(qint64 n)
{
    if (n <= 0)
        return 0;
    const double x = static_cast<double>(n);
    const double value = std::floor(std::log(x) * std::cos(x) * 137.0);
    if (!std::isfinite(value) || value < std::numeric_limits<qint32>::min()
        || value > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint32>(value);
}

qint32 WireCodec::keyValue(const QByteArray &key)
{
    return keyValueOf(byteSum(key), key.size());
}

int WireCodec::wrap(qint64 v)
{
    if (v > 255)
        return static_cast<int>((v - 1) % 255 + 1);
    if (v < 0) {
        const qint64 r = v % 255;
        return static_cast<int>(r < 0 ? r + 255 : r);
    }
    return static_cast<int>(v);
}

QByteArray WireCodec::shiftEncode(const QByteArray &key, const QByteArray &text)
{
    QByteArray out = text;
    shiftInPlace(out.data(), out.size(), keyValue(key), +1);
    return out;
}

QByteArray WireCodec::shiftDecode(const QByteArray &key, const QByteArray &text)
{
    QByteArray out = text;
    shiftInPlace(out.data(), out.size(), keyValue(key), -1);
    return out;
}

QByteArray WireCodec::frameKey(const QByteArray &senderId, const QByteArray &receiverId)
{
    return SubstitutionTable::frameKeyConstant() + senderId + '-' + receiverId;
}

QByteArray WireCodec::frameMessage(const QByteArray &message, const QByteArray &ownId,
                                   const QByteArray &peerId)
{
    // Built in one buffer: every message sent goes through here.
    const qsizetype start = StartMarkerLength;
    const qsizetype end = EndMarkerLength;
    const qsizetype bodyLength = message.size() * 2;
    QByteArray frame(start + bodyLength + end, Qt::Uninitialized);
    char *data = frame.data();
    std::memcpy(data, StartMarker, start);
    encodeInto(data + start, message);
    shiftInPlace(data + start, bodyLength, frameKeyValue(ownId, peerId), +1);
    std::memcpy(data + start + bodyLength, EndMarker, end);
    return frame;
}

QByteArray WireCodec::unframeMessage(const QByteArray &body, const QByteArray &ownId,
                                     const QByteArray &peerId)
{
    QByteArray text = body;
    shiftInPlace(text.data(), text.size(), frameKeyValue(peerId, ownId), -1);
    return decodeText(text);
}
