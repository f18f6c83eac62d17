#include "oss/OssSigner.h"

#include "oss/OssCrypto.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

namespace {

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

} // namespace

std::string rfc1123Date(std::time_t when)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &when);
#else
    gmtime_r(&when, &tm);
#endif
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday % 7],
                  tm.tm_mday, months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buffer;
}

std::string canonicalizedOssHeaders(const HeaderList &headers)
{
    std::map<std::string, std::string> sorted;
    for (const auto &header : headers) {
        const std::string name = lower(trimmed(header.first));
        if (name.compare(0, 6, "x-oss-") == 0)
            sorted[name] = trimmed(header.second);
    }
    std::string out;
    for (const auto &entry : sorted)
        out += entry.first + ':' + entry.second + '\n';
    return out;
}

std::string canonicalizedResource(const std::string &bucket, const std::string &key,
                                  const std::map<std::string, std::string> &subResources)
{
    std::string out = "/";
    if (!bucket.empty())
        out += bucket + "/";
    out += key;
    char separator = '?';
    for (const auto &entry : subResources) { // std::map keeps them sorted by name
        out += separator;
        out += entry.first;
        if (!entry.second.empty())
            out += '=' + entry.second;
        separator = '&';
    }
    return out;
}

std::string stringToSign(const std::string &verb, const std::string &contentMd5,
                         const std::string &contentType, const std::string &date,
                         const HeaderList &headers, const std::string &resource)
{
    return verb + '\n' + contentMd5 + '\n' + contentType + '\n' + date + '\n' +
           canonicalizedOssHeaders(headers) + resource;
}

std::string authorization(const std::string &accessKeyId, const std::string &secret,
                          const std::string &toSign)
{
    return "OSS " + accessKeyId + ':' + hmacSha1Base64(secret, toSign);
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
