#include "oss/OssHttp.h"

#include "oss/OssCrypto.h"
#include "oss/OssXml.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

namespace {

// Answers bigger than this are cut: the store's answers are small XML texts
// (a full ListParts page is about 100 KB) and a callback answer is short.
constexpr std::size_t MaxResponseBody = 8 * 1024 * 1024;

int seekFile(std::FILE *file, uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

struct TransferState
{
    const HttpRequest *request = nullptr;
    const ClientContext *context = nullptr;
    HttpResponse *response = nullptr;
    uint64_t bodySent = 0;   // bytes handed to libcurl
    uint64_t lastReported = 0;
    bool fileError = false;
    bool positioned = false;
};

size_t readBody(char *buffer, size_t size, size_t count, void *userData)
{
    auto *state = static_cast<TransferState *>(userData);
    if (state->context->disabled.load(std::memory_order_relaxed))
        return CURL_READFUNC_ABORT;
    const HttpRequest &request = *state->request;
    const uint64_t remaining = request.fileLength - state->bodySent;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(remaining, uint64_t(size) * count));
    if (wanted == 0)
        return 0;
    if (!state->positioned) {
        if (seekFile(request.file, request.fileOffset + state->bodySent) != 0) {
            state->fileError = true;
            return CURL_READFUNC_ABORT;
        }
        state->positioned = true;
    }
    const size_t got = std::fread(buffer, 1, wanted, request.file);
    if (got != wanted) {
        // The file got shorter under us: never send a short part as if whole.
        state->fileError = true;
        return CURL_READFUNC_ABORT;
    }
    if (request.digest)
        request.digest->update(buffer, got);
    state->bodySent += got;
    return got;
}

int seekBody(void *userData, curl_off_t offset, int origin)
{
    auto *state = static_cast<TransferState *>(userData);
    // libcurl rewinds only to resend the whole body.
    if (origin != SEEK_SET || offset != 0)
        return CURL_SEEKFUNC_CANTSEEK;
    state->bodySent = 0;
    state->positioned = false;
    if (state->request->digest)
        state->request->digest->reset();
    return CURL_SEEKFUNC_OK;
}

size_t writeBody(char *data, size_t size, size_t count, void *userData)
{
    auto *state = static_cast<TransferState *>(userData);
    const size_t bytes = size * count;
    std::string &body = state->response->body;
    if (body.size() < MaxResponseBody)
        body.append(data, std::min(bytes, MaxResponseBody - body.size()));
    return bytes;
}

size_t writeHeader(char *data, size_t size, size_t count, void *userData)
{
    auto *state = static_cast<TransferState *>(userData);
    const size_t bytes = size * count;
    std::string line(data, bytes);
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new answer (e.g. after "100 Continue"): forget the earlier headers.
        state->response->headers.clear();
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return bytes;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    std::string value = line.substr(colon + 1);
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t\r\n");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    state->response->headers[name] = value;
    return bytes;
}

int onProgress(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *state = static_cast<TransferState *>(userData);
    if (state->context->disabled.load(std::memory_order_relaxed))
        return 1;
    if (state->request->onUploadProgress && state->bodySent != state->lastReported) {
        state->lastReported = state->bodySent;
        state->request->onUploadProgress(state->bodySent);
    }
    return 0;
}

} // namespace

std::string HttpResponse::header(const std::string &lowerName) const
{
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

HttpSession::HttpSession(const ClientContext &context)
    : m_context(context), m_curl(curl_easy_init()), m_multi(curl_multi_init())
{
}

HttpSession::~HttpSession()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM *>(m_multi));
}

