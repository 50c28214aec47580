#include "share/searchquery.h"

#include "net/wirekeywords.h"

#include <QString>

#include <charconv>

namespace {

constexpr int MinKeywordCharacters = 3;

// The words are what lies between single spaces; two spaces in a row give an
// empty word. Reads only as far as the caller asks.
class WordReader
{
public:
    explicit WordReader(QByteArrayView text)
        : m_text(text)
    {
    }

    bool next(QByteArrayView &word)
    {
        if (m_done)
            return false;
        const qsizetype space = m_text.indexOf(' ', m_position);
        if (space < 0) {
            word = m_text.sliced(m_position);
            m_done = true;
        } else {
            word = m_text.sliced(m_position, space - m_position);
            m_position = space + 1;
        }
        return true;
    }

private:
    QByteArrayView m_text;
    qsizetype m_position = 0;
    bool m_done = false;
};

int characterCount(QByteArrayView utf8)
{
    int count = 0;
    for (const char byte : utf8)
        count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

bool isAscii(QByteArrayView text)
{
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

SearchQuery::SearchQuery(const QByteArray &query, const QByteArray &ownNickname)
    : m_text(query)
{
    WordReader words(query);
    QByteArrayView first;
    words.next(first);
    const QByteArray firstWord = lowered(first);
    if (firstWord == WireKeywords::UserBrowse) {
        m_form = Form::UserBrowse;
        const QByteArray browsed = query.mid(WireKeywords::length(WireKeywords::UserBrowsePrefix));
        m_matchesNothing = lowered(browsed.trimmed()) != lowered(ownNickname);
    } else if (firstWord == WireKeywords::SignatureSearch) {
        m_form = Form::FileSignature;
        parseSignatureQuery();
    } else {
        parseKeywords();
    }
}

void SearchQuery::parseKeywords()
{
    WordReader words(m_text);
    QByteArrayView word;
    while (m_keywords.size() < MaxKeywords && words.next(word)) {
        if (characterCount(word) < MinKeywordCharacters)
            continue;
        const QByteArray keyword = lowered(word);
        if (keyword != "the" && !m_keywords.contains(keyword))
            m_keywords.append(keyword);
    }
    m_matchesNothing = m_keywords.isEmpty();
    m_matcher = KeywordMatcher(m_keywords);
}

void SearchQuery::parseSignatureQuery()
{
    WordReader words(m_text);
    QByteArrayView word;
    words.next(word);
    if (!words.next(word))
        return;
    // Sizes are recorded as decimal text; only that exact text can match.
    bool isNumber = false;
    const qint64 size = word.toLongLong(&isNumber);
    if (!isNumber || QByteArray::number(size) != word)
        return;
    if (!words.next(word) || isFailedSignature(word.toByteArray()))
        return;
    m_size = size;
    m_signature = word.toByteArray();
    m_matchesNothing = false;
}

bool SearchQuery::matchesName(QByteArrayView sharedName) const
{
    QByteArray tested = lowered(sharedName);
    const qsizetype dot = tested.lastIndexOf('.');
    if (dot >= 0)
        tested.truncate(dot);
    // The matcher reads paths as the index keeps them, with "/".
    return m_matcher.matches({}, tested.replace('\\', '/'));
}

bool SearchQuery::matchesFile(const SharedFile &file) const
{
    // The shared name is the root number, ":" and the path: the number and
    // ":" are tested too, as they are part of the name a peer sees.
    char prefix[16];
    char *end = std::to_chars(prefix, prefix + sizeof prefix - 1, file.root).ptr;
    *end++ = ':';
    return m_matcher.matches(QByteArrayView(prefix, end - prefix), file.searchText);
}

bool SearchQuery::matchesSignature(const QByteArray &signature) const
{
    return !isFailedSignature(signature) && signature == m_signature;
}

QByteArray SearchQuery::lowered(QByteArrayView text)
{
    if (isAscii(text))
        return text.toByteArray().toLower();
    return QString::fromUtf8(text).toLower().toUtf8();
}

bool SearchQuery::isFailedSignature(const QByteArray &signature)
{
    return signature.isEmpty() || signature == "-1";
}
