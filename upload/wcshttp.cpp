#include "upload/wcshttp.h"

#include "net/closingflag.h"
#include "upload/wcsprotocol.h"

#include <QFile>

#include <cstring>
#include <string>

namespace {

// Bytes libcurl reads from the body at a time (its upload buffer).
constexpr long kUploadBuffer = 1024 * 1024;

} // namespace

// The body of one request: bytes in memory or a range of a file.
struct WcsConnection::Body
{
    const char *data = nullptr; // memory body
    QFile *file = nullptr;      // file body, positioned at origin
    qint64 origin = 0;
    qint64 size = 0;
    qint64 sent = 0;
    bool unreadable = false;
    quint32 crc = 0;

    static size_t read(char *buffer, size_t size, size_t count, void *user)
    {
        auto *b = static_cast<Body *>(user);
        const qint64 room = qint64(size) * qint64(count);
        const qint64 want = std::min(room, b->size - b->sent);
        if (want <= 0)
            return 0;
        if (b->data) {
            std::memcpy(buffer, b->data + b->sent, size_t(want));
        } else {
            qint64 done = 0;
            while (done < want) {
                const qint64 n = b->file->read(buffer + done, want - done);
                if (n <= 0) {
                    // Removed, cut short or unreadable: the chunk cannot be sent whole.
                    b->unreadable = true;
                    return CURL_READFUNC_ABORT;
                }
                done += n;
            }
            b->crc = wcs::crc32Update(b->crc, buffer, want);
        }
        b->sent += want;
        return size_t(want);
    }

    // libcurl sends the body again from its start when a kept-alive
    // connection turns out to be closed.
    static int seek(void *user, curl_off_t offset, int origin)
    {
        auto *b = static_cast<Body *>(user);
        if (origin != SEEK_SET || offset != 0)
            return CURL_SEEKFUNC_CANTSEEK;
        if (b->file && !b->file->seek(b->origin))
            return CURL_SEEKFUNC_FAIL;
        b->sent = 0;
        b->crc = 0;
        return CURL_SEEKFUNC_OK;
    }
};

WcsConnection::WcsConnection(const QString &uploadToken, const QString &batch,
                             const std::atomic_bool *stop)
    : m_tokenHeader("Authorization: " + uploadToken.toUtf8()),
      m_batchHeader("uploadBatch: " + batch.toUtf8()),
      m_stop(stop),
      m_headersSafe(isSafeHeaderValue(uploadToken.toUtf8()) && isSafeHeaderValue(batch.toUtf8()))
{
    ensureCurlGlobalInit();
}

WcsConnection::Answer WcsConnection::post(const QByteArray &url, const char *data, qint64 size,
                                          const char *contentType)
{
    Body body;
    body.data = data;
    body.size = size;
    return perform(url, body, contentType);
}

WcsConnection::Answer WcsConnection::postFileRange(const QByteArray &url, const QString &path,
                                                   qint64 position, qint64 length,
                                                   const char *contentType)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file.seek(position)
        || file.size() < position + length) {
        Answer answer;
        answer.unreadable = true;
        return answer;
    }
    Body body;
    body.file = &file;
    body.origin = position;
    body.size = length;
    Answer answer = perform(url, body, contentType);
    // The checksum stands for the chunk only when all of it went out.
    answer.sentCrc = body.sent == length ? body.crc : 0;
    return answer;
}

WcsConnection::Answer WcsConnection::perform(const QByteArray &url, Body &body, const char *contentType)
{
    Answer answer;
    CURL *h = m_easy.get();
    // The host was checked before the transfer began; the scheme is checked
    // again here, and libcurl would refuse any other protocol as well.
    const QByteArray scheme = url.left(8).toLower();
    if (!h || !m_headersSafe || !(scheme.startsWith("http://") || scheme.startsWith("https://")))
        return answer;

    CurlHeaderList headers;
    headers.append(m_tokenHeader);
    headers.append(m_batchHeader);
    headers.append(QByteArray("Content-Type: ") + contentType);
    // The chunk goes out at once; waiting for "100 Continue" only costs a round trip.
    headers.append("Expect:");

    std::string buffer;
    CurlBodySink sink;
    sink.buffer = &buffer;
    CurlProgress progress;
    progress.stop = m_stop;
    progress.honourClosing = true;
    char errorText[CURL_ERROR_SIZE] = {0};

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &Body::read);
    curl_easy_setopt(h, CURLOPT_READDATA, &body);
    curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &Body::seek);
    curl_easy_setopt(h, CURLOPT_SEEKDATA, &body);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size));
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
    // A connection on which nothing moves is given up (and the chunk sent again).
    applyLowSpeedLimit(h);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, abortableBodyCollector);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, transferProgressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_VERBOSE, curlVerboseRequested() ? 1L : 0L);

    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);

    // Nothing of this frame stays referenced by the handle.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_SEEKDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);

    answer.unreadable = body.unreadable;
    // A request that completed counts even when a stop came meanwhile.
    answer.aborted = code != CURLE_OK && !body.unreadable
                     && (sink.aborted || code == CURLE_ABORTED_BY_CALLBACK
                         || (m_stop && m_stop->load()) || isClosing());
    answer.status = code == CURLE_OK ? status : 0;
    answer.body = QByteArray::fromStdString(buffer);
    answer.error = QString::fromUtf8(errorText);
    if (answer.error.isEmpty() && code != CURLE_OK)
        answer.error = QString::fromUtf8(curl_easy_strerror(code));
    return answer;
}
