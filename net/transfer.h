#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

// libcurl transfers: one easy handle per exchange, created, configured,
// performed and cleaned up by the same function. One function per transfer
// profile; none follows redirects and only status 200 counts as success.

// Answers collected in memory larger than this fail instead of growing further.
constexpr std::size_t kMaxAnswerBytes = std::size_t(64) * 1024 * 1024;

// libcurl's verbose output is off unless ZAVIX_CURL_VERBOSE is set to a
// non-empty value other than "0" (it would print secrets of the requests).
bool curlVerboseRequested();

// Addresses and header values taken from the service's answers are data:
// only an absolute http or https URL with a host is ever requested, and a
// header value never carries a line break or another control character.
bool isHttpUrl(const QString &url);
bool isSafeHeaderValue(const QByteArray &value);

// Process-wide libcurl initialisation, done once (thread-safe); every transfer
// function calls it before its first handle.
void ensureCurlGlobalInit();

// ---- small RAII helpers ------------------------------------------------

// Owns one easy handle.
class CurlEasy final
{
public:
    CurlEasy();
    ~CurlEasy();
    CURL *get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    Q_DISABLE_COPY(CurlEasy)
    CURL *m_handle = nullptr;
};

// Owns one header list.
class CurlHeaderList final
{
public:
    CurlHeaderList() = default;
    ~CurlHeaderList();
    void append(const QByteArray &line);
    curl_slist *get() const { return m_list; }

private:
    Q_DISABLE_COPY(CurlHeaderList)
    curl_slist *m_list = nullptr;
};

// One curl_global_init / curl_global_cleanup pair for the life of the object
// (the per-run pair of the form and image posts).
class CurlGlobalScope final
{
public:
    CurlGlobalScope();
    ~CurlGlobalScope();

private:
    Q_DISABLE_COPY(CurlGlobalScope)
};

// ---- body collectors (CURLOPT_WRITEFUNCTION) ---------------------------

// What the in-memory collectors write into (their CURLOPT_WRITEDATA).
struct CurlBodySink
{
    std::string *buffer = nullptr;
    bool overflow = false; // the answer passed kMaxAnswerBytes
    bool aborted = false;  // the closing flag ended the transfer
};

// Ends the transfer (returns 0) when the closing flag is set, otherwise appends.
std::size_t abortableBodyCollector(char *data, std::size_t size, std::size_t count, void *sink);
// Appends; ignores the closing flag.
std::size_t plainBodyCollector(char *data, std::size_t size, std::size_t count, void *sink);
// Traces the reply to standard output, then appends like the plain collector.
std::size_t tracingBodyCollector(char *data, std::size_t size, std::size_t count, void *sink);
// fwrite into the FILE* user pointer; 0 when the chunk or the file is null.
std::size_t fileWriter(char *data, std::size_t size, std::size_t count, void *file);

// ---- progress (CURLOPT_XFERINFOFUNCTION) -------------------------------

// Progress data of one transfer. The callback aborts the transfer when the
// data is null, when *stop is set, or (with honourClosing) when the closing
// flag is set; it is called at least once a second even while nothing
// arrives, so a stalled transfer still ends promptly.
struct CurlProgress
{
    const std::atomic_bool *stop = nullptr;
    bool honourClosing = true;
    // (download now, download total, upload now, upload total)
    std::function<void(qint64, qint64, qint64, qint64)> report;
};
int transferProgressCallback(void *progress, curl_off_t dlTotal, curl_off_t dlNow,
                             curl_off_t ulTotal, curl_off_t ulNow);

// ---- limits ----------------------------------------------------------------

// The low-speed limit of transferLimits() on a handle: a transfer that moves
// (almost) nothing for that long ends with CURLE_OPERATION_TIMEDOUT. Every
// transfer of the program gets it, the upload channels' included.
void applyLowSpeedLimit(CURL *handle);

// Bounds of one exchange besides the low-speed limit.
struct TransferBounds
{
    long totalMs = 0;                       // a limit in all (connect included); 0: none
    const std::atomic_bool *stop = nullptr; // once set, the transfer ends within about a second
};

