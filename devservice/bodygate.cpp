#include "devservice/bodygate.h"

#include "devservice/servicecore.h"

#include <openssl/evp.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <memory>

namespace devsvc {

namespace {

thread_local BodyNote t_note;

class Md5Stream final
{
public:
    explicit Md5Stream(bool enabled)
    {
        if (enabled) {
            m_ctx.reset(EVP_MD_CTX_new());
            if (m_ctx && EVP_DigestInit_ex(m_ctx.get(), EVP_md5(), nullptr) != 1)
                m_ctx.reset();
        }
    }
    void add(const char *data, size_t size)
    {
        if (m_ctx)
            EVP_DigestUpdate(m_ctx.get(), data, size);
    }
    void drop() { m_ctx.reset(); }
    QByteArray hex()
    {
        if (!m_ctx)
            return QByteArray();
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_DigestFinal_ex(m_ctx.get(), md, &len);
        m_ctx.reset();
        return QByteArray(reinterpret_cast<const char *>(md), int(len)).toHex();
    }

private:
    struct Free
    {
        void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> m_ctx;
};

qint64 announcedLength(const httplib::Request &req)
{
    if (!req.has_header("Content-Length"))
        return -1;
    try {
        return std::stoll(req.get_header_value("Content-Length"));
    } catch (...) {
        return -1;
    }
}

void noteDropped(ServiceCore &core, const httplib::Request &req, qint64 size)
{
    RequestLogEntry e;
    e.receivedMs = core.nowMs();
    e.method = QString::fromStdString(req.method);
    e.path = QString::fromStdString(req.path);
    const auto q = req.target.find('?');
    if (q != std::string::npos)
        e.query = QString::fromStdString(req.target.substr(q + 1));
    for (const auto &h : req.headers)
        e.headers.append(qMakePair(QByteArray::fromStdString(h.first), QByteArray::fromStdString(h.second)));
    e.bodySize = size;
    e.status = 0;
    core.log().append(e);
    t_note.logged = true;
}

// Cuts the request's connection at once: the socket is found by its two
// ports, set to reset on close and shut down, so no answer goes out and the
// client sees the connection break.
void dropConnection(const httplib::Request &req)
{
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    const int maxFd = int(std::min<rlim_t>(lim.rlim_cur, 65536));
    for (int fd = 3; fd < maxFd; ++fd) {
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t len = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len) != 0 || local.sin_family != AF_INET
            || ntohs(local.sin_port) != req.local_port)
            continue;
        len = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0 || ntohs(peer.sin_port) != req.remote_port)
            continue;
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        shutdown(fd, SHUT_RDWR);
        return;
    }
}

constexpr qint64 kLogDigestMax = 256 * 1024; // keep in step with the log in servicecore.cpp

// A refused body is read and dropped up to this size before the answer
// goes out: a client that is still sending reads the answer instead of
// losing it to a reset connection. Larger bodies are not read at all.
constexpr qint64 kDrainMax = 256LL * 1024 * 1024;

bool carriesBody(const httplib::Request &req, qint64 announced)
{
    return announced >= 0 || req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
}

// Reads the rest of a body and drops it; the bytes go into `total`.
void drainRest(const httplib::Request &req, const httplib::ContentReader &reader, qint64 announced, qint64 &total)
{
    if (!carriesBody(req, announced) || announced > kDrainMax)
        return;
    reader([&total](const char *, size_t size) {
        total += qint64(size);
        return total <= kDrainMax;
    });
}

const char *tooLargeBody = R"({"code":413,"status":"error","message":"request body is too large."})";

} // namespace

void refuseBody(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader,
                int status, const std::string &body)
{
    qint64 total = 0;
    drainRest(req, reader, announcedLength(req), total);
    t_note.streamed = true;
    t_note.size = total;
    t_note.md5.clear();
    answerAndClose(res, status, body);
}

BodyNote &currentBodyNote()
{
    return t_note;
}

void resetBodyNote()
{
    t_note = BodyNote();
}

void answerAndClose(httplib::Response &res, int status, const std::string &body, const char *contentType)
{
    res.status = status;
    res.set_header("Connection", "close");
    res.set_content(body, contentType);
}

// Records the size of a body read and, when the read stopped on a reset
// fault, an oversized body or a refusing sink, gives the answer and outcome
// for it. Returns true when `r` is final.
static bool settleStoppedBody(ServiceCore &core, const httplib::Request &req, httplib::Response &res, BodyResult &r,
                              qint64 total, bool reset, bool tooLarge, bool refused)
{
    r.size = total;
    t_note.size = total;
    if (reset) {
        noteDropped(core, req, total);
        dropConnection(req);
        answerAndClose(res, 500, std::string());
        r.outcome = BodyOutcome::Dropped;
        return true;
    }
    if (tooLarge) {
        answerAndClose(res, 413, tooLargeBody);
        r.outcome = BodyOutcome::TooLarge;
        return true;
    }
    if (refused) {
        res.set_header("Connection", "close");
        r.outcome = BodyOutcome::SinkRefused;
        return true;
    }
    return false;
}

