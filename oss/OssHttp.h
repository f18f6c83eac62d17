#pragma once

#include "oss/ClientConfiguration.h"
#include "oss/OssAddress.h"
#include "oss/OssError.h"
#include "oss/OssSigner.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

class Md5;

// What every request of one client shares.
struct ClientContext
{
    ClientContext(const std::string &endpoint, const std::string &accessKeyId,
                  const std::string &accessKeySecret, const ClientConfiguration &configuration)
        : accessKeyId(accessKeyId), accessKeySecret(accessKeySecret), config(configuration),
          address(endpoint, configuration.isCname)
    {
    }
    const std::string accessKeyId;
    const std::string accessKeySecret;
    const ClientConfiguration config;
    const OssAddress address;
    std::atomic<bool> disabled{false};
};

struct HttpRequest
{
    std::string method; // "GET", "PUT", "POST", "DELETE"
    std::string url;
    HeaderList headers;
    // Body: either memory, or `fileLength` bytes of `file` from `fileOffset`
    // (streamed, fed through `digest` when set), or none.
    const std::string *memoryBody = nullptr;
    std::FILE *file = nullptr;
    uint64_t fileOffset = 0;
    uint64_t fileLength = 0;
    Md5 *digest = nullptr;
    // Bytes of the body sent so far; called from the transfer loop.
    std::function<void(uint64_t)> onUploadProgress;
};

struct HttpResponse
{
    int curlCode = 0;          // 0: an answer arrived
    std::string transportError;
    bool aborted = false;      // ended (or never started) because requests are disabled
    long status = 0;
    std::map<std::string, std::string> headers; // lower-case names
    std::string body;

    bool transportOk() const { return curlCode == 0 && !aborted; }
    bool isSuccess() const { return transportOk() && status >= 200 && status < 300; }
    // Network errors and 5xx answers are worth another attempt.
    bool isRetryable() const { return !aborted && (curlCode != 0 || status >= 500); }
    std::string header(const std::string &lowerName) const;
};

// One libcurl easy handle, reused for every request of its thread so that
// the connection stays open between them.
class HttpSession final
{
public:
    explicit HttpSession(const ClientContext &context);
    ~HttpSession();
    HttpSession(const HttpSession &) = delete;
    HttpSession &operator=(const HttpSession &) = delete;

    HttpResponse perform(const HttpRequest &request);

private:
    int run(); // the CURLcode of the transfer

    const ClientContext &m_context;
    void *m_curl = nullptr;
    void *m_multi = nullptr;
};

// Error value of a failed response: the store's XML error when there is one,
// otherwise the transport error or the bare status.
OssError errorFromResponse(const HttpResponse &response);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
