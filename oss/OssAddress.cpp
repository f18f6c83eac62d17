#include "oss/OssAddress.h"

#include <algorithm>
#include <cctype>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

std::string percentEncode(const std::string &text, bool keepSlash)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' ||
            (keepSlash && c == '/')) {
            out += char(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0x0f];
        }
    }
    return out;
}

bool OssAddress::isIpOrLocalhost(const std::string &host)
{
    if (host.empty())
        return false;
    if (host.front() == '[')
        return true;
    std::string lowered = host;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (lowered == "localhost")
        return true;
    int dots = 0;
    int digitsInGroup = 0;
    for (char c : host) {
        if (c == '.') {
            if (digitsInGroup == 0)
                return false;
            ++dots;
            digitsInGroup = 0;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && digitsInGroup < 3) {
            ++digitsInGroup;
        } else {
            return false;
        }
    }
    return dots == 3 && digitsInGroup > 0;
}

OssAddress::OssAddress(const std::string &endpoint, bool isCname) : m_cname(isCname)
{
    std::string rest = endpoint;
    const auto schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        m_scheme = rest.substr(0, schemeEnd);
        std::transform(m_scheme.begin(), m_scheme.end(), m_scheme.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        rest = rest.substr(schemeEnd + 3);
    } else {
        m_scheme = "http";
    }
    const auto pathStart = rest.find('/');
    if (pathStart != std::string::npos)
        rest.resize(pathStart);
    m_host = rest;

    std::string bareHost = m_host;
    if (!bareHost.empty() && bareHost.front() == '[') {
        const auto close = bareHost.find(']');
        bareHost = bareHost.substr(0, close == std::string::npos ? bareHost.size() : close + 1);
    } else {
        const auto colon = bareHost.rfind(':');
        if (colon != std::string::npos)
            bareHost.resize(colon);
    }
    m_pathStyle = !m_cname && isIpOrLocalhost(bareHost);
}

std::string OssAddress::objectUrl(const std::string &bucket, const std::string &key,
                                  const std::string &query) const
{
    std::string url = m_scheme + "://";
    if (m_cname)
        url += m_host + '/';
    else if (m_pathStyle)
        url += m_host + '/' + bucket + '/';
    else
        url += bucket + '.' + m_host + '/';
    url += percentEncode(key, true);
    if (!query.empty())
        url += '?' + query;
    return url;
}

std::string OssAddress::bucketUrl(const std::string &bucket) const
{
    if (m_cname)
        return m_scheme + "://" + m_host + '/';
    if (m_pathStyle)
        return m_scheme + "://" + m_host + '/' + bucket + '/';
    return m_scheme + "://" + bucket + '.' + m_host + '/';
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