int HttpSession::run()
{
    // The transfer runs through a multi handle so that the loop below can
    // look at the disable switch every few milliseconds, even while the
    // connection is stalled; the multi handle keeps the open connection
    // for the next request of this session.
    CURL *curl = static_cast<CURL *>(m_curl);
    CURLM *multi = static_cast<CURLM *>(m_multi);
    if (!multi)
        return curl_easy_perform(curl);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    int result = -1;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running)
            break;
        if (m_context.disabled.load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 50, nullptr);
    }
    if (result < 0) {
        int left = 0;
        result = CURLE_RECV_ERROR;
        while (CURLMsg *message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
                result = message->data.result;
    }
    curl_multi_remove_handle(multi, curl);
    return result;
}

HttpResponse HttpSession::perform(const HttpRequest &request)
{
    HttpResponse response;
    if (m_context.disabled.load()) {
        response.aborted = true;
        response.transportError = "requests of this client are disabled";
        return response;
    }
    CURL *curl = static_cast<CURL *>(m_curl);
    if (!curl) {
        response.curlCode = CURLE_FAILED_INIT;
        response.transportError = "cannot create a libcurl handle";
        return response;
    }
    // Reset keeps the open connection for the next request.
    curl_easy_reset(curl);

    TransferState state;
    state.request = &request;
    state.context = &m_context;
    state.response = &response;

    const ClientConfiguration &config = m_context.config;
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The endpoint comes from the service: only web transfers, never a
    // local file or another protocol, also not through a redirect.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, config.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, config.connectTimeoutMs);
    if (config.requestTimeoutMs > 0) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                         std::max(1L, (config.requestTimeoutMs + 999) / 1000));
    }
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, writeHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);

    if (request.file) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        if (request.method != "PUT")
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.fileLength));
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, readBody);
        curl_easy_setopt(curl, CURLOPT_READDATA, &state);
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seekBody);
        curl_easy_setopt(curl, CURLOPT_SEEKDATA, &state);
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024L);
        if (request.digest)
            request.digest->reset();
    } else if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        const std::string *body = request.memoryBody;
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body ? body->size() : 0));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body ? body->data() : "");
    } else if (request.method == "PUT") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
        const std::string *body = request.memoryBody;
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body ? body->size() : 0));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body ? body->data() : "");
    } else if (request.method == "GET") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    curl_slist *headers = nullptr;
    bool hasContentType = false;
    for (const auto &header : request.headers) {
        std::string name = header.first;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (name == "content-type")
            hasContentType = true;
        const std::string line = header.first + ": " + header.second;
        headers = curl_slist_append(headers, line.c_str());
    }
    // What libcurl would add on its own must not differ from what was signed.
    if (!hasContentType)
        headers = curl_slist_append(headers, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = static_cast<CURLcode>(run());
    curl_slist_free_all(headers);

    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        response.status = status;
        if (request.file && state.bodySent != request.fileLength && status >= 200 && status < 300) {
            response.curlCode = CURLE_SEND_ERROR;
            response.transportError = "the body was not sent completely";
        }
        return response;
    }
    response.curlCode = code;
    if (m_context.disabled.load() &&
        (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_READ_ERROR)) {
        response.aborted = true;
        response.transportError = "request ended: requests of this client are disabled";
    } else if (state.fileError) {
        response.transportError = "cannot read the part from the file";
    } else {
        response.transportError = curl_easy_strerror(code);
    }
    return response;
}

OssError errorFromResponse(const HttpResponse &response)
{
    if (response.aborted)
        return OssError(ClientErrorCode::RequestDisabled, response.transportError);
    if (response.curlCode != 0)
        return OssError(ClientErrorCode::NetworkError,
                        "curl error " + std::to_string(response.curlCode) + ": " +
                            response.transportError);
    bool hasCode = false;
    const std::string code = xmlValue(response.body, "Code", &hasCode);
    std::string requestId = xmlValue(response.body, "RequestId");
    if (requestId.empty())
        requestId = response.header("x-oss-request-id");
    if (hasCode && !code.empty())
        return OssError(code, xmlValue(response.body, "Message"), requestId,
                        int(response.status));
    return OssError(ClientErrorCode::InvalidResponse,
                    "the store answered with HTTP status " + std::to_string(response.status),
                    requestId, int(response.status));
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
