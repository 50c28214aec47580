#include "transfer/digestexchange.h"

#include "net/controlconnections.h"
#include "net/socketelement.h"
#include "net/wirekeywords.h"
#include "share/contentdigest.h"
#include "share/hashlookup.h"
#include "share/indexsnapshot.h"

#include <algorithm>

namespace {

constexpr qsizetype HexDigestLength = 2 * ContentDigest::Length;

bool isLowerHex(const QByteArray &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

template <std::size_t N>
QByteArray restAfter(const QByteArray &message, const char (&keyword)[N])
{
    return message.mid(WireKeywords::length(keyword));
}

} // namespace

DigestExchange::DigestExchange(ControlConnections &connections, SnapshotSource snapshot, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_snapshot(std::move(snapshot))
{
    // Connected after the dispatcher's greeting, so an offer follows it.
    connect(&connections, &ControlConnections::peerIdentified, this, &DigestExchange::onPeerIdentified);
    connect(&connections, &ControlConnections::messageReceived, this, &DigestExchange::onMessage);
    connect(&connections, &ControlConnections::linkClosed, this, &DigestExchange::onLinkClosed);
}

void DigestExchange::onPeerIdentified(int index)
{
    m_links.erase(index);
    if (!m_offering)
        return;
    Link &link = m_links[index];
    link.peerId = m_connections.record(index).peerId;
    link.address = m_connections.element(index)->remoteHostIP();
    link.window.start();
    if (!m_connections.record(index).accepted)
        sendOffer(index, link);
}

void DigestExchange::onLinkClosed(int index)
{
    const auto found = m_links.find(index);
    if (found == m_links.end())
        return;
    const Link link = std::move(found->second);
    m_links.erase(found);
    for (const Asked &asked : link.asked)
        emit askDropped(link.address, asked.sharedName);
}

void DigestExchange::sendOffer(int index, Link &link)
{
    link.offered = true;
    m_connections.send(index, QByteArray(WireKeywords::DigestOffer) + WireKeywords::DigestVersion);
}

DigestExchange::Link *DigestExchange::linkAt(int index)
{
    const auto found = m_links.find(index);
    if (found == m_links.end())
        return nullptr;
    const ConnectionRecord &record = m_connections.record(index);
    if (record.peerId != found->second.peerId) {
        m_links.erase(found);
        return nullptr;
    }
    return &found->second;
}

bool DigestExchange::offeredBy(const QString &address) const
{
    const int index = m_connections.findConnection(address);
    const auto found = m_links.find(index);
    return index >= 0 && found != m_links.end() && found->second.offers
           && m_connections.record(index).peerId == found->second.peerId;
}

bool DigestExchange::ask(const QString &address, const QByteArray &sharedName)
{
    if (!offeredBy(address) || sharedName.isEmpty() || sharedName.size() > MaxSharedNameLength)
        return false;
    const int index = m_connections.findConnection(address);
    Link &link = m_links.at(index);
    dropExpired(link);
    if (static_cast<int>(link.asked.size()) >= MaxOutstandingAsks)
        return false;
    link.asked.push_back({sharedName, {}});
    link.asked.back().since.start();
    m_connections.send(index, WireKeywords::DigestAsk + sharedName);
    return true;
}

int DigestExchange::askTimeLeft(const QString &address, const QByteArray &sharedName) const
{
    if (!offeredBy(address))
        return -1;
    const Link &link = m_links.at(m_connections.findConnection(address));
    for (const Asked &asked : link.asked) {
        const qint64 left = AskExpiryMs - asked.since.elapsed();
        if (asked.sharedName == sharedName && left > 0)
            return static_cast<int>(left);
    }
    return -1;
}

void DigestExchange::dropExpired(Link &link)
{
    while (!link.asked.empty() && link.asked.front().since.hasExpired(AskExpiryMs))
        link.asked.pop_front();
}

void DigestExchange::onMessage(int index, const QByteArray &message)
{
    const bool offer = message.startsWith(WireKeywords::DigestOffer);
    const bool asking = message.startsWith(WireKeywords::DigestAsk);
    const bool answering = message.startsWith(WireKeywords::DigestAnswer);
    if (!offer && !asking && !answering)
        return;
    Link *link = linkAt(index);
    // Only a named peer's control link takes part, as with searches.
    if (!link || !m_connections.record(index).isClient)
        return;
    if (offer) {
        link->offers = restAfter(message, WireKeywords::DigestOffer) == WireKeywords::DigestVersion;
        if (link->offers && !link->offered)
            sendOffer(index, *link);
    } else if (asking) {
        answer(index, *link, restAfter(message, WireKeywords::DigestAsk));
    } else {
        takeAnswer(index, *link, restAfter(message, WireKeywords::DigestAnswer));
    }
}

void DigestExchange::answer(int index, Link &link, const QByteArray &sharedName)
{
    if (sharedName.isEmpty() || sharedName.size() > MaxSharedNameLength)
        return;
    if (link.window.hasExpired(AskWindowMs)) {
        link.window.start();
        link.asksInWindow = 0;
    }
    if (++link.asksInWindow > MaxAsksPerWindow)
        return;
    const QByteArray digest = digestOf(sharedName);
    const QByteArray field = digest.isEmpty() ? QByteArray(WireKeywords::DigestUnknown) : digest.toHex();
    m_connections.send(index, WireKeywords::DigestAnswer + field + '|' + sharedName);
}

QByteArray DigestExchange::digestOf(const QByteArray &sharedName) const
{
    if (!m_lookup)
        return {};
    const std::shared_ptr<const IndexSnapshot> snapshot = m_snapshot();
    if (!snapshot || !snapshot->findSharedFile(sharedName))
        return {};
    const std::optional<QString> path = snapshot->resolveServedPath(sharedName);
    if (!path)
        return {};
    const QByteArray digest = m_lookup->knownHash(*path);
    return digest.size() == ContentDigest::Length ? digest : QByteArray();
}

void DigestExchange::takeAnswer(int index, Link &link, const QByteArray &field)
{
    const qsizetype bar = field.indexOf('|');
    if (bar < 0)
        return;
    const QByteArray text = field.left(bar);
    const QByteArray sharedName = field.mid(bar + 1);
    const bool unknown = text == WireKeywords::DigestUnknown;
    if (!unknown && (text.size() != HexDigestLength || !isLowerHex(text)))
        return;
    // Only answers to this side's own asks are taken, each once.
    const auto asked = std::find_if(link.asked.begin(), link.asked.end(),
                                    [&sharedName](const Asked &entry) { return entry.sharedName == sharedName; });
    if (asked == link.asked.end())
        return;
    link.asked.erase(asked);
    const QString address = m_connections.element(index)->remoteHostIP();
    emit digestAnswered(address, sharedName, unknown ? QByteArray() : QByteArray::fromHex(text));
}
