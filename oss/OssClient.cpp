#include "oss/OssClient.h"

#include "oss/OssHttp.h"
#include "oss/ResumableUploader.h"

#include <curl/curl.h>

#include <mutex>

namespace AlibabaCloud {
namespace OSS {

namespace {
std::mutex g_sdkMutex;
int g_sdkUsers = 0;
} // namespace

void InitializeSdk()
{
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    if (g_sdkUsers++ == 0)
        curl_global_init(CURL_GLOBAL_ALL);
}

void ShutdownSdk()
{
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    if (g_sdkUsers > 0 && --g_sdkUsers == 0)
        curl_global_cleanup();
}

bool IsSdkInitialized()
{
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    return g_sdkUsers > 0;
}

OssClient::OssClient(const std::string &endpoint, const std::string &accessKeyId,
                     const std::string &accessKeySecret, const ClientConfiguration &configuration)
    : m_context(std::make_shared<detail::ClientContext>(endpoint, accessKeyId, accessKeySecret,
                                                        configuration))
{
}

OssClient::~OssClient() = default;

PutObjectOutcome OssClient::ResumableUploadObject(const UploadObjectRequest &request) const
{
    detail::ResumableUploader uploader(*m_context, request);
    return uploader.run();
}

void OssClient::DisableRequest()
{
    m_context->disabled.store(true);
}

void OssClient::EnableRequest()
{
    m_context->disabled.store(false);
}

bool OssClient::isRequestDisabled() const
{
    return m_context->disabled.load();
}

} // namespace OSS
} // namespace AlibabaCloud
