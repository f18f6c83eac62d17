#include "net/transfer.h"

#include "net/closingflag.h"
#include "net/transferlimits.h"
#include "platform/platform.h"
#include "platform/utf8file.h"

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

bool isHttpUrl(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return false;
    const QString scheme = parsed.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isSafeHeaderValue(const QByteArray &value)
{
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

bool curlVerboseRequested()
{
    const QByteArray v = qgetenv("ZAVIX_CURL_VERBOSE").trimmed();
    return !v.isEmpty() && v != "0";
}

void ensureCurlGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// ---- RAII helpers ------------------------------------------------------

CurlEasy::CurlEasy()
{
    ensureCurlGlobalInit();
    m_handle = curl_easy_init();
}

CurlEasy::~CurlEasy()
{
    if (m_handle)
        curl_easy_cleanup(m_handle);
}

CurlHeaderList::~CurlHeaderList()
{
    if (m_list)
        curl_slist_free_all(m_list);
}

void CurlHeaderList::append(const QByteArray &line)
{
    if (curl_slist *grown = curl_slist_append(m_list, line.constData()))
        m_list = grown;
}

CurlGlobalScope::CurlGlobalScope()
{
    ensureCurlGlobalInit();
    curl_global_init(CURL_GLOBAL_ALL);
}

CurlGlobalScope::~CurlGlobalScope()
{
    curl_global_cleanup();
}

// ---- body collectors ---------------------------------------------------

namespace {

std::size_t appendCapped(CurlBodySink *sink, const char *data, std::size_t bytes)
{
    if (!sink || !sink->buffer)
        return 0;
    if (bytes > kMaxAnswerBytes || sink->buffer->size() > kMaxAnswerBytes - bytes) {
        sink->overflow = true;
        return 0;
    }
    sink->buffer->append(data, bytes);
    return bytes;
}

} // namespace

std::size_t abortableBodyCollector(char *data, std::size_t size, std::size_t count, void *userdata)
{
    auto *sink = static_cast<CurlBodySink *>(userdata);
    if (isClosing()) {
        if (sink)
            sink->aborted = true;
        return 0;
    }
    return appendCapped(sink, data, size * count);
}

std::size_t plainBodyCollector(char *data, std::size_t size, std::size_t count, void *userdata)
{
    return appendCapped(static_cast<CurlBodySink *>(userdata), data, size * count);
}

std::size_t tracingBodyCollector(char *data, std::size_t size, std::size_t count, void *userdata)
{
    const std::size_t bytes = size * count;
    std::fputs("----->reply\n", stdout);
    if (data && bytes)
        std::fwrite(data, 1, bytes, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return appendCapped(static_cast<CurlBodySink *>(userdata), data, bytes);
}

std::size_t fileWriter(char *data, std::size_t size, std::size_t count, void *file)
{
    if (!data || !file)
        return 0;
    return std::fwrite(data, size, count, static_cast<FILE *>(file)) * size;
}

// ---- progress ------------------------------------------------------------

int transferProgressCallback(void *progress, curl_off_t dlTotal, curl_off_t dlNow,
                             curl_off_t ulTotal, curl_off_t ulNow)
{
    auto *p = static_cast<CurlProgress *>(progress);
    if (!p)
        return -1;
    if (p->stop && p->stop->load())
        return -1;
    if (p->honourClosing && isClosing())
        return -1;
    if (p->report)
        p->report(qint64(dlNow), qint64(dlTotal), qint64(ulNow), qint64(ulTotal));
    return 0;
}

// ---- limits ----------------------------------------------------------------

void applyLowSpeedLimit(CURL *handle)
{
    const TransferLimits limits = transferLimits();
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
}

// ---- the common recipe ---------------------------------------------------

namespace {

enum class Collector { Abortable, Plain, Tracing };

curl_write_callback collectorFor(Collector c)
{
    switch (c) {
    case Collector::Plain:
        return plainBodyCollector;
    case Collector::Tracing:
        return tracingBodyCollector;
    case Collector::Abortable:
        break;
    }
    return abortableBodyCollector;
}

// Per-exchange state that lives on the calling function's stack.
struct Exchange
{
    char errorBuffer[CURL_ERROR_SIZE];
    std::string buffer;
    CurlBodySink sink;
    CurlProgress closingOnly;

    Exchange()
    {
        std::memset(errorBuffer, 0, sizeof errorBuffer);
        sink.buffer = &buffer;
    }
};

// Options every profile shares: URL, collector, buffer, error buffer, no
// redirects, plain HTTP(S) only, no signals, the low-speed limit, and
// verbose only on request.
void setCommon(CURL *h, const QByteArray &url, Exchange &ex, Collector collector)
{
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collectorFor(collector));
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &ex.sink);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, ex.errorBuffer);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    applyLowSpeedLimit(h);
    curl_easy_setopt(h, CURLOPT_VERBOSE, curlVerboseRequested() ? 1L : 0L);
}

// The total limit and the stop flag of bounds; progress is the callback
// data the transfer watches.
void applyBounds(CURL *h, const TransferBounds &bounds, CurlProgress &progress)
{
    if (bounds.totalMs > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, bounds.totalMs);
    if (bounds.stop)
        progress.stop = bounds.stop;
}

// The closing flag is checked by the progress callback too, which libcurl
// calls about once a second even while a connected server stays silent.
void watchClosing(CURL *h, CurlProgress &progress)
{
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, transferProgressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
}

TransferResult perform(CURL *h, Exchange &ex)
{
    TransferResult r;
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    r.curlCode = int(code);
    r.status = status;
    r.tooLarge = ex.sink.overflow;
    r.aborted = ex.sink.aborted || code == CURLE_ABORTED_BY_CALLBACK;
    r.ok = code == CURLE_OK && status == 200;
    r.body = QByteArray(ex.buffer.data(), int(ex.buffer.size()));
    if (!r.ok) {
        r.error = QString::fromUtf8(ex.errorBuffer);
        if (r.tooLarge)
            r.error = QStringLiteral("answer larger than %1 bytes").arg(qulonglong(kMaxAnswerBytes));
        else if (r.error.isEmpty() && code != CURLE_OK)
            r.error = QString::fromUtf8(curl_easy_strerror(code));
    }
    return r;
}

TransferResult noHandle()
{
    TransferResult r;
    r.noHandle = true;
    r.curlCode = int(CURLE_FAILED_INIT);
    return r;
}

TransferResult plainGet(const QByteArray &url, long connectTimeout,
                        const TransferBounds &bounds = TransferBounds())
{
    CurlEasy easy;
    if (!easy)
        return noHandle();
    Exchange ex;
    setCommon(easy.get(), url, ex, Collector::Abortable);
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT, connectTimeout);
    applyBounds(easy.get(), bounds, ex.closingOnly);
    watchClosing(easy.get(), ex.closingOnly);
    return perform(easy.get(), ex);
}

