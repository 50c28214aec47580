#include "common/dottedaddress.h"

namespace {

constexpr int OctetCount = 4;
constexpr int MaxOctet = 255;
constexpr int MaxOctetDigits = 3;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool DottedAddress::isValid(QByteArrayView text)
{
    qsizetype at = 0;
    for (int octet = 0; octet < OctetCount; ++octet) {
        if (octet > 0 && (at >= text.size() || text[at++] != '.'))
            return false;
        const qsizetype start = at;
        int value = 0;
        while (at < text.size() && isDigit(text[at]) && at - start < MaxOctetDigits)
            value = value * 10 + (text[at++] - '0');
        const qsizetype digits = at - start;
        if (digits == 0 || value > MaxOctet || (digits > 1 && text[start] == '0'))
            return false;
    }
    return at == text.size();
}

bool DottedAddress::isValid(QStringView text)
{
    // Any character outside Latin-1 becomes "?", which is no digit or dot.
    return isValid(QByteArrayView(text.toLatin1()));
}
