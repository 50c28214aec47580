#pragma once

#include <QtGlobal>

#include <cstddef>

// The words peers say to each other. A message begins with its keyword,
// compared exactly, case included; the rest of the message is its field.
namespace WireKeywords {

// The unframed lines that open a control connection, each followed by the
// sender's identifier and WireCodec::HandshakeTerminator. Both begin with
// HandshakeOpening.
inline constexpr char HandshakeOpening[] = "uid";
inline constexpr char Handshake[] = "uid:";       // from the side that connected
inline constexpr char HandshakeReply[] = "uid/ns:"; // the accepting side's answer

// Control messages, framed and coded.
// Sent on every control link each keep-alive tick, as the whole message: two
// slashes, the word, two backslashes.
inline constexpr char KeepAlive[] = "//keepalive\\\\";
inline constexpr char Role[] = "id/";
inline constexpr char ClientRole[] = "client";
inline constexpr char HostList[] = "hostlist:";
inline constexpr char Nickname[] = "nick:";
inline constexpr char UniqueId[] = "uniqueid:";
inline constexpr char FileShared[] = "fileshared:";
inline constexpr char Blocked[] = "blocked:";
inline constexpr char InstantMessage[] = "im:";
inline constexpr char InstantMessageTyping[] = "imtyping:";
inline constexpr char Search[] = "search:";
inline constexpr char Result[] = "result:";
inline constexpr char Chat[] = "chat:";

// The field of "blocked:" and "imtyping:".
inline constexpr char FlagOn[] = "1";
inline constexpr char FlagOff[] = "0";

// The first word of a "search:" request that is not a keyword search; its
// argument follows after one space.
inline constexpr char UserBrowse[] = "quelmuserbrowse";
inline constexpr char UserBrowsePrefix[] = "quelmuserbrowse ";
inline constexpr char SignatureSearch[] = "quelmfhsearch";
inline constexpr char SignatureSearchPrefix[] = "quelmfhsearch ";

// Transfer connections. Each message ends at its "|"; after DataMarker every
// byte is file data.
inline constexpr char FileInfoRequest[] = "getfileinfo:";
inline constexpr char FileInfo[] = "fileinfo:";
inline constexpr char FileRequest[] = "getfile:";
inline constexpr char Wait[] = "wait:";
inline constexpr char DataMarker[] = "GOFILE|";

// Full-content digests, between copies that offer them (DigestExchange).
// Other peers drop them as unknown keywords.
inline constexpr char DigestOffer[] = "quelmhashes:";
inline constexpr char DigestVersion[] = "1";
inline constexpr char DigestAsk[] = "quelmhashask:";
inline constexpr char DigestAnswer[] = "quelmhash:";
inline constexpr char DigestUnknown[] = "none";

// The length of a keyword, without its closing NUL.
template <std::size_t N>
constexpr qsizetype length(const char (&)[N])
{
    return qsizetype(N - 1);
}

} // namespace WireKeywords
