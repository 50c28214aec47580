#ifndef QUELM_SHARE_CONTENTDIGEST_H
#define QUELM_SHARE_CONTENTDIGEST_H

#include <QByteArray>
#include <QString>

#include <memory>

struct evp_md_ctx_st;

// SHA-256 over a whole file's content, fed in pieces. libcrypto picks the
// processor's SHA extensions where there are any, so hashing runs near the
// disk's speed.
class ContentDigest final
{
public:
    static constexpr int Length = 32;

    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest &) = delete;
    ContentDigest &operator=(const ContentDigest &) = delete;

    void addData(const char *data, qint64 length);
    void addData(const QByteArray &bytes) { addData(bytes.constData(), bytes.size()); }
    // The 32-byte digest; the object starts over afterwards.
    QByteArray result();

private:
    struct ContextFree
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextFree> m_context;
};

#endif
