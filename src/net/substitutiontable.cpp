#include "net/substitutiontable.h"

#include <array>

namespace {

// Codes use letters and digits only, so an encoded text never holds the
// framing characters "|", ":" or "*". No code ends in "0": that form is kept
// for characters outside the table, which travel as themselves plus "0".
constexpr char Codes[SubstitutionTable::Size][3] = {
    "ws", "Dj", "53", "fD", "62", "7M", "Wo", "PH", // 32..39
    "se", "aL", "hj", "np", "Wv", "0L", "76", "Ub", // 40..47
    "u1", "xz", "PA", "h3", "vC", "Cc", "ck", "Wr", // 48..55
    "gV", "Ed", "KG", "EA", "8T", "qI", "zI", "NT", // 56..63
    "0J", "Hk", "mR", "zE", "vp", "cP", "dQ", "Xf", // 64..71
    "3s", "Ef", "9t", "Tk", "kR", "Ph", "Hl", "Gx", // 72..79
    "SI", "l2", "gm", "FO", "MT", "Al", "JS", "IQ", // 80..87
    "5Z", "Sa", "3x", "lE", "IS", "Tj", "ny", "XM", // 88..95
    "7F", "8u", "MV", "5z", "Ju", "Ei", "Rd", "8j", // 96..103
    "VH", "BN", "Aw", "cV", "1S", "IE", "ke", "Us", // 104..111
    "4T", "MS", "H4", "J4", "BH", "EL", "FS", "fY", // 112..119
    "7q", "kA", "ik", "sd", "Ct", "7X", "2h",       // 120..126
};

constexpr char FrameKeyConstant[] = "Vq8rZ-";
static_assert(sizeof(FrameKeyConstant) == 7 && FrameKeyConstant[5] == '-');

constexpr int AlnumCount = 62;

// Position of c among [0-9A-Za-z], or -1.
constexpr int alnumIndex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return 10 + (c - 'A');
    if (c >= 'a' && c <= 'z')
        return 36 + (c - 'a');
    return -1;
}

// Reverse lookup indexed by the two characters' positions, so decoding a pair
// is one array access. Built at compile time, which also checks the table.
using DecodeTable = std::array<signed char, AlnumCount * AlnumCount>;

constexpr DecodeTable buildDecodeTable()
{
    DecodeTable table{};
    for (auto &entry : table)
        entry = -1;
    for (int i = 0; i < SubstitutionTable::Size; ++i) {
        const int first = alnumIndex(Codes[i][0]);
        const int second = alnumIndex(Codes[i][1]);
        if (first < 0 || second < 0 || Codes[i][1] == '0' || Codes[i][2] != '\0')
            throw "substitution code outside [0-9A-Za-z] or ending in 0";
        auto &entry = table[first * AlnumCount + second];
        if (entry != -1)
            throw "duplicate substitution code";
        entry = static_cast<signed char>(SubstitutionTable::FirstChar + i);
    }
    return table;
}

constexpr DecodeTable Decode = buildDecodeTable();

} // namespace

QByteArrayView SubstitutionTable::codeFor(uchar c)
{
    if (c < FirstChar || c > LastChar)
        return {};
    return QByteArrayView(Codes[c - FirstChar], 2);
}

int SubstitutionTable::charFor(char first, char second)
{
    const int a = alnumIndex(first);
    const int b = alnumIndex(second);
    if (a < 0 || b < 0)
        return -1;
    return Decode[a * AlnumCount + b];
}

QByteArray SubstitutionTable::frameKeyConstant()
{
    return QByteArray(FrameKeyConstant, sizeof(FrameKeyConstant) - 1);
}
