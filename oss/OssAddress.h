#pragma once

#include <string>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

// Where the requests of one bucket go.
//   plain endpoint:        <scheme>://<bucket>.<host>/<key>   (virtual-hosted)
//   IP or localhost host:  <scheme>://<host>/<bucket>/<key>   (path style)
//   custom domain (CNAME): <scheme>://<host>/<key>
// The scheme is the endpoint's own, "http" when it names none.
class OssAddress final
{
public:
    OssAddress(const std::string &endpoint, bool isCname);

    const std::string &scheme() const { return m_scheme; }
    const std::string &host() const { return m_host; } // host[:port]
    bool isPathStyle() const { return m_pathStyle; }

    // URL of the object, with `query` (already encoded, without "?") appended.
    std::string objectUrl(const std::string &bucket, const std::string &key,
                          const std::string &query = std::string()) const;
    // URL of the bucket itself (form uploads), ending with "/".
    std::string bucketUrl(const std::string &bucket) const;

    // True for dotted IPv4, bracketed IPv6 and "localhost".
    static bool isIpOrLocalhost(const std::string &hostWithoutPort);

private:
    std::string m_scheme;
    std::string m_host;
    bool m_pathStyle = false;
    bool m_cname = false;
};

// Percent-encodes every byte outside A-Z a-z 0-9 - _ . ~ ("/" too when
// keepSlash is false).
std::string percentEncode(const std::string &text, bool keepSlash);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
