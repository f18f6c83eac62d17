#pragma once

// The OSS object store of the local service emulator: path-style addressing
// (/<bucket>/<key>), V1 signatures checked against the keys it issued,
// multipart uploads, the upload callback and the form upload of the speed
// test. Request bodies are streamed (to the data folder, or only through a
// digest in digest-only mode), so memory stays bounded whatever the size.
//
// Objects also arrive whole by PutObject (a single PUT without part
// parameters, with the callback when it names one). A request dated only
// by x-oss-date is checked and signed with that value. A Content-MD5 that
// does not match the body refuses it (400 InvalidDigest, nothing stored).
// Refused bodies are read and dropped (up to 256 MiB) before the answer,
// so a client that is still sending reads the refusal.
//
// Choices where the public store leaves room:
// - A part's ETag is the quoted upper-case hex MD5 of its bytes; an object
//   made of parts gets the quoted MD5 of the binary part digests plus
//   "-<count>", an object put whole or form-uploaded the quoted MD5 of its
//   bytes.
// - The whole-object MD5 is known only when the bytes are kept (data
//   folder mode); digest-only mode cannot combine part digests into it.
// - Parts sent but not named in the complete request are dropped.
// - ListParts answers at most 1000 parts per page.
// - Callback values are percent-encoded in a form-encoded body and
//   JSON-escaped in a JSON body; ${etag} comes without quotes. Only
//   callback hosts on 127.0.0.0/8 (or localhost) are called; any other
//   host counts as a failed callback.
// - The callback server's 200 answer body goes back to the client as the
//   complete answer; every other outcome answers 203 CallbackFailed with
//   the object kept.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace httplib {
class Server;
}

namespace devsvc {

struct OssCredentials
{
    QString accessKeyId;
    QString accessKeySecret;
    QString bucket;
};

// What the store holds under one key.
struct OssObjectInfo
{
    bool exists = false;
    qint64 size = 0;
    QByteArray md5;    // lower-case hex of the whole object; empty in digest-only mode
    QString eTag;      // as answered, quotes included
    QString filePath;  // the bytes in the data folder; empty in digest-only mode
    int partCount = 0; // 0 for a form upload
};

// One request the store answered.
struct OssRequestRecord
{
    QString method;
    QString key;        // empty for requests on the bucket itself
    QString operation;  // "initiate", "uploadPart", "putObject", "listParts", "complete",
                        // "abort", "getObject", "deleteObject", "formUpload", "unknown"
    QString uploadId;
    int partNumber = 0;
    int status = 0;     // 0: connection dropped on purpose
    QString errorCode;
    qint64 bodyBytes = 0; // body bytes read
};

// One callback the store made after a complete.
struct OssCallbackRecord
{
    QString url;
    QByteArray body;
    QByteArray contentType;
    int status = 0;        // callback server's answer; 0 when none
    QByteArray answer;     // callback server's answer body
    QByteArray answerType; // and its content type
    bool succeeded = false;
    QString failure;       // why it counted as failed
};

class OssStore final
{
public:
    // dataDir: folder for parts and objects (created when missing).
    // digestOnly: keep only sizes and digests, never the bytes.
    OssStore(const QString &dataDir, bool digestOnly, const QString &bucket = QStringLiteral("zavix-video"));
    ~OssStore();
    OssStore(const OssStore &) = delete;
    OssStore &operator=(const OssStore &) = delete;

    QString bucket() const;
    bool isDigestOnly() const;

    // --- credentials ----------------------------------------------------
    OssCredentials credentials() const;  // the store's standing key pair
    OssCredentials issueCredentials();   // a fresh pair, accepted from now on
    void revokeCredentials(const QString &accessKeyId);

    // Clock used for the Date check (ms since 1970); default: system clock.
    void setClock(std::function<qint64()> nowMs);
    // Time allowed for the callback server (default 5000 ms).
    void setCallbackTimeoutMs(int msecs);

    // --- faults for tests -----------------------------------------------
    // The next `count` part uploads are answered with `status` (body read first).
    void failNextParts(int count, int status);
    // The next `count` part uploads lose their connection after `afterBytes`
    // body bytes.
    void resetNextParts(int count, qint64 afterBytes);
    // The next `count` part uploads are stored with their first byte altered,
    // as if damaged on the way (the ETag then tells the client).
    void corruptNextParts(int count);
    // Caps the reading speed of every part body (bytes per second, 0 = none).
    void setPartReadRate(qint64 bytesPerSecond);
    void clearFaults();

    // --- inspection -----------------------------------------------------
    OssObjectInfo object(const QString &key) const;
    QStringList objectKeys() const;
    int openUploadCount() const;
    int partPutCount() const; // part upload requests received (any outcome)
    QList<OssRequestRecord> requests() const;
    QList<OssCallbackRecord> callbacks() const;
    void clearRequests();

    class Impl;
    Impl &impl();

private:
    std::unique_ptr<Impl> m_impl;
};

// Adds the store's routes to `server`; they only match paths under
// "/<bucket>", so they live beside the service's other routes.
void registerOssRoutes(httplib::Server &server, OssStore &store);

} // namespace devsvc
