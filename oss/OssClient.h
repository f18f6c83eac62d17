#pragma once

// Main include of the OSS client library: the subset of the OSS C++ SDK
// interface that the upload channel uses, on libcurl and OpenSSL.
//
// Built with ZAVIX_USE_ALIYUN_SDK, this header hands over to the installed
// SDK instead, so code that includes it must keep to that subset
// (InitializeSdk/ShutdownSdk, ClientConfiguration::isCname, OssClient,
// UploadObjectRequest and its setters, TransferProgress, the outcome's
// isSuccess/result/error with Code/Message/RequestId, DisableRequest and
// EnableRequest).

#ifdef ZAVIX_USE_ALIYUN_SDK
#include <alibabacloud/oss/OssClient.h>
#else

#include "oss/ClientConfiguration.h"
#include "oss/OssError.h"
#include "oss/UploadObjectRequest.h"

#include <memory>
#include <string>

namespace AlibabaCloud {
namespace OSS {

// Process-wide set-up and tear-down (libcurl's global state). Calls nest.
void InitializeSdk();
void ShutdownSdk();
bool IsSdkInitialized();

class PutObjectResult
{
public:
    PutObjectResult() = default;
    PutObjectResult(std::string eTag, std::string requestId, std::string callbackResponse)
        : m_eTag(std::move(eTag)), m_requestId(std::move(requestId)),
          m_callbackResponse(std::move(callbackResponse))
    {
    }
    const std::string &ETag() const { return m_eTag; }
    const std::string &RequestId() const { return m_requestId; }
    // Body of the callback server's answer when the upload had a callback.
    const std::string &CallbackResponse() const { return m_callbackResponse; }

private:
    std::string m_eTag;
    std::string m_requestId;
    std::string m_callbackResponse;
};

using PutObjectOutcome = Outcome<OssError, PutObjectResult>;

namespace detail {
struct ClientContext;
}

class OssClient final
{
public:
    OssClient(const std::string &endpoint, const std::string &accessKeyId,
              const std::string &accessKeySecret, const ClientConfiguration &configuration);
    ~OssClient();
    OssClient(const OssClient &) = delete;
    OssClient &operator=(const OssClient &) = delete;

    // Multipart upload of a local file that survives interruptions through
    // its checkpoint file. Blocks until the upload ends.
    PutObjectOutcome ResumableUploadObject(const UploadObjectRequest &request) const;

    // Thread-safe. While disabled, every running request of this client ends
    // at its next progress tick and no new request starts.
    void DisableRequest();
    void EnableRequest();
    bool isRequestDisabled() const;

private:
    std::shared_ptr<detail::ClientContext> m_context;
};

} // namespace OSS
} // namespace AlibabaCloud

#endif // ZAVIX_USE_ALIYUN_SDK
