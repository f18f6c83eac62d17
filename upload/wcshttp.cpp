#include "upload/wcshttp.h"

#include "net/closingflag.h"

#include <string>

WcsConnection::WcsConnection(const QString &uploadToken, const QString &batch,
                             const std::atomic_bool *stop)
    : m_tokenHeader("Authorization: " + uploadToken.toUtf8()),
      m_batchHeader("uploadBatch: " + batch.toUtf8()),
      m_stop(stop)
{
    ensureCurlGlobalInit();
}

WcsConnection::Answer WcsConnection::post(const QByteArray &url, const char *data, qint64 size,
                                          const char *contentType)
{
    Answer answer;
    CURL *h = m_easy.get();
    if (!h)
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
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, data);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(size));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
    // A connection on which nothing moves for a minute is given up (and the chunk sent again).
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
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
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);

    // A request that completed counts even when a stop came meanwhile.
    answer.aborted = code != CURLE_OK
                     && (sink.aborted || code == CURLE_ABORTED_BY_CALLBACK
                         || (m_stop && m_stop->load()) || isClosing());
    answer.status = code == CURLE_OK ? status : 0;
    answer.body = QByteArray::fromStdString(buffer);
    answer.error = QString::fromUtf8(errorText);
    if (answer.error.isEmpty() && code != CURLE_OK)
        answer.error = QString::fromUtf8(curl_easy_strerror(code));
    return answer;
}
