#pragma once

#include "oss/OssClient.h"
#include "oss/OssHttp.h"
#include "oss/UploadCheckpoint.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

// The signed multipart requests, each with its retries, on one session.
class OssOperations final
{
public:
    OssOperations(const ClientContext &context, HttpSession &session);
    OssOperations(const OssOperations &) = delete;
    OssOperations &operator=(const OssOperations &) = delete;

    Outcome<OssError, std::string> initiate(const std::string &bucket, const std::string &key);

    // Streams `length` bytes of `file` from `offset`. Success holds the ETag.
    // `onAttempt` is called before every attempt, `onSent` with the bytes sent.
    Outcome<OssError, std::string> uploadPart(const std::string &bucket, const std::string &key,
                                              const std::string &uploadId, uint32_t number,
                                              std::FILE *file, uint64_t offset, uint64_t length,
                                              const std::function<void()> &onAttempt,
                                              const std::function<void(uint64_t)> &onSent);

    Outcome<OssError, std::vector<CheckpointPart>> listParts(const std::string &bucket,
                                                             const std::string &key,
                                                             const std::string &uploadId);

    // Parts must be in ascending order.
    PutObjectOutcome complete(const std::string &bucket, const std::string &key,
                              const std::string &uploadId, const std::vector<CheckpointPart> &parts,
                              const std::string &callback, const std::string &callbackVar);

    Outcome<OssError, bool> abortUpload(const std::string &bucket, const std::string &key,
                                        const std::string &uploadId);

    // One signed request (no retry). `subResources` are signed and sent,
    // `query` (already encoded) is only sent.
    HttpResponse send(HttpRequest request, const std::string &bucket, const std::string &key,
                      const std::map<std::string, std::string> &subResources,
                      const std::string &query, const std::string &contentType);

    static std::string completeBody(const std::vector<CheckpointPart> &parts);

    // One page of a part list answer: the parts with a number, and where the
    // next page starts when the list is truncated.
    struct PartListPage
    {
        std::vector<CheckpointPart> parts;
        bool truncated = false;
        std::string nextMarker;
    };
    static PartListPage parsePartList(const std::string &body);

private:
    // Repeats `attempt` after network errors and 5xx answers with a growing
    // pause, until it succeeds, fails otherwise or the retries are used up.
    HttpResponse withRetry(const std::function<HttpResponse()> &attempt);
    bool pause(long milliseconds) const; // false when requests got disabled

    const ClientContext &m_context;
    HttpSession &m_session;
};

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