BodyResult pumpBody(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                    const httplib::ContentReader &reader, qint64 maxBytes, const BodySink &sink)
{
    BodyResult r;
    const QString method = QString::fromStdString(req.method);
    const QString path = QString::fromStdString(req.path);
    const qint64 announced = announcedLength(req);
    t_note.streamed = true;
    if (maxBytes >= 0 && announced > maxBytes) {
        qint64 drained = 0;
        drainRest(req, reader, announced, drained);
        t_note.size = drained;
        answerAndClose(res, 413, tooLargeBody);
        r.outcome = BodyOutcome::TooLarge;
        return r;
    }
    if (!carriesBody(req, announced)) {
        // No length and no chunks: the request has no body.
        t_note.md5.clear();
        r.outcome = BodyOutcome::Complete;
        return r;
    }
    const std::optional<qint64> resetAt = core.faults().takeResetAfter(method, path);
    // Bulk bodies are logged by size only; hashing them would cost more
    // than receiving them.
    Md5Stream md5(core.logDigests() && announced <= kLogDigestMax);
    bool tooLarge = false;
    bool refused = false;
    bool reset = false;
    qint64 total = 0;
    qint64 dropped = 0; // read after the body was refused
    const bool read = reader([&](const char *data, size_t size) {
        if (tooLarge || refused) {
            dropped += qint64(size);
            return total + dropped <= kDrainMax;
        }
        core.faults().throttle(size);
        if (resetAt && total + qint64(size) >= *resetAt) {
            const size_t part = size_t(*resetAt - total);
            if (part > 0 && sink(data, part))
                total += qint64(part);
            reset = true;
            return false;
        }
        if (maxBytes >= 0 && total + qint64(size) > maxBytes) {
            tooLarge = true;
            dropped += qint64(size);
            return true;
        }
        md5.add(data, size);
        total += qint64(size);
        if (total > kLogDigestMax)
            md5.drop();
        if (!sink(data, size))
            refused = true;
        return true;
    });
    if (settleStoppedBody(core, req, res, r, total, reset, tooLarge, refused))
        return r;
    if (!read || (announced >= 0 && total != announced)) {
        noteDropped(core, req, total);
        answerAndClose(res, 400, R"({"code":400,"status":"error","message":"incomplete request body."})");
        r.outcome = BodyOutcome::Dropped;
        return r;
    }
    t_note.md5 = md5.hex();
    r.outcome = BodyOutcome::Complete;
    return r;
}

SmallBody readSmallBody(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                        const httplib::ContentReader &reader, qint64 maxBytes)
{
    SmallBody b;
    const qint64 announced = announcedLength(req);
    if (announced > 0 && (maxBytes < 0 || announced <= maxBytes))
        b.bytes.reserve(int(std::min<qint64>(announced, 64 * 1024 * 1024)));
    const BodyResult r = pumpBody(core, req, res, reader, maxBytes, [&](const char *data, size_t size) {
        b.bytes.append(data, int(size));
        return true;
    });
    b.ok = r.complete();
    return b;
}

BodyResult pumpMultipart(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                         const httplib::ContentReader &reader, qint64 maxBytes,
                         const PartHeader &onPart, const BodySink &onData)
{
    BodyResult r;
    const QString method = QString::fromStdString(req.method);
    const QString path = QString::fromStdString(req.path);
    const qint64 announced = announcedLength(req);
    t_note.streamed = true;
    if (maxBytes >= 0 && announced > maxBytes) {
        qint64 drained = 0;
        drainRest(req, reader, announced, drained);
        t_note.size = drained;
        answerAndClose(res, 413, tooLargeBody);
        r.outcome = BodyOutcome::TooLarge;
        return r;
    }
    if (!req.is_multipart_form_data()) {
        qint64 drained = 0;
        drainRest(req, reader, announced, drained);
        t_note.size = drained;
        answerAndClose(res, 400, R"({"code":400,"status":"error","message":"multipart/form-data expected."})");
        r.outcome = BodyOutcome::SinkRefused;
        return r;
    }
    const std::optional<qint64> resetAt = core.faults().takeResetAfter(method, path);
    bool tooLarge = false;
    bool refused = false;
    bool reset = false;
    qint64 total = 0;
    qint64 dropped = 0; // read after the body was refused
    const bool read = reader(
        [&](const httplib::MultipartFormData &part) {
            if (!tooLarge && !refused && !onPart(part))
                refused = true;
            return true;
        },
        [&](const char *data, size_t size) {
            if (tooLarge || refused) {
                dropped += qint64(size);
                return total + dropped <= kDrainMax;
            }
            core.faults().throttle(size);
            if (resetAt && total + qint64(size) >= *resetAt) {
                reset = true;
                return false;
            }
            if (maxBytes >= 0 && total + qint64(size) > maxBytes) {
                tooLarge = true;
                dropped += qint64(size);
                return true;
            }
            total += qint64(size);
            if (!onData(data, size))
                refused = true;
            return true;
        });
    if (settleStoppedBody(core, req, res, r, total, reset, tooLarge, refused))
        return r;
    if (!read) {
        noteDropped(core, req, total);
        answerAndClose(res, 400, R"({"code":400,"status":"error","message":"malformed multipart body."})");
        r.outcome = BodyOutcome::Dropped;
        return r;
    }
    r.outcome = BodyOutcome::Complete;
    return r;
}

} // namespace devsvc
