#include "oss/UploadObjectRequest.h"

#include <utility>

namespace AlibabaCloud {
namespace OSS {

UploadObjectRequest::UploadObjectRequest(std::string bucket, std::string key,
                                         std::string filePath, std::string checkpointDir)
    : m_bucket(std::move(bucket)), m_key(std::move(key)), m_filePath(std::move(filePath)),
      m_checkpointDir(std::move(checkpointDir))
{
}

void UploadObjectRequest::setCallback(const std::string &callback, const std::string &callbackVar)
{
    m_callback = callback;
    m_callbackVar = callbackVar;
}

std::string UploadObjectRequest::checkpointFilePath() const
{
    if (m_checkpointDir.empty())
        return std::string();
    const std::size_t slash = m_filePath.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? m_filePath : m_filePath.substr(slash + 1);
    std::string dir = m_checkpointDir;
    if (dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return dir + name + ".ucp";
}

} // namespace OSS
} // namespace AlibabaCloud
