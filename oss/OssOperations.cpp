#include "oss/OssOperations.h"

#include "oss/OssCrypto.h"
#include "oss/OssXml.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <thread>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

namespace {

std::string unquoted(const std::string &eTag)
{
    std::string out;
    for (char c : eTag)
        if (c != '"')
            out += char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string encodedSubResources(const std::map<std::string, std::string> &subResources)
{
    std::string out;
    for (const auto &entry : subResources) {
        if (!out.empty())
            out += '&';
        out += percentEncode(entry.first, false);
        if (!entry.second.empty())
            out += '=' + percentEncode(entry.second, false);
    }
    return out;
}

} // namespace

OssOperations::OssOperations(const ClientContext &context, HttpSession &session)
    : m_context(context), m_session(session)
{
}

HttpResponse OssOperations::send(HttpRequest request, const std::string &bucket,
                                 const std::string &key,
                                 const std::map<std::string, std::string> &subResources,
                                 const std::string &query, const std::string &contentType)
{
    std::string fullQuery = encodedSubResources(subResources);
    if (!query.empty())
        fullQuery += (fullQuery.empty() ? "" : "&") + query;
    request.url = m_context.address.objectUrl(bucket, key, fullQuery);

    const std::string date = rfc1123Date(std::time(nullptr));
    request.headers.emplace_back("Date", date);
    if (!contentType.empty())
        request.headers.emplace_back("Content-Type", contentType);
    const std::string toSign =
        stringToSign(request.method, std::string(), contentType, date, request.headers,
                     canonicalizedResource(bucket, key, subResources));
    request.headers.emplace_back(
        "Authorization", authorization(m_context.accessKeyId, m_context.accessKeySecret, toSign));
    return m_session.perform(request);
}

bool OssOperations::pause(long milliseconds) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (m_context.disabled.load())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !m_context.disabled.load();
}

HttpResponse OssOperations::withRetry(const std::function<HttpResponse()> &attempt)
{
    long delay = std::max(1L, m_context.config.retryDelayMs);
    for (int retry = 0;; ++retry) {
        HttpResponse response = attempt();
        if (!response.isRetryable() || retry >= m_context.config.maxErrorRetry)
            return response;
        if (!pause(delay)) {
            response.aborted = true;
            response.transportError = "requests of this client are disabled";
            return response;
        }
        delay *= 2;
    }
}

Outcome<OssError, std::string> OssOperations::initiate(const std::string &bucket,
                                                        const std::string &key)
{
    using Result = Outcome<OssError, std::string>;
    const HttpResponse response = withRetry([&] {
        HttpRequest request;
        request.method = "POST";
        return send(request, bucket, key, {{"uploads", ""}}, std::string(),
                    "application/octet-stream");
    });
    if (!response.isSuccess())
        return Result(errorFromResponse(response));
    const std::string uploadId = xmlValue(response.body, "UploadId");
    if (uploadId.empty())
        return Result(OssError(ClientErrorCode::InvalidResponse,
                               "the initiate answer carries no UploadId",
                               response.header("x-oss-request-id"), int(response.status)));
    return Result(uploadId);
}

Outcome<OssError, std::string>
OssOperations::uploadPart(const std::string &bucket, const std::string &key,
                          const std::string &uploadId, uint32_t number, std::FILE *file,
                          uint64_t offset, uint64_t length, const std::function<void()> &onAttempt,
                          const std::function<void(uint64_t)> &onSent)
{
    using Result = Outcome<OssError, std::string>;
    Md5 digest;
    const bool checkDigest = m_context.config.enablePartDigestCheck;
    std::string eTag;
    const HttpResponse response = withRetry([&] {
        if (onAttempt)
            onAttempt();
        HttpRequest request;
        request.method = "PUT";
        request.file = file;
        request.fileOffset = offset;
        request.fileLength = length;
        request.digest = checkDigest ? &digest : nullptr;
        request.onUploadProgress = onSent;
        HttpResponse answer =
            send(request, bucket, key,
                 {{"partNumber", std::to_string(number)}, {"uploadId", uploadId}}, std::string(),
                 "application/octet-stream");
        if (answer.isSuccess()) {
            eTag = answer.header("etag");
            if (eTag.empty() || (checkDigest && unquoted(eTag) != digest.finalHex(true))) {
                // The store holds other bytes than the ones sent: send again.
                answer.curlCode = -1;
                answer.transportError = "the ETag of part " + std::to_string(number) +
                                        " does not match the bytes sent";
            }
        }
        return answer;
    });
    if (response.curlCode == -1)
        return Result(OssError(ClientErrorCode::DigestMismatch, response.transportError,
                               response.header("x-oss-request-id"), int(response.status)));
    if (!response.isSuccess())
        return Result(errorFromResponse(response));
    return Result(eTag);
}

