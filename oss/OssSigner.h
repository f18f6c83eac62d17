#pragma once

#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// RFC 1123 date in GMT, e.g. "Sun, 06 Nov 1994 08:49:37 GMT" (locale-free).
std::string rfc1123Date(std::time_t when);

// "x-oss-" headers: lower-case names, sorted, "name:value\n" each, values trimmed.
std::string canonicalizedOssHeaders(const HeaderList &headers);

// "/<bucket>/<key>" plus the signed sub-resources ("uploads", "partNumber",
// "uploadId", ...) sorted by name; an empty value is written without "=".
std::string canonicalizedResource(const std::string &bucket, const std::string &key,
                                  const std::map<std::string, std::string> &subResources);

std::string stringToSign(const std::string &verb, const std::string &contentMd5,
                         const std::string &contentType, const std::string &date,
                         const HeaderList &headers, const std::string &resource);

// "OSS <accessKeyId>:<Base64(HMAC-SHA1(secret, stringToSign))>"
std::string authorization(const std::string &accessKeyId, const std::string &secret,
                          const std::string &stringToSign);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
