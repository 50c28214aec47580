#include "share/contentdigest.h"

#include <openssl/evp.h>

void ContentDigest::ContextFree::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

ContentDigest::ContentDigest()
    : m_context(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::addData(const char *data, qint64 length)
{
    if (length > 0)
        EVP_DigestUpdate(m_context.get(), data, size_t(length));
}

QByteArray ContentDigest::result()
{
    QByteArray digest(Length, '\0');
    unsigned int written = 0;
    EVP_DigestFinal_ex(m_context.get(), reinterpret_cast<unsigned char *>(digest.data()), &written);
    EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
    return digest;
}

