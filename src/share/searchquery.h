#pragma once

#include "share/keywordmatcher.h"
#include "share/sharedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A "search:" request as the serving side reads it: one of the three query
// forms, parsed once, and the test of one indexed file against it.
class SearchQuery final
{
public:
    enum class Form { Keyword, UserBrowse, FileSignature };

    // Only the first this many distinct qualifying words of a keyword query
    // count, so a request of thousands of words costs no more than a long one.
    static constexpr int MaxKeywords = 64;

    // `ownNickname` is the serving copy's stored nickname; a browse names it or not.
    SearchQuery(const QByteArray &query, const QByteArray &ownNickname);

    Form form() const { return m_form; }
    const QByteArray &text() const { return m_text; }
    // No file can match: no qualifying word, a browse of someone else, or a
    // find-by-signature query that lacks a usable size or signature.
    bool matchesNothing() const { return m_matchesNothing; }
    const QList<QByteArray> &keywords() const { return m_keywords; }

    // Keyword form: the shared name, lower-cased and cut at its last ".",
    // holds one of the keywords.
    bool matchesName(QByteArrayView sharedName) const;
    // The same for an indexed file, on the search text made when it was indexed.
    bool matchesFile(const SharedFile &file) const;
    // Find-by-signature form: the recorded size has exactly the asked size
    // text. Only then is the signature worth fetching.
    bool matchesSize(qint64 size) const { return size == m_size; }
    bool matchesSignature(const QByteArray &signature) const;

    // Lower case for UTF-8 text; plain ASCII takes a fast path.
    static QByteArray lowered(QByteArrayView text);
    // "-1" and "" are what a failed signature computation gives.
    static bool isFailedSignature(const QByteArray &signature);

private:
    void parseKeywords();
    void parseSignatureQuery();

    QByteArray m_text;
    Form m_form = Form::Keyword;
    bool m_matchesNothing = true;
    QList<QByteArray> m_keywords;
    KeywordMatcher m_matcher;
    qint64 m_size = -1;
    QByteArray m_signature;
};
