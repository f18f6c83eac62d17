#pragma once

#include "oss/OssClient.h"
#include "oss/OssHttp.h"

namespace AlibabaCloud {
namespace OSS {
namespace detail {

// Runs one resumable multipart upload: checkpoint check, initiate or
// ListParts, the part threads, complete.
//
// - A checkpoint is reused only when bucket, key, file size, modification
//   time and part size match and its checksum holds; of its parts, only
//   those that ListParts shows with the same number, size and ETag count as
//   done. A checkpoint of the same bucket that no longer matches has its
//   upload aborted at the store before the new upload starts.
// - The part threads stop taking parts after the first failure; a failed or
//   stopped upload keeps its checkpoint.
// - Before complete, the file is checked again; a file that changed during
//   the upload fails with FileChanged instead of storing a mix.
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
    int64_t modified = 0; // nanoseconds since 1970 (as fine as the system keeps it)
};
FileStamp statFile(const std::string &path);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