// ---- transfer profiles --------------------------------------------------

struct TransferResult
{
    bool ok = false;       // CURLE_OK and HTTP status 200
    bool noHandle = false; // curl_easy_init gave nothing
    int curlCode = 0;      // CURLcode of the perform
    long status = 0;       // HTTP status, 0 when none was received
    bool tooLarge = false; // the answer passed kMaxAnswerBytes
    bool aborted = false;  // ended by the closing flag or a stop flag
    QByteArray body;       // the answer (also kept on failure, never to be used as a result)
    QString error;         // libcurl's error-buffer text, UTF-8 decoded
};
using PostResult = TransferResult;

// JSON GET: connect time-out 10 s, abortable.
TransferResult jsonGet(const QByteArray &url, const TransferBounds &bounds = TransferBounds());
// Image GET: connect time-out 5 s, abortable.
TransferResult imageGet(const QByteArray &url);
// Version GET: connect time-out 5 s, versionCheckMs of transferLimits() in
// all, abortable (also through stop).
TransferResult versionGet(const QByteArray &url, const std::atomic_bool *stop = nullptr);
// Form POST: the body as CURLOPT_POSTFIELDS with libcurl's default form
// content type; tracing collector; error buffer.
TransferResult formPost(const QByteArray &url, const QByteArray &body);

// One part of a multipart form: a file part when filePath (UTF-8) is not
// empty, otherwise a plain part with contents.
struct FormPart
{
    QByteArray name;
    QByteArray contents;
    QByteArray filePath;
    QByteArray contentType;
};

// Image upload: multipart POST with the parts image (file), sign, vids, ptime,
// headers "Expect:" and "Content-Type: multipart/form-data"; abortable.
TransferResult imageUpload(const QByteArray &url, const QByteArray &imagePath,
                           const QByteArray &ptime, const QByteArray &sign,
                           const QByteArray &vids);

// Multipart POST (the speed test's policy upload): CURLOPT_HEADER 0, progress
// through the given data (may be null: then no progress is reported, but the
// closing flag is still honoured).
TransferResult multipartPost(const QByteArray &url, const QList<FormPart> &parts,
                             CurlProgress *progress);

// The synchronous form request: POST of body (GET when body is empty, DELETE
// with isDelete), headers "User-Agent: upload-basic ",
// "Content-Type:application/x-www-form-urlencoded;charset=UTF-8", then each
// extra header line; total and connect time-outs 30 s. True only for status 200.
bool syncFormRequest(const QByteArray &url, std::string &response, bool isDelete,
                     const QByteArray &body, const QList<QByteArray> &extraHeaders);

// The file download: GET into a new file at path; anything already there
// (a file or a link) fails the download and stays untouched. The partial
// file is removed on failure and on cancel.
enum class DownloadOutcome { Completed, Failed, Cancelled };
DownloadOutcome fileDownload(const QByteArray &url, const QByteArray &path,
                             const std::atomic_bool &cancel,
                             const std::function<void(qint64 received, qint64 total)> &progress);

// The channel bookkeeping POST on a handle the caller owns (and may have
// given more options): POST of body (empty when none), CURLOPT_NOSIGNAL 1,
// connect time-out 10 s, abortable collector, error buffer. The handle's
// URL, collector, body and progress options are overwritten. A set *stop
// (the owning thread's own stop flag, may be null) ends the exchange like
// the closing flag, within about a second also while the server is silent.
PostResult postOnHandle(CURL *handle, const QByteArray &url, const QByteArray &body = QByteArray(),
                        const std::atomic_bool *stop = nullptr);
// The same on a handle of its own.
PostResult channelPost(const QByteArray &url, const QByteArray &body = QByteArray(),
                       const std::atomic_bool *stop = nullptr);
// The same within bounds (a limit in all, a stop flag).
PostResult channelPost(const QByteArray &url, const QByteArray &body, const TransferBounds &bounds);