// A file part's body read through a file opened by its UTF-8 name (libcurl's
// own file parts open names in the narrow encoding, which on Windows cannot
// spell most Chinese names). libcurl closes the file through freeFile.
std::size_t readFilePart(char *buffer, std::size_t size, std::size_t count, void *file)
{
    const std::size_t got = std::fread(buffer, 1, size * count, static_cast<FILE *>(file));
    if (got == 0 && std::ferror(static_cast<FILE *>(file)))
        return CURL_READFUNC_ABORT;
    return got;
}

int seekFilePart(void *file, curl_off_t offset, int origin)
{
    return fseeko64(static_cast<FILE *>(file), offset, origin) == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

void freeFile(void *file)
{
    std::fclose(static_cast<FILE *>(file));
}

void setFilePart(curl_mimepart *part, const QByteArray &utf8Path)
{
    const std::string path = utf8Path.toStdString();
    const platform::Utf8FileStatus status = platform::statUtf8File(path);
    FILE *file = status.ok ? platform::openUtf8File(path, "rb") : nullptr;
    if (!file) {
        // libcurl reports the unreadable file when the request starts.
        curl_mime_filedata(part, utf8Path.constData());
        return;
    }
    curl_mime_data_cb(part, curl_off_t(status.size), readFilePart, seekFilePart, freeFile, file);
    const int slash = std::max(utf8Path.lastIndexOf('/'), utf8Path.lastIndexOf('\\'));
    curl_mime_filename(part, utf8Path.mid(slash + 1).constData());
}

// A mime form built from parts; freed with the object.
class MimeForm final
{
public:
    MimeForm(CURL *h, const QList<FormPart> &parts)
        : m_mime(curl_mime_init(h))
    {
        if (!m_mime)
            return;
        for (const FormPart &p : parts) {
            curl_mimepart *part = curl_mime_addpart(m_mime);
            if (!part)
                continue;
            curl_mime_name(part, p.name.constData());
            if (!p.filePath.isEmpty())
                setFilePart(part, p.filePath);
            else
                curl_mime_data(part, p.contents.constData(), std::size_t(p.contents.size()));
            if (!p.contentType.isEmpty())
                curl_mime_type(part, p.contentType.constData());
        }
    }
    ~MimeForm()
    {
        if (m_mime)
            curl_mime_free(m_mime);
    }
    curl_mime *get() const { return m_mime; }

private:
    Q_DISABLE_COPY(MimeForm)
    curl_mime *m_mime = nullptr;
};

} // namespace

// ---- profiles ------------------------------------------------------------

TransferResult jsonGet(const QByteArray &url, const TransferBounds &bounds)
{
    return plainGet(url, 10L, bounds);
}

TransferResult imageGet(const QByteArray &url)
{
    return plainGet(url, 5L);
}

TransferResult versionGet(const QByteArray &url, const std::atomic_bool *stop)
{
    TransferBounds bounds;
    bounds.totalMs = transferLimits().versionCheckMs;
    bounds.stop = stop;
    return plainGet(url, 5L, bounds);
}

TransferResult formPost(const QByteArray &url, const QByteArray &body)
{
    CurlEasy easy;
    if (!easy)
        return noHandle();
    Exchange ex;
    CURL *h = easy.get();
    setCommon(h, url, ex, Collector::Tracing);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
    watchClosing(h, ex.closingOnly);
    return perform(h, ex);
}

