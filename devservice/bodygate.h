#pragma once

// Reading request bodies the way the service does: streamed in small
// pieces (memory stays bounded), through the bandwidth cap and the
// "reset after K bytes" fault, with the size and digest noted for the
// request log. Every route that takes a body reads it through here.

#include <httplib.h>

#include <QByteArray>

#include <functional>
#include <string>

namespace devsvc {

class ServiceCore;

using BodySink = std::function<bool(const char *data, size_t size)>;

enum class BodyOutcome {
    Complete,    // the whole body went to the sink
    TooLarge,    // announced or actual size above the limit (413 set, body drained)
    Dropped,     // the client vanished or a reset fault fired
    SinkRefused, // the sink returned false (the rest of the body is drained)
};

struct BodyResult
{
    BodyOutcome outcome = BodyOutcome::Dropped;
    qint64 size = 0;
    bool complete() const { return outcome == BodyOutcome::Complete; }
};

// Streams the plain body into `sink`. maxBytes < 0: no limit. On TooLarge
// the answer (413, connection closed) is already in `res`.
BodyResult pumpBody(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                    const httplib::ContentReader &reader, qint64 maxBytes, const BodySink &sink);

// Whole small body into memory.
struct SmallBody
{
    bool ok = false;
    QByteArray bytes;
};
SmallBody readSmallBody(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                        const httplib::ContentReader &reader, qint64 maxBytes);

// multipart/form-data: onPart is told the header of each part, onData
// receives its bytes.
using PartHeader = std::function<bool(const httplib::MultipartFormData &part)>;
BodyResult pumpMultipart(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                         const httplib::ContentReader &reader, qint64 maxBytes,
                         const PartHeader &onPart, const BodySink &onData);

// Per-request notes for the request log (one request per thread at a time).
struct BodyNote
{
    qint64 size = 0;
    QByteArray md5;   // lower-case hex; empty when not computed
    bool streamed = false;
    bool logged = false; // the entry was already written (dropped request)
};
BodyNote &currentBodyNote();
void resetBodyNote();

// Refuses a request whose body was not read yet: reads and drops the body
// first (when it is not beyond 256 MiB), so a client that is still sending
// reads the answer, then answers like answerAndClose().
void refuseBody(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader,
                int status, const std::string &body);

// Sets an error answer and asks to close the connection (the rest of an
// unread body must not be taken for the next request).
void answerAndClose(httplib::Response &res, int status, const std::string &body,
                    const char *contentType = "application/json;charset=UTF-8");

} // namespace devsvc