Outcome<OssError, std::vector<CheckpointPart>>
OssOperations::listParts(const std::string &bucket, const std::string &key,
                         const std::string &uploadId)
{
    using Result = Outcome<OssError, std::vector<CheckpointPart>>;
    std::vector<CheckpointPart> parts;
    std::string marker;
    for (int page = 0; page < 20; ++page) {
        std::string query = "max-parts=1000";
        if (!marker.empty())
            query += "&part-number-marker=" + percentEncode(marker, false);
        const HttpResponse response = withRetry([&] {
            HttpRequest request;
            request.method = "GET";
            return send(request, bucket, key, {{"uploadId", uploadId}}, query, std::string());
        });
        if (!response.isSuccess())
            return Result(errorFromResponse(response));
        const PartListPage listed = parsePartList(response.body);
        parts.insert(parts.end(), listed.parts.begin(), listed.parts.end());
        if (!listed.truncated || listed.nextMarker.empty() || listed.nextMarker == marker)
            return Result(parts);
        marker = listed.nextMarker;
    }
    return Result(OssError(ClientErrorCode::InvalidResponse, "the part list does not end"));
}

OssOperations::PartListPage OssOperations::parsePartList(const std::string &body)
{
    PartListPage page;
    for (const std::string &element : xmlElements(body, "Part")) {
        CheckpointPart part;
        part.number = static_cast<uint32_t>(std::strtoul(xmlValue(element, "PartNumber").c_str(), nullptr, 10));
        part.size = std::strtoull(xmlValue(element, "Size").c_str(), nullptr, 10);
        part.eTag = xmlValue(element, "ETag");
        if (part.number > 0)
            page.parts.push_back(part);
    }
    page.truncated = xmlValue(body, "IsTruncated") == "true";
    page.nextMarker = xmlValue(body, "NextPartNumberMarker");
    return page;
}

std::string OssOperations::completeBody(const std::vector<CheckpointPart> &parts)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CompleteMultipartUpload>\n";
    for (const CheckpointPart &part : parts)
        body += "<Part><PartNumber>" + std::to_string(part.number) + "</PartNumber><ETag>" +
                xmlEscape(part.eTag) + "</ETag></Part>\n";
    body += "</CompleteMultipartUpload>\n";
    return body;
}

PutObjectOutcome OssOperations::complete(const std::string &bucket, const std::string &key,
                                         const std::string &uploadId,
                                         const std::vector<CheckpointPart> &parts,
                                         const std::string &callback,
                                         const std::string &callbackVar)
{
    const std::string body = completeBody(parts);
    const HttpResponse response = withRetry([&] {
        HttpRequest request;
        request.method = "POST";
        request.memoryBody = &body;
        if (!callback.empty())
            request.headers.emplace_back("x-oss-callback", callback);
        if (!callbackVar.empty())
            request.headers.emplace_back("x-oss-callback-var", callbackVar);
        return send(request, bucket, key, {{"uploadId", uploadId}}, std::string(),
                    "application/xml");
    });
    const std::string requestId = response.header("x-oss-request-id");
    // 203 means the object is stored but the callback server refused it:
    // the service does not know the upload, so it is a failure.
    if (!response.transportOk() || response.status != 200)
        return PutObjectOutcome(errorFromResponse(response));
    if (!callback.empty())
        return PutObjectOutcome(PutObjectResult(response.header("etag"), requestId, response.body));
    std::string eTag = xmlValue(response.body, "ETag");
    if (eTag.empty())
        eTag = response.header("etag");
    return PutObjectOutcome(PutObjectResult(eTag, requestId, std::string()));
}

Outcome<OssError, bool> OssOperations::abortUpload(const std::string &bucket,
                                                   const std::string &key,
                                                   const std::string &uploadId)
{
    using Result = Outcome<OssError, bool>;
    const HttpResponse response = withRetry([&] {
        HttpRequest request;
        request.method = "DELETE";
        return send(request, bucket, key, {{"uploadId", uploadId}}, std::string(), std::string());
    });
    if (!response.isSuccess())
        return Result(errorFromResponse(response));
    return Result(true);
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