TransferResult imageUpload(const QByteArray &url, const QByteArray &imagePath,
                           const QByteArray &ptime, const QByteArray &sign,
                           const QByteArray &vids)
{
    CurlEasy easy;
    if (!easy)
        return noHandle();
    Exchange ex;
    CURL *h = easy.get();
    const QList<FormPart> parts{
        {"image", QByteArray(), imagePath, "application/octet-stream"},
        {"sign", sign, QByteArray(), QByteArray()},
        {"vids", vids, QByteArray(), QByteArray()},
        {"ptime", ptime, QByteArray(), QByteArray()},
    };
    MimeForm form(h, parts);
    CurlHeaderList headers;
    headers.append("Expect:");
    headers.append("Content-Type: multipart/form-data");
    setCommon(h, url, ex, Collector::Abortable);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_MIMEPOST, form.get());
    watchClosing(h, ex.closingOnly);
    return perform(h, ex);
}

TransferResult multipartPost(const QByteArray &url, const QList<FormPart> &parts,
                             CurlProgress *progress)
{
    CurlEasy easy;
    if (!easy)
        return noHandle();
    Exchange ex;
    CURL *h = easy.get();
    MimeForm form(h, parts);
    setCommon(h, url, ex, Collector::Abortable);
    curl_easy_setopt(h, CURLOPT_MIMEPOST, form.get());
    curl_easy_setopt(h, CURLOPT_HEADER, 0L);
    watchClosing(h, progress ? *progress : ex.closingOnly);
    return perform(h, ex);
}

bool syncFormRequest(const QByteArray &url, std::string &response, bool isDelete,
                     const QByteArray &body, const QList<QByteArray> &extraHeaders)
{
    CurlEasy easy;
    if (!easy)
        return false;
    Exchange ex;
    CURL *h = easy.get();
    CurlHeaderList headers;
    headers.append("User-Agent: upload-basic ");
    headers.append("Content-Type:application/x-www-form-urlencoded;charset=UTF-8");
    for (const QByteArray &line : extraHeaders)
        headers.append(line);
    setCommon(h, url, ex, Collector::Plain);
    ex.sink.buffer = &response;
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (!body.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, long(body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    }
    if (isDelete)
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "DELETE");
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    return code == CURLE_OK && status == 200;
}

DownloadOutcome fileDownload(const QByteArray &url, const QByteArray &path,
                             const std::atomic_bool &cancel,
                             const std::function<void(qint64, qint64)> &progress)
{
    const QString localPath = QString::fromUtf8(path);
    CurlEasy easy;
    if (!easy)
        return DownloadOutcome::Failed;
    // Only a file this call created is written (and removed on failure):
    // whatever else is at the path, a planted link included, stays as it is.
    FILE *file = platform::createNewFile(localPath);
    if (!file)
        return DownloadOutcome::Failed;

    Exchange ex;
    CURL *h = easy.get();
    CurlProgress watch;
    watch.stop = &cancel;
    if (progress)
        watch.report = [&progress](qint64 dlNow, qint64 dlTotal, qint64, qint64) {
            progress(dlNow, dlTotal);
        };
    setCommon(h, url, ex, Collector::Abortable);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, fileWriter);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, file);
    watchClosing(h, watch);
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    const bool closedOk = std::fclose(file) == 0;

    if (cancel.load()) {
        QFile::remove(localPath);
        return DownloadOutcome::Cancelled;
    }
    if (code == CURLE_OK && status == 200 && closedOk)
        return DownloadOutcome::Completed;
    QFile::remove(localPath);
    return DownloadOutcome::Failed;
}

namespace {

PostResult postWithin(CURL *handle, const QByteArray &url, const QByteArray &body,
                      const TransferBounds &bounds)
{
    if (!handle)
        return noHandle();
    Exchange ex;
    setCommon(handle, url, ex, Collector::Abortable);
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    // Always a body of its own, so libcurl never falls back to reading stdin.
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, body.constData());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
    applyBounds(handle, bounds, ex.closingOnly);
    watchClosing(handle, ex.closingOnly);
    PostResult r = perform(handle, ex);
    // Nothing of this stack frame may stay referenced by the caller's handle.
    // (A reuse that forgets to set its own collector fails with a write error.)
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 0L);
    return r;
}

} // namespace

PostResult postOnHandle(CURL *handle, const QByteArray &url, const QByteArray &body,
                        const std::atomic_bool *stop)
{
    TransferBounds bounds;
    bounds.stop = stop;
    return postWithin(handle, url, body, bounds);
}

PostResult channelPost(const QByteArray &url, const QByteArray &body, const std::atomic_bool *stop)
{
    TransferBounds bounds;
    bounds.stop = stop;
    return channelPost(url, body, bounds);
}

PostResult channelPost(const QByteArray &url, const QByteArray &body, const TransferBounds &bounds)
{
    CurlEasy easy;
    if (!easy)
        return noHandle();
    return postWithin(easy.get(), url, body, bounds);
}
