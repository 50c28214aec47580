#ifndef QUELM_NET_SUBSTITUTIONTABLE_H
#define QUELM_NET_SUBSTITUTIONTABLE_H

#include <QByteArray>
#include <QByteArrayView>

// The protocol's shared key material: one two-character code for every
// printable ASCII character, and the fixed text that opens every frame key.
// Every copy of the program must carry the same values.
class SubstitutionTable final
{
public:
    static constexpr int FirstChar = 32;
    static constexpr int LastChar = 126;
    static constexpr int Size = LastChar - FirstChar + 1;

    // The code of character c, or an empty view when c has none.
    static QByteArrayView codeFor(uchar c);
    // The character whose code is first followed by second, or -1.
    static int charFor(char first, char second);
    // Six characters ending in "-".
    static QByteArray frameKeyConstant();
};

#endif
