#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <cstdint>
#include <vector>

// Finds whether any of a set of keywords occurs in a text, all keywords in
// one pass over the text (an Aho-Corasick automaton turned into a table over
// the bytes the keywords use). Texts are the lower-cased search texts of the
// index, keywords are lower-cased by the query.
class KeywordMatcher final
{
public:
    // Beyond this many table entries (states times byte classes) the
    // keywords are searched one by one instead: a hostile query of long
    // words must not cost a large table.
    static constexpr size_t MaxTableEntries = size_t(1) << 22;

    explicit KeywordMatcher(const QList<QByteArray> &keywords = {});

    // True when a keyword occurs in `prefix` followed by `text`. In `text`,
    // "/" reads as "\", as the path separators of a shared name.
    bool matches(QByteArrayView prefix, QByteArrayView text) const;

private:
    void build();
    int step(int state, unsigned char byte) const
    {
        return m_table[static_cast<size_t>(state) * m_classCount + m_classOf[byte]];
    }
    bool matchesOneByOne(QByteArrayView prefix, QByteArrayView text) const;
    bool matchesSingle(QByteArrayView prefix, QByteArrayView text) const;

    QList<QByteArray> m_keywords;
    std::array<uint16_t, 256> m_classOf{};
    size_t m_classCount = 1;
    std::vector<int32_t> m_table;
    std::vector<char> m_accepting;
    bool m_useTable = false;
    // One keyword without ":" cannot span the root number and the path, and
    // the system's substring search beats the table for it.
    bool m_single = false;
    QByteArray m_singleInText;  // the keyword with "\" as the text writes it
};
