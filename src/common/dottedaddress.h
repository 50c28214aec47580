#pragma once

#include <QByteArrayView>
#include <QStringView>

// The one test of an IPv4 address written as text: four decimal numbers from
// 0 to 255 joined by dots, each without leading zeros (so "010" cannot be
// read as octal by anyone) and nothing around them. That is the form every
// address takes on the wire and in the host lists.
class DottedAddress final
{
public:
    DottedAddress() = delete;

    static bool isValid(QByteArrayView text);
    static bool isValid(QStringView text);
};
