#include "share/keywordmatcher.h"

#include <cstring>
#include <deque>

namespace {

constexpr unsigned char Slash = '/';
constexpr unsigned char Backslash = '\\';

// A trie node while the automaton is built; children by byte class.
struct Node {
    std::vector<std::pair<uint16_t, int32_t>> children;
    int32_t failure = 0;
    bool accepting = false;
};

int32_t childOf(const Node &node, uint16_t byteClass)
{
    for (const auto &[c, child] : node.children) {
        if (c == byteClass)
            return child;
    }
    return -1;
}

} // namespace

KeywordMatcher::KeywordMatcher(const QList<QByteArray> &keywords)
{
    // A shared name holds no "/": such a keyword can never match.
    for (const QByteArray &keyword : keywords) {
        if (!keyword.contains(char(Slash)))
            m_keywords.append(keyword);
    }
    build();
}

void KeywordMatcher::build()
{
    size_t keywordBytes = 0;
    for (const QByteArray &keyword : m_keywords) {
        keywordBytes += static_cast<size_t>(keyword.size());
        for (const char c : keyword) {
            auto &byteClass = m_classOf[static_cast<unsigned char>(c)];
            if (byteClass == 0)
                byteClass = static_cast<uint16_t>(m_classCount++);
        }
    }
    // The text's "/" is the shared name's "\".
    m_classOf[Slash] = m_classOf[Backslash];
    if (m_keywords.size() == 1 && !m_keywords.front().contains(':')) {
        m_single = true;
        m_singleInText = m_keywords.front();
        m_singleInText.replace(char(Backslash), char(Slash));
        return;
    }
    if (m_keywords.isEmpty() || (keywordBytes + 1) * m_classCount > MaxTableEntries)
        return;

    std::vector<Node> nodes(1);
    for (const QByteArray &keyword : m_keywords) {
        int32_t state = 0;
        for (const char c : keyword) {
            const uint16_t byteClass = m_classOf[static_cast<unsigned char>(c)];
            int32_t next = childOf(nodes[static_cast<size_t>(state)], byteClass);
            if (next < 0) {
                next = static_cast<int32_t>(nodes.size());
                nodes[static_cast<size_t>(state)].children.emplace_back(byteClass, next);
                nodes.emplace_back();
            }
            state = next;
        }
        nodes[static_cast<size_t>(state)].accepting = true;
    }

    // Breadth first, so a state's failure target is complete before the state.
    m_table.assign(nodes.size() * m_classCount, 0);
    m_accepting.assign(nodes.size(), 0);
    std::deque<int32_t> queue{0};
    while (!queue.empty()) {
        const int32_t state = queue.front();
        queue.pop_front();
        Node &node = nodes[static_cast<size_t>(state)];
        const Node &failure = nodes[static_cast<size_t>(node.failure)];
        node.accepting = node.accepting || (state != 0 && failure.accepting);
        m_accepting[static_cast<size_t>(state)] = node.accepting;
        int32_t *row = &m_table[static_cast<size_t>(state) * m_classCount];
        const int32_t *failureRow = &m_table[static_cast<size_t>(node.failure) * m_classCount];
        for (size_t c = 1; c < m_classCount; ++c)
            row[c] = state == 0 ? 0 : failureRow[c];
        for (const auto &[byteClass, child] : node.children) {
            nodes[static_cast<size_t>(child)].failure = state == 0 ? 0 : failureRow[byteClass];
            row[byteClass] = child;
            queue.push_back(child);
        }
    }
    m_useTable = true;
}

bool KeywordMatcher::matches(QByteArrayView prefix, QByteArrayView text) const
{
    if (m_keywords.isEmpty())
        return false;
    if (m_single)
        return matchesSingle(prefix, text);
    if (!m_useTable)
        return matchesOneByOne(prefix, text);
    int state = 0;
    for (const char c : prefix) {
        state = step(state, static_cast<unsigned char>(c));
        if (m_accepting[static_cast<size_t>(state)])
            return true;
    }
    for (const char c : text) {
        state = step(state, static_cast<unsigned char>(c));
        if (m_accepting[static_cast<size_t>(state)])
            return true;
    }
    return false;
}

bool KeywordMatcher::matchesSingle(QByteArrayView prefix, QByteArrayView text) const
{
    // An empty view may have no data at all, which the system search must not be given.
    const auto contains = [](QByteArrayView haystack, const QByteArray &needle) {
        return !haystack.isEmpty()
               && ::memmem(haystack.data(), static_cast<size_t>(haystack.size()), needle.constData(),
                           static_cast<size_t>(needle.size()));
    };
    return contains(text, m_singleInText) || contains(prefix, m_keywords.front());
}

bool KeywordMatcher::matchesOneByOne(QByteArrayView prefix, QByteArrayView text) const
{
    QByteArray whole = prefix.toByteArray() + text.toByteArray();
    whole.replace(Slash, Backslash);
    for (const QByteArray &keyword : m_keywords) {
        if (whole.contains(keyword))
            return true;
    }
    return false;
}
