#pragma once

#include "oss/OssClient.h"
#include "oss/OssHttp.h"

namespace AlibabaCloud {
namespace OSS {
namespace detail {

// Runs one resumable multipart upload: checkpoint check, initiate or
// ListParts, the part threads, complete.
class ResumableUploader final
{
public:
    ResumableUploader(const ClientContext &context, const UploadObjectRequest &request);
    ResumableUploader(const ResumableUploader &) = delete;
    ResumableUploader &operator=(const ResumableUploader &) = delete;

    PutObjectOutcome run();

private:
    const ClientContext &m_context;
    const UploadObjectRequest &m_request;
};

struct FileStamp
{
    bool ok = false;
    uint64_t size = 0;
    int64_t modified = 0; // seconds since 1970
};
FileStamp statFile(const std::string &path);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
