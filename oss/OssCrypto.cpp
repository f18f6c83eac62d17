#include "oss/OssCrypto.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

std::string base64Encode(const std::string &data)
{
    std::vector<unsigned char> out(4 * ((data.size() + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char *>(data.data()),
                                  static_cast<int>(data.size()));
    return std::string(reinterpret_cast<const char *>(out.data()), n > 0 ? std::size_t(n) : 0);
}

std::string hmacSha1Base64(const std::string &key, const std::string &data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char *>(data.data()), data.size(), digest, &length);
    return base64Encode(std::string(reinterpret_cast<const char *>(digest), length));
}

std::string toHex(const unsigned char *data, std::size_t size, bool upper)
{
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0f];
    }
    return out;
}

Md5::Md5() : m_ctx(EVP_MD_CTX_new())
{
    reset();
}

Md5::~Md5()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(m_ctx));
}

void Md5::reset()
{
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX *>(m_ctx), EVP_md5(), nullptr);
}

void Md5::update(const void *data, std::size_t size)
{
    if (size > 0)
        EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(m_ctx), data, size);
}

std::string Md5::finalHex(bool upper)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX *>(m_ctx), digest, &length);
    reset();
    return toHex(digest, length, upper);
}

std::string md5Hex(const std::string &data, bool upper)
{
    Md5 md5;
    md5.update(data.data(), data.size());
    return md5.finalHex(upper);
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
