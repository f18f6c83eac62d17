#pragma once

#include <cstddef>
#include <string>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

std::string base64Encode(const std::string &data);
std::string hmacSha1Base64(const std::string &key, const std::string &data);
std::string toHex(const unsigned char *data, std::size_t size, bool upper);

// Incremental MD5.
class Md5 final
{
public:
    Md5();
    ~Md5();
    Md5(const Md5 &) = delete;
    Md5 &operator=(const Md5 &) = delete;

    void reset();
    void update(const void *data, std::size_t size);
    std::string finalHex(bool upper = true);

private:
    void *m_ctx = nullptr;
};

std::string md5Hex(const std::string &data, bool upper = true);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
