#include "devservice/oss/ossstore.h"

#include "devservice/oss/osswire.h"

// The system's cpp-httplib is a compiled library built with TLS support;
// its Request and Client layouts depend on that switch, so every unit that
// includes the header must see it too.
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <atomic>
#include <chrono>
#include <thread>

namespace devsvc {

namespace {

constexpr qint64 MinPartSize = 100 * 1024;
constexpr int MaxPartNumber = 10000;
constexpr int MaxCompleteBody = 4 * 1024 * 1024;
constexpr int MaxFormField = 64 * 1024;
constexpr qint64 AllowedSkewMs = 15 * 60 * 1000;
constexpr qint64 DrainMax = 256LL * 1024 * 1024;
const char *const HostId = "oss.devservice.local";

QString randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(raw.toHex().toUpper());
}

QString normalizedETag(QString eTag)
{
    return eTag.remove(QLatin1Char('"')).trimmed().toUpper();
}

osswire::HeaderPairs headerPairs(const httplib::Request &req)
{
    osswire::HeaderPairs out;
    for (const auto &h : req.headers)
        out.append({QByteArray::fromStdString(h.first), QByteArray::fromStdString(h.second)});
    return out;
}

QMap<QString, QString> queryMap(const httplib::Request &req)
{
    QMap<QString, QString> out;
    for (const auto &p : req.params)
        out.insert(QString::fromStdString(p.first), QString::fromStdString(p.second));
    return out;
}

qint64 announcedLength(const httplib::Request &req)
{
    if (!req.has_header("Content-Length"))
        return -1;
    bool ok = false;
    const qint64 n = QByteArray::fromStdString(req.get_header_value("Content-Length")).trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

// A request without Content-Length and without chunks has no body.
bool carriesBody(const httplib::Request &req)
{
    return req.has_header("Content-Length") ||
           req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
}

// Reads and drops the body of a refused request, so that a client that is
// still sending gets to read the answer. A body announced beyond DrainMax
// is not read; the connection then closes after the answer (its unread
// rest must not be taken for the next request).
void drain(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader,
           qint64 *bytes = nullptr)
{
    if (!carriesBody(req))
        return;
    bool whole = false;
    if (announcedLength(req) <= DrainMax) {
        qint64 total = 0;
        whole = reader([&total](const char *, size_t length) {
            total += qint64(length);
            return total <= DrainMax;
        });
        if (bytes)
            *bytes += total;
    }
    if (!whole)
        res.set_header("Connection", "close");
}

// Content-MD5 of a request: the 16 digest bytes, empty when the header is
// absent; `valid` is false for a header that is not Base64 of 16 bytes.
struct ContentMd5
{
    bool present = false;
    bool valid = false;
    QByteArray digest;
};

ContentMd5 contentMd5Of(const httplib::Request &req)
{
    ContentMd5 out;
    if (!req.has_header("Content-MD5"))
        return out;
    out.present = true;
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(req.get_header_value("Content-MD5")).trimmed(),
        QByteArray::AbortOnBase64DecodingErrors);
    out.valid = bool(decoded) && decoded.decoded.size() == 16;
    if (out.valid)
        out.digest = decoded.decoded;
    return out;
}

// Paces a body read to the current rate in bytes per second (0 = no cap;
// a rate lifted meanwhile releases the read at once).
class Pacer
{
public:
    explicit Pacer(const std::atomic<qint64> &rate)
        : m_rate(rate), m_start(std::chrono::steady_clock::now())
    {
    }
    void consumed(qint64 total)
    {
        const qint64 rate = m_rate.load();
        if (rate <= 0)
            return;
        const auto due = m_start + std::chrono::microseconds(total * 1000000 / rate);
        const auto now = std::chrono::steady_clock::now();
        if (due > now)
            std::this_thread::sleep_for(due - now);
    }

private:
    const std::atomic<qint64> &m_rate;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace

class OssStore::Impl
{
public:
    struct Part
    {
        qint64 size = 0;
        QByteArray md5;  // binary
        QString path;    // empty in digest-only mode
        QDateTime stored;
    };
    struct Upload
    {
        QString key;
        QString dir;
        QMap<int, Part> parts;
    };
    struct Object
    {
        qint64 size = 0;
        QByteArray md5Hex; // lower case, empty when not known
        QString eTag;
        QString path;
        int partCount = 0;
    };

    // One answered request; logged when it goes out of scope.
    struct Exchange
    {
        Impl &impl;
        const httplib::Request &req;
        httplib::Response &res;
        OssRequestRecord record;
        QString requestId = randomHex(12);

        Exchange(Impl &owner, const httplib::Request &request, httplib::Response &response,
                 const QString &key)
            : impl(owner), req(request), res(response)
        {
            record.method = QString::fromStdString(request.method);
            record.key = key;
            record.uploadId = QString::fromStdString(request.get_param_value("uploadId"));
            record.partNumber = QString::fromStdString(request.get_param_value("partNumber")).toInt();
            res.set_header("x-oss-request-id", requestId.toStdString());
            res.set_header("Server", "devservice-oss");
        }
        ~Exchange()
        {
            if (record.status == 0 && res.status > 0 && !dropped)
                record.status = res.status;
            QMutexLocker lock(&impl.m_mutex);
            impl.m_requests.append(record);
        }
        void fail(int status, const QString &code, const QString &message,
                  const QList<QPair<QString, QString>> &extra = {})
        {
            res.status = status;
            res.set_content(osswire::errorXml(code, message, requestId, QString::fromLatin1(HostId), extra)
                                .toStdString(),
                            "application/xml");
            record.errorCode = code;
        }
        void ok(int status, const QByteArray &xml)
        {
            res.status = status;
            if (!xml.isEmpty())
                res.set_content(xml.toStdString(), "application/xml");
        }
        // Ends the connection in the middle of the exchange.
        void dropConnection()
        {
            dropped = true;
            res.status = 200;
            res.set_content_provider(
                1024, "application/octet-stream",
                [](size_t, size_t, httplib::DataSink &) { return false; });
        }
        bool dropped = false;
    };

    Impl(const QString &dataDir, bool digestOnly, const QString &bucket)
        : m_dataDir(dataDir), m_digestOnly(digestOnly), m_bucket(bucket)
    {
        m_standing = makeCredentials();
        m_keys.insert(m_standing.accessKeyId, m_standing.accessKeySecret);
        if (!m_digestOnly) {
            QDir().mkpath(uploadsDir());
            QDir().mkpath(objectsDir());
        }
    }

    OssCredentials makeCredentials() const
    {
        OssCredentials c;
        c.accessKeyId = QStringLiteral("LTAI") + randomHex(8);
        c.accessKeySecret = QString::fromLatin1(
            QByteArray::fromHex(randomHex(21).toLatin1()).toBase64(QByteArray::Base64UrlEncoding |
                                                                    QByteArray::OmitTrailingEquals));
        c.bucket = m_bucket;
        return c;
    }

    QString uploadsDir() const { return m_dataDir + QStringLiteral("/oss/uploads"); }
    QString objectsDir() const { return m_dataDir + QStringLiteral("/oss/objects"); }
    QString objectPath(const QString &key) const
    {
        return objectsDir() + QLatin1Char('/') +
               QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
    }

    // --- signature ------------------------------------------------------
    bool authenticate(Exchange &ex, const QString &key)
    {
        const httplib::Request &req = ex.req;
        const QByteArray authorization = QByteArray::fromStdString(req.get_header_value("Authorization"));
        if (!authorization.startsWith("OSS ") || !authorization.contains(':')) {
            ex.fail(403, QStringLiteral("AccessDenied"),
                    QStringLiteral("Authorization header is missing or not of the form \"OSS id:signature\"."));
            return false;
        }
        const QByteArray credentials = authorization.mid(4).trimmed();
        const int colon = credentials.lastIndexOf(':');
        const QString accessKeyId = QString::fromLatin1(credentials.left(colon));
        const QByteArray given = credentials.mid(colon + 1);

        // x-oss-date stands in for a missing Date (and is then what the
        // signature covers).
        const std::string dateText =
            req.has_header("Date") ? req.get_header_value("Date") : req.get_header_value("x-oss-date");
        const QDateTime date = osswire::parseHttpDate(QByteArray::fromStdString(dateText));
        if (!date.isValid()) {
            ex.fail(403, QStringLiteral("AccessDenied"), QStringLiteral("Invalid date string."));
            return false;
        }
        const qint64 now = m_now ? m_now() : QDateTime::currentMSecsSinceEpoch();
        if (qAbs(now - date.toMSecsSinceEpoch()) > AllowedSkewMs) {
            ex.fail(403, QStringLiteral("RequestTimeTooSkewed"),
                    QStringLiteral("The difference between the request time and the current time is too large."));
            return false;
        }
        QString secret;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_keys.contains(accessKeyId)) {
                lock.unlock();
                ex.fail(403, QStringLiteral("InvalidAccessKeyId"),
                        QStringLiteral("The OSS Access Key Id you provided does not exist in our records."));
                return false;
            }
            secret = m_keys.value(accessKeyId);
        }
        const QByteArray toSign = osswire::stringToSign(QByteArray::fromStdString(req.method),
                                                        headerPairs(req), m_bucket, key, queryMap(req));
        const QByteArray expected = osswire::signature(secret.toUtf8(), toSign);
        // Compare without an early exit.
        bool same = expected.size() == given.size();
        unsigned char diff = 0;
        for (int i = 0; same && i < expected.size(); ++i)
            diff |= static_cast<unsigned char>(expected[i] ^ given[i]);
        if (!same || diff != 0) {
            ex.fail(403, QStringLiteral("SignatureDoesNotMatch"),
                    QStringLiteral("The request signature we calculated does not match the signature you provided."),
                    {{QStringLiteral("StringToSign"), QString::fromUtf8(toSign)},
                     {QStringLiteral("OSSAccessKeyId"), accessKeyId}});
            return false;
        }
        return true;
    }

    // What arrived of a body streamed to a file (or only through the digest).
    struct Received
    {
        bool complete = false;    // the whole body arrived and was stored
        bool cut = false;         // the reset fault ended it
        bool writeFailed = false;
        qint64 size = 0;
        QByteArray md5;           // binary, of the bytes stored
    };

    // Streams the body into `file` (when open) through the part pacing and
    // the faults: `resetAfter` >= 0 cuts it there, `corrupt` alters the
    // first byte before it is digested and stored. A failed write keeps
    // reading (and dropping) the rest, so the answer can be read.
    Received receive(const httplib::Request &req, const httplib::ContentReader &reader, QFile &file,
                     qint64 resetAfter, bool corrupt)
    {
        Received r;
        if (!carriesBody(req)) {
            r.complete = true;
            r.md5 = QCryptographicHash::hash(QByteArray(), QCryptographicHash::Md5);
            return r;
        }
        QCryptographicHash md5(QCryptographicHash::Md5);
        Pacer pacer(m_partRate);
        qint64 read = 0;
        const bool whole = reader([&](const char *data, size_t length) {
            if (resetAfter >= 0 && read + qint64(length) >= resetAfter) {
                r.cut = true;
                return false;
            }
            read += qint64(length);
            if (r.writeFailed)
                return read <= DrainMax;
            QByteArray altered;
            if (corrupt && r.size == 0 && length > 0) {
                altered = QByteArray(data, int(length));
                altered[0] = char(altered[0] ^ 0x5a);
                data = altered.constData();
            }
            r.size += qint64(length);
            md5.addData(data, int(length));
            if (file.isOpen() && file.write(data, qint64(length)) != qint64(length))
                r.writeFailed = true;
            pacer.consumed(r.size);
            return true;
        });
        r.size = read;
        r.complete = whole && !r.cut && !r.writeFailed;
        r.md5 = md5.result();
        return r;
    }

    // Answers a body that did not arrive whole; true when it did arrive.
    bool settleReceived(Exchange &ex, const Received &r, const char *what)
    {
        ex.record.bodyBytes = r.size;
        if (r.complete)
            return true;
        if (r.cut) {
            ex.dropConnection();
        } else if (r.writeFailed) {
            ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the %1.").arg(QLatin1String(what)));
            ex.res.set_header("Connection", "close");
        } else {
            ex.fail(400, QStringLiteral("IncompleteBody"), QStringLiteral("The request body is shorter than announced."));
            ex.res.set_header("Connection", "close");
        }
        return false;
    }

    // Refuses a body whose Content-MD5 is malformed or names other bytes.
    bool digestMatches(Exchange &ex, const ContentMd5 &given, const QByteArray &md5)
    {
        if (!given.present)
            return true;
        if (!given.valid) {
            ex.fail(400, QStringLiteral("InvalidDigest"), QStringLiteral("The Content-MD5 you specified is not valid."));
            return false;
        }
        if (given.digest != md5) {
            ex.fail(400, QStringLiteral("InvalidDigest"),
                    QStringLiteral("The Content-MD5 you specified did not match what we received."));
            return false;
        }
        return true;
    }

    // --- routes ---------------------------------------------------------
    void handlePut(const httplib::Request &req, httplib::Response &res,
                   const httplib::ContentReader &reader, const QString &key)
    {
        const bool isPart = req.has_param("uploadId") || req.has_param("partNumber");
        if (!isPart) {
            putObject(req, res, reader, key);
            return;
        }
        Exchange ex(*this, req, res, key);
        ex.record.operation = QStringLiteral("uploadPart");
        {
            QMutexLocker lock(&m_mutex);
            ++m_partPuts;
        }
        if (!authenticate(ex, key)) {
            drain(req, res, reader, &ex.record.bodyBytes);
            return;
        }
        if (!req.has_param("uploadId") || !req.has_param("partNumber")) {
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(400, QStringLiteral("InvalidArgument"),
                    QStringLiteral("A part upload needs both partNumber and uploadId."));
            return;
        }
        bool numberOk = false;
        const int number = QString::fromStdString(req.get_param_value("partNumber")).toInt(&numberOk);
        const QString uploadId = ex.record.uploadId;
        if (!numberOk || number < 1 || number > MaxPartNumber) {
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(400, QStringLiteral("InvalidArgument"),
                    QStringLiteral("Part number must be an integer between 1 and 10000, inclusive."));
            return;
        }
        QString uploadDir;
        int failStatus = 0;
        qint64 resetAfter = -1;
        bool corrupt = false;
        {
            QMutexLocker lock(&m_mutex);
            const auto it = m_uploads.constFind(uploadId);
            if (it == m_uploads.constEnd() || it->key != key) {
                lock.unlock();
                drain(req, res, reader, &ex.record.bodyBytes);
                ex.fail(404, QStringLiteral("NoSuchUpload"),
                        QStringLiteral("The specified upload does not exist. The upload ID may be invalid, "
                                       "or the upload may have been aborted or completed."));
                return;
            }
            uploadDir = it->dir;
            if (m_resetCount > 0) {
                --m_resetCount;
                resetAfter = m_resetAfter;
            } else if (m_failCount > 0) {
                --m_failCount;
                failStatus = m_failStatus;
            } else if (m_corruptCount > 0) {
                --m_corruptCount;
                corrupt = true;
            }
        }
        if (failStatus) {
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(failStatus, failStatus >= 500 ? QStringLiteral("InternalError") : QStringLiteral("AccessDenied"),
                    QStringLiteral("Fault injected by the test."));
            return;
        }

        QFile file;
        const QString finalPath = uploadDir + QStringLiteral("/%1.part").arg(number);
        if (!m_digestOnly) {
            file.setFileName(finalPath + QLatin1Char('.') + ex.requestId);
            if (!file.open(QIODevice::WriteOnly)) {
                drain(req, res, reader, &ex.record.bodyBytes);
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the part."));
                return;
            }
        }
        const Received got = receive(req, reader, file, resetAfter, corrupt);
        if (file.isOpen())
            file.close();
        auto discard = [&] {
            if (!m_digestOnly)
                QFile::remove(file.fileName());
        };
        if (!settleReceived(ex, got, "part") || !digestMatches(ex, contentMd5Of(req), got.md5)) {
            discard();
            return;
        }

        Part part;
        part.size = got.size;
        part.md5 = got.md5;
        part.stored = QDateTime::currentDateTimeUtc();
        {
            QMutexLocker lock(&m_mutex);
            auto it = m_uploads.find(uploadId);
            if (it == m_uploads.end()) {
                lock.unlock();
                discard();
                ex.fail(404, QStringLiteral("NoSuchUpload"),
                        QStringLiteral("The upload was aborted or completed meanwhile."));
                return;
            }
            if (!m_digestOnly) {
                QFile::remove(finalPath);
                if (!QFile::rename(file.fileName(), finalPath)) {
                    lock.unlock();
                    discard();
                    ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the part."));
                    return;
                }
                part.path = finalPath;
            }
            it->parts.insert(number, part);
        }
        res.set_header("ETag", ('"' + part.md5.toHex().toUpper() + '"').toStdString());
        res.set_header("Content-MD5", part.md5.toBase64().toStdString());
        ex.ok(200, QByteArray());
    }

    // PutObject: the whole object in one request, with the upload callback
    // when it names one.
    void putObject(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader,
                   const QString &key)
    {
        Exchange ex(*this, req, res, key);
        ex.record.operation = QStringLiteral("putObject");
        if (!authenticate(ex, key)) {
            drain(req, res, reader, &ex.record.bodyBytes);
            return;
        }
        CallbackConfig callback;
        QString problem;
        if (!parseCallback(req, callback, problem)) {
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(400, QStringLiteral("InvalidArgument"), problem);
            return;
        }
        QFile file;
        if (!m_digestOnly) {
            file.setFileName(objectPath(key) + QLatin1Char('.') + ex.requestId);
            if (!file.open(QIODevice::WriteOnly)) {
                drain(req, res, reader, &ex.record.bodyBytes);
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the object."));
                return;
            }
        }
        const Received got = receive(req, reader, file, -1, false);
        if (file.isOpen())
            file.close();
        auto discard = [&] {
            if (!m_digestOnly)
                QFile::remove(file.fileName());
        };
        if (!settleReceived(ex, got, "object") || !digestMatches(ex, contentMd5Of(req), got.md5)) {
            discard();
            return;
        }
        Object object;
        object.size = got.size;
        object.md5Hex = got.md5.toHex();
        object.eTag = QLatin1Char('"') + QString::fromLatin1(got.md5.toHex().toUpper()) + QLatin1Char('"');
        if (!m_digestOnly) {
            const QString target = objectPath(key);
            QFile::remove(target);
            if (!QFile::rename(file.fileName(), target)) {
                discard();
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the object."));
                return;
            }
            object.path = target;
        }
        {
            QMutexLocker lock(&m_mutex);
            m_objects.insert(key, object);
        }
        res.set_header("ETag", object.eTag.toStdString());
        res.set_header("Content-MD5", got.md5.toBase64().toStdString());
        if (callback.present)
            answerCallback(ex, callback, key, object);
        else
            ex.ok(200, QByteArray());
    }

    void handlePost(const httplib::Request &req, httplib::Response &res,
                    const httplib::ContentReader &reader, const QString &key)
    {
        if (req.has_param("uploads"))
            initiate(req, res, reader, key);
        else if (req.has_param("uploadId"))
            complete(req, res, reader, key);
        else {
            Exchange ex(*this, req, res, key);
            ex.record.operation = QStringLiteral("unknown");
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(400, QStringLiteral("InvalidRequest"), QStringLiteral("Unsupported POST on an object."));
        }
    }

    void initiate(const httplib::Request &req, httplib::Response &res,
                  const httplib::ContentReader &reader, const QString &key)
    {
        Exchange ex(*this, req, res, key);
        ex.record.operation = QStringLiteral("initiate");
        drain(req, res, reader, &ex.record.bodyBytes);
        if (!authenticate(ex, key))
            return;
        Upload upload;
        upload.key = key;
        const QString uploadId = randomHex(16);
        if (!m_digestOnly) {
            upload.dir = uploadsDir() + QLatin1Char('/') + uploadId;
            if (!QDir().mkpath(upload.dir)) {
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot create the upload."));
                return;
            }
        }
        {
            QMutexLocker lock(&m_mutex);
            m_uploads.insert(uploadId, upload);
        }
        ex.record.uploadId = uploadId;
        ex.ok(200, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InitiateMultipartUploadResult>\n"
                   "  <Bucket>" + osswire::xmlEscape(m_bucket) + "</Bucket>\n"
                   "  <Key>" + osswire::xmlEscape(key) + "</Key>\n"
                   "  <UploadId>" + uploadId.toUtf8() + "</UploadId>\n"
                   "</InitiateMultipartUploadResult>\n");
    }

    struct ListedPart
    {
        int number = 0;
        QString eTag;
    };

    static bool parseCompleteBody(const QByteArray &body, QList<ListedPart> &parts)
    {
        QXmlStreamReader xml(body);
        bool inRoot = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("CompleteMultipartUpload")) {
                inRoot = true;
            } else if (xml.name() == QLatin1String("Part") && inRoot) {
                ListedPart part;
                bool haveNumber = false;
                while (xml.readNextStartElement()) {
                    if (xml.name() == QLatin1String("PartNumber"))
                        part.number = xml.readElementText().trimmed().toInt(&haveNumber);
                    else if (xml.name() == QLatin1String("ETag"))
                        part.eTag = xml.readElementText();
                    else
                        xml.skipCurrentElement();
                }
                if (!haveNumber)
                    return false;
                parts.append(part);
            }
        }
        return inRoot && !xml.hasError();
    }

    struct CallbackConfig
    {
        bool present = false;
        QString url;
        QString body;
        QString bodyType;
        QMap<QString, QString> vars;
    };

    static bool parseCallback(const httplib::Request &req, CallbackConfig &out, QString &problem)
    {
        const QByteArray header = QByteArray::fromStdString(req.get_header_value("x-oss-callback"));
        if (header.isEmpty())
            return true;
        out.present = true;
        const auto decoded = QByteArray::fromBase64Encoding(header, QByteArray::AbortOnBase64DecodingErrors);
        const QJsonDocument doc = QJsonDocument::fromJson(decoded.decoded);
        if (!decoded || !doc.isObject()) {
            problem = QStringLiteral("The callback configuration is not json format.");
            return false;
        }
        const QJsonObject o = doc.object();
        out.url = o.value(QStringLiteral("callbackUrl")).toString().section(QLatin1Char(';'), 0, 0).trimmed();
        out.body = o.value(QStringLiteral("callbackBody")).toString();
        out.bodyType = o.value(QStringLiteral("callbackBodyType")).toString();
        if (out.bodyType.isEmpty())
            out.bodyType = QStringLiteral("application/x-www-form-urlencoded");
        if (out.url.isEmpty() || out.body.isEmpty()) {
            problem = QStringLiteral("The callback configuration needs callbackUrl and callbackBody.");
            return false;
        }
        const QByteArray varHeader = QByteArray::fromStdString(req.get_header_value("x-oss-callback-var"));
        if (!varHeader.isEmpty()) {
            const auto vars = QByteArray::fromBase64Encoding(varHeader, QByteArray::AbortOnBase64DecodingErrors);
            const QJsonDocument varDoc = QJsonDocument::fromJson(vars.decoded);
            if (!vars || !varDoc.isObject()) {
                problem = QStringLiteral("The callback var is not json format.");
                return false;
            }
            const QJsonObject v = varDoc.object();
            for (auto it = v.begin(); it != v.end(); ++it)
                if (it.key().startsWith(QLatin1String("x:")))
                    out.vars.insert(it.key(), it.value().toVariant().toString());
        }
        return true;
    }

    void complete(const httplib::Request &req, httplib::Response &res,
                  const httplib::ContentReader &reader, const QString &key)
    {
        Exchange ex(*this, req, res, key);
        ex.record.operation = QStringLiteral("complete");
        QByteArray body;
        bool tooLarge = false;
        if (carriesBody(req)) {
            const bool whole = reader([&](const char *data, size_t length) {
                ex.record.bodyBytes += qint64(length);
                if (body.size() + qint64(length) > MaxCompleteBody)
                    tooLarge = true;
                else
                    body.append(data, int(length));
                return ex.record.bodyBytes <= DrainMax;
            });
            if (!whole)
                res.set_header("Connection", "close");
        }
        if (!authenticate(ex, key))
            return;
        if (tooLarge) {
            ex.fail(400, QStringLiteral("InvalidArgument"), QStringLiteral("The part list is too long."));
            return;
        }
        if (!digestMatches(ex, contentMd5Of(req), QCryptographicHash::hash(body, QCryptographicHash::Md5)))
            return;
        CallbackConfig callback;
        QString problem;
        if (!parseCallback(req, callback, problem)) {
            ex.fail(400, QStringLiteral("InvalidArgument"), problem);
            return;
        }
        QList<ListedPart> listed;
        if (!parseCompleteBody(body, listed) || listed.isEmpty()) {
            ex.fail(400, QStringLiteral("MalformedXML"),
                    QStringLiteral("The XML you provided was not well-formed or did not validate."));
            return;
        }
        const QString uploadId = ex.record.uploadId;
        Upload upload;
        {
            QMutexLocker lock(&m_mutex);
            const auto it = m_uploads.constFind(uploadId);
            if (it == m_uploads.constEnd() || it->key != key) {
                lock.unlock();
                ex.fail(404, QStringLiteral("NoSuchUpload"), QStringLiteral("The specified upload does not exist."));
                return;
            }
            int previous = 0;
            for (int i = 0; i < listed.size(); ++i) {
                const ListedPart &p = listed.at(i);
                if (p.number <= previous) {
                    lock.unlock();
                    ex.fail(400, QStringLiteral("InvalidPartOrder"),
                            QStringLiteral("The list of parts was not in ascending order."));
                    return;
                }
                previous = p.number;
                const auto part = it->parts.constFind(p.number);
                if (part == it->parts.constEnd() ||
                    normalizedETag(p.eTag) != QString::fromLatin1(part->md5.toHex().toUpper())) {
                    lock.unlock();
                    ex.fail(400, QStringLiteral("InvalidPart"),
                            QStringLiteral("One or more of the specified parts could not be found or the "
                                           "specified entity tag might not have matched the part's entity tag."),
                            {{QStringLiteral("PartNumber"), QString::number(p.number)}});
                    return;
                }
                if (i + 1 < listed.size() && part->size < MinPartSize) {
                    lock.unlock();
                    ex.fail(400, QStringLiteral("EntityTooSmall"),
                            QStringLiteral("Your proposed upload is smaller than the minimum allowed size."),
                            {{QStringLiteral("PartNumber"), QString::number(p.number)}});
                    return;
                }
            }
            upload = m_uploads.take(uploadId); // nobody else may touch it now
        }

        Object object;
        QList<QByteArray> digests;
        for (const ListedPart &p : listed) {
            const Part &part = upload.parts[p.number];
            object.size += part.size;
            digests.append(part.md5);
        }
        object.partCount = listed.size();
        object.eTag = QLatin1Char('"') + osswire::multipartETag(digests) + QLatin1Char('"');
        if (!m_digestOnly) {
            const QString target = objectPath(key);
            QFile out(target + QLatin1Char('.') + ex.requestId);
            QCryptographicHash md5(QCryptographicHash::Md5);
            bool ok = out.open(QIODevice::WriteOnly);
            QByteArray buffer;
            for (int i = 0; ok && i < listed.size(); ++i) {
                QFile in(upload.parts[listed.at(i).number].path);
                ok = in.open(QIODevice::ReadOnly);
                while (ok && !in.atEnd()) {
                    buffer = in.read(1024 * 1024);
                    ok = !buffer.isEmpty() || in.atEnd();
                    md5.addData(buffer);
                    ok = ok && out.write(buffer) == buffer.size();
                }
            }
            out.close();
            if (ok) {
                QFile::remove(target);
                ok = QFile::rename(out.fileName(), target);
            }
            if (!ok) {
                QFile::remove(out.fileName());
                QMutexLocker lock(&m_mutex);
                m_uploads.insert(uploadId, upload);
                lock.unlock();
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot assemble the object."));
                return;
            }
            object.path = target;
            object.md5Hex = md5.result().toHex();
            QDir(upload.dir).removeRecursively();
        }
        {
            QMutexLocker lock(&m_mutex);
            m_objects.insert(key, object);
        }
        res.set_header("ETag", object.eTag.toStdString());

        if (!callback.present) {
            ex.ok(200, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CompleteMultipartUploadResult>\n"
                       "  <Location>/" + osswire::xmlEscape(m_bucket) + '/' + osswire::xmlEscape(key) + "</Location>\n"
                       "  <Bucket>" + osswire::xmlEscape(m_bucket) + "</Bucket>\n"
                       "  <Key>" + osswire::xmlEscape(key) + "</Key>\n"
                       "  <ETag>" + osswire::xmlEscape(object.eTag) + "</ETag>\n"
                       "</CompleteMultipartUploadResult>\n");
            return;
        }
        answerCallback(ex, callback, key, object);
    }

    // Calls the callback server for a stored object and answers with its
    // answer (200), or 203 CallbackFailed with the object kept.
    void answerCallback(Exchange &ex, const CallbackConfig &callback, const QString &key, const Object &object)
    {
        QMap<QString, QString> values = callback.vars;
        values.insert(QStringLiteral("bucket"), m_bucket);
        values.insert(QStringLiteral("object"), key);
        values.insert(QStringLiteral("size"), QString::number(object.size));
        values.insert(QStringLiteral("etag"), normalizedETag(object.eTag));
        values.insert(QStringLiteral("mimeType"), osswire::mimeTypeForKey(key));
        OssCallbackRecord call = runCallback(callback, values);
        {
            QMutexLocker lock(&m_mutex);
            m_callbacks.append(call);
        }
        if (!call.succeeded) {
            ex.fail(203, QStringLiteral("CallbackFailed"), call.failure);
            return;
        }
        ex.res.status = 200;
        ex.res.set_content(call.answer.toStdString(), call.answerType.toStdString());
    }

    OssCallbackRecord runCallback(const CallbackConfig &callback, const QMap<QString, QString> &values)
    {
        OssCallbackRecord call;
        call.url = callback.url;
        call.contentType = callback.bodyType.toUtf8();
        call.body = osswire::expandCallbackBody(callback.body, callback.bodyType, values);
        const QUrl url(callback.url);
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
            call.failure = QStringLiteral("The callbackUrl is not a valid http URL.");
            return call;
        }
        if (!osswire::isLoopbackHost(url.host())) {
            call.failure = QStringLiteral("The callback host is not reachable from this store.");
            return call;
        }
        int timeoutMs = 5000;
        {
            QMutexLocker lock(&m_mutex);
            timeoutMs = m_callbackTimeoutMs;
        }
        httplib::Client client(url.host().toStdString(), url.port(80));
        const time_t sec = timeoutMs / 1000;
        const time_t usec = (timeoutMs % 1000) * 1000;
        client.set_connection_timeout(sec, usec);
        client.set_read_timeout(sec, usec);
        client.set_write_timeout(sec, usec);
        client.set_keep_alive(false);
        QString target = url.path(QUrl::FullyEncoded);
        if (target.isEmpty())
            target = QStringLiteral("/");
        if (url.hasQuery())
            target += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
        const auto answer = client.Post(target.toStdString(), call.body.toStdString(),
                                        call.contentType.toStdString());
        if (!answer) {
            call.failure = QStringLiteral("The callback server did not answer: %1.")
                               .arg(QString::fromStdString(httplib::to_string(answer.error())));
            return call;
        }
        call.status = answer->status;
        if (answer->status != 200) {
            call.failure = QStringLiteral("Error status : %1.").arg(answer->status);
            return call;
        }
        call.succeeded = true;
        const std::string type = answer->get_header_value("Content-Type");
        call.answerType = type.empty() ? QByteArray("application/json") : QByteArray::fromStdString(type);
        call.answer = QByteArray::fromStdString(answer->body);
        return call;
    }

    void handleGet(const httplib::Request &req, httplib::Response &res, const QString &key)
    {
        Exchange ex(*this, req, res, key);
        if (req.has_param("uploadId"))
            listParts(ex, key);
        else
            getObject(ex, key);
    }

    void listParts(Exchange &ex, const QString &key)
    {
        ex.record.operation = QStringLiteral("listParts");
        if (!authenticate(ex, key))
            return;
        const httplib::Request &req = ex.req;
        int maxParts = 1000;
        if (req.has_param("max-parts"))
            maxParts = qBound(1, QString::fromStdString(req.get_param_value("max-parts")).toInt(), 1000);
        const int marker = QString::fromStdString(req.get_param_value("part-number-marker")).toInt();
        QMutexLocker lock(&m_mutex);
        const auto it = m_uploads.constFind(ex.record.uploadId);
        if (it == m_uploads.constEnd() || it->key != key) {
            lock.unlock();
            ex.fail(404, QStringLiteral("NoSuchUpload"), QStringLiteral("The specified upload does not exist."));
            return;
        }
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ListPartsResult>\n"
                         "  <Bucket>" + osswire::xmlEscape(m_bucket) + "</Bucket>\n"
                         "  <Key>" + osswire::xmlEscape(key) + "</Key>\n"
                         "  <UploadId>" + ex.record.uploadId.toUtf8() + "</UploadId>\n"
                         "  <PartNumberMarker>" + QByteArray::number(marker) + "</PartNumberMarker>\n"
                         "  <MaxParts>" + QByteArray::number(maxParts) + "</MaxParts>\n";
        QByteArray parts;
        int listedCount = 0;
        int last = marker;
        bool truncated = false;
        for (auto p = it->parts.lowerBound(marker + 1); p != it->parts.constEnd(); ++p) {
            if (listedCount == maxParts) {
                truncated = true;
                break;
            }
            parts += "  <Part>\n    <PartNumber>" + QByteArray::number(p.key()) + "</PartNumber>\n"
                     "    <LastModified>" + p->stored.toString(Qt::ISODateWithMs).toUtf8() + "</LastModified>\n"
                     "    <ETag>\"" + p->md5.toHex().toUpper() + "\"</ETag>\n"
                     "    <Size>" + QByteArray::number(p->size) + "</Size>\n  </Part>\n";
            last = p.key();
            ++listedCount;
        }
        lock.unlock();
        xml += "  <NextPartNumberMarker>" + QByteArray::number(last) + "</NextPartNumberMarker>\n"
               "  <IsTruncated>" + QByteArray(truncated ? "true" : "false") + "</IsTruncated>\n" + parts +
               "</ListPartsResult>\n";
        ex.ok(200, xml);
    }

    void getObject(Exchange &ex, const QString &key)
    {
        ex.record.operation = QStringLiteral("getObject");
        if (!authenticate(ex, key))
            return;
        Object object;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_objects.contains(key)) {
                lock.unlock();
                ex.fail(404, QStringLiteral("NoSuchKey"), QStringLiteral("The specified key does not exist."));
                return;
            }
            object = m_objects.value(key);
        }
        if (object.path.isEmpty()) {
            ex.fail(501, QStringLiteral("NotImplemented"),
                    QStringLiteral("This store keeps only the digest of its objects."));
            return;
        }
        auto file = std::make_shared<QFile>(object.path);
        if (!file->open(QIODevice::ReadOnly)) {
            ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot read the object."));
            return;
        }
        ex.res.status = 200;
        ex.res.set_header("ETag", object.eTag.toStdString());
        ex.res.set_content_provider(
            size_t(object.size), osswire::mimeTypeForKey(key).toStdString(),
            [file](size_t offset, size_t length, httplib::DataSink &sink) {
                if (!file->seek(qint64(offset)))
                    return false;
                const QByteArray chunk = file->read(qint64(qMin<size_t>(length, 256 * 1024)));
                return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
            });
    }

    void handleDelete(const httplib::Request &req, httplib::Response &res, const QString &key)
    {
        Exchange ex(*this, req, res, key);
        ex.record.operation = req.has_param("uploadId") ? QStringLiteral("abort") : QStringLiteral("deleteObject");
        if (!authenticate(ex, key))
            return;
        if (req.has_param("uploadId")) {
            Upload upload;
            {
                QMutexLocker lock(&m_mutex);
                const auto it = m_uploads.constFind(ex.record.uploadId);
                if (it == m_uploads.constEnd() || it->key != key) {
                    lock.unlock();
                    ex.fail(404, QStringLiteral("NoSuchUpload"),
                            QStringLiteral("The specified upload does not exist."));
                    return;
                }
                upload = m_uploads.take(ex.record.uploadId);
            }
            if (!upload.dir.isEmpty())
                QDir(upload.dir).removeRecursively();
        } else {
            QMutexLocker lock(&m_mutex);
            const Object object = m_objects.take(key);
            lock.unlock();
            if (!object.path.isEmpty())
                QFile::remove(object.path);
        }
        ex.ok(204, QByteArray());
    }

    void handleFormUpload(const httplib::Request &req, httplib::Response &res,
                          const httplib::ContentReader &reader)
    {
        Exchange ex(*this, req, res, QString());
        ex.record.operation = QStringLiteral("formUpload");
        if (!req.is_multipart_form_data()) {
            drain(req, res, reader, &ex.record.bodyBytes);
            ex.fail(400, QStringLiteral("InvalidArgument"), QStringLiteral("A form upload needs multipart/form-data."));
            return;
        }
        QMap<QString, QByteArray> fields;
        QString current;
        bool haveFile = false;
        bool fieldTooLong = false;
        bool writeFailed = false;
        qint64 fileSize = 0;
        QCryptographicHash md5(QCryptographicHash::Md5);
        QFile temp;
        if (!m_digestOnly)
            temp.setFileName(objectsDir() + QStringLiteral("/form.") + ex.requestId);
        // The form body is paced like a part body (the speed test measures it).
        Pacer pacer(m_partRate);
        reader(
            [&](const httplib::MultipartFormData &item) {
                current = QString::fromStdString(item.name);
                if (current == QLatin1String("file")) {
                    haveFile = true;
                    if (!m_digestOnly && !temp.isOpen() && !temp.open(QIODevice::WriteOnly))
                        writeFailed = true;
                }
                return true;
            },
            [&](const char *data, size_t length) {
                ex.record.bodyBytes += qint64(length);
                pacer.consumed(ex.record.bodyBytes);
                if (current == QLatin1String("file")) {
                    fileSize += qint64(length);
                    md5.addData(data, int(length));
                    if (temp.isOpen() && temp.write(data, qint64(length)) != qint64(length))
                        writeFailed = true;
                } else {
                    QByteArray &value = fields[current];
                    if (value.size() + qint64(length) > MaxFormField)
                        fieldTooLong = true;
                    else
                        value.append(data, int(length));
                }
                return true;
            });
        if (temp.isOpen())
            temp.close();
        auto discard = [&] {
            if (!temp.fileName().isEmpty())
                QFile::remove(temp.fileName());
        };
        const QString key = QString::fromUtf8(fields.value(QStringLiteral("key")));
        ex.record.key = key;
        const QString accessKeyId = QString::fromUtf8(fields.value(QStringLiteral("OSSAccessKeyId")));
        const QByteArray policy = fields.value(QStringLiteral("policy"));
        const QByteArray given = fields.value(QStringLiteral("Signature"));
        if (fieldTooLong || key.isEmpty() || !haveFile || policy.isEmpty() || given.isEmpty() ||
            accessKeyId.isEmpty()) {
            discard();
            ex.fail(400, QStringLiteral("InvalidArgument"),
                    QStringLiteral("A form upload needs key, policy, OSSAccessKeyId, Signature and file."));
            return;
        }
        QString secret;
        {
            QMutexLocker lock(&m_mutex);
            secret = m_keys.value(accessKeyId);
        }
        if (secret.isEmpty()) {
            discard();
            ex.fail(403, QStringLiteral("InvalidAccessKeyId"),
                    QStringLiteral("The OSS Access Key Id you provided does not exist in our records."));
            return;
        }
        if (osswire::signature(secret.toUtf8(), policy) != given) {
            discard();
            ex.fail(403, QStringLiteral("SignatureDoesNotMatch"),
                    QStringLiteral("The request signature we calculated does not match the signature you provided."));
            return;
        }
        const QJsonDocument policyDoc = QJsonDocument::fromJson(QByteArray::fromBase64(policy));
        const QDateTime expiration = QDateTime::fromString(
            policyDoc.object().value(QStringLiteral("expiration")).toString(), Qt::ISODateWithMs);
        const qint64 now = m_now ? m_now() : QDateTime::currentMSecsSinceEpoch();
        if (!policyDoc.isObject() || !expiration.isValid() || expiration.toMSecsSinceEpoch() < now) {
            discard();
            ex.fail(403, QStringLiteral("AccessDenied"), QStringLiteral("Invalid according to Policy: Policy expired."));
            return;
        }
        if (writeFailed) {
            discard();
            ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the object."));
            return;
        }
        Object object;
        object.size = fileSize;
        const QByteArray digest = md5.result();
        object.md5Hex = digest.toHex();
        object.eTag = QLatin1Char('"') + QString::fromLatin1(digest.toHex().toUpper()) + QLatin1Char('"');
        if (!m_digestOnly) {
            const QString target = objectPath(key);
            QFile::remove(target);
            if (!QFile::rename(temp.fileName(), target)) {
                discard();
                ex.fail(500, QStringLiteral("InternalError"), QStringLiteral("Cannot store the object."));
                return;
            }
            object.path = target;
        }
        {
            QMutexLocker lock(&m_mutex);
            m_objects.insert(key, object);
        }
        res.set_header("ETag", object.eTag.toStdString());
        const QByteArray wanted = fields.value(QStringLiteral("success_action_status"));
        ex.ok(wanted == "200" ? 200 : wanted == "201" ? 201 : 204, QByteArray());
    }

    QString m_dataDir;
    bool m_digestOnly = false;
    QString m_bucket;
    mutable QMutex m_mutex;
    OssCredentials m_standing;
    QMap<QString, QString> m_keys;
    std::function<qint64()> m_now;
    int m_callbackTimeoutMs = 5000;
    QMap<QString, Upload> m_uploads;
    QMap<QString, Object> m_objects;
    int m_failCount = 0;
    int m_failStatus = 500;
    int m_resetCount = 0;
    int m_corruptCount = 0;
    qint64 m_resetAfter = 0;
    std::atomic<qint64> m_partRate{0};
    int m_partPuts = 0;
    QList<OssRequestRecord> m_requests;
    QList<OssCallbackRecord> m_callbacks;
};

OssStore::OssStore(const QString &dataDir, bool digestOnly, const QString &bucket)
    : m_impl(std::make_unique<Impl>(dataDir, digestOnly, bucket))
{
}

OssStore::~OssStore() = default;

OssStore::Impl &OssStore::impl()
{
    return *m_impl;
}

QString OssStore::bucket() const
{
    return m_impl->m_bucket;
}

bool OssStore::isDigestOnly() const
{
    return m_impl->m_digestOnly;
}

OssCredentials OssStore::credentials() const
{
    return m_impl->m_standing;
}

OssCredentials OssStore::issueCredentials()
{
    const OssCredentials c = m_impl->makeCredentials();
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_keys.insert(c.accessKeyId, c.accessKeySecret);
    return c;
}

void OssStore::revokeCredentials(const QString &accessKeyId)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_keys.remove(accessKeyId);
}

void OssStore::setClock(std::function<qint64()> nowMs)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_now = std::move(nowMs);
}

void OssStore::setCallbackTimeoutMs(int msecs)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_callbackTimeoutMs = qMax(1, msecs);
}

void OssStore::failNextParts(int count, int status)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_failCount = count;
    m_impl->m_failStatus = status;
}

void OssStore::resetNextParts(int count, qint64 afterBytes)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_resetCount = count;
    m_impl->m_resetAfter = afterBytes;
}

void OssStore::corruptNextParts(int count)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_corruptCount = count;
}

void OssStore::setPartReadRate(qint64 bytesPerSecond)
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_partRate = bytesPerSecond;
}

void OssStore::clearFaults()
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_failCount = 0;
    m_impl->m_resetCount = 0;
    m_impl->m_corruptCount = 0;
    m_impl->m_partRate = 0;
}

OssObjectInfo OssStore::object(const QString &key) const
{
    QMutexLocker lock(&m_impl->m_mutex);
    OssObjectInfo info;
    const auto it = m_impl->m_objects.constFind(key);
    if (it == m_impl->m_objects.constEnd())
        return info;
    info.exists = true;
    info.size = it->size;
    info.md5 = it->md5Hex;
    info.eTag = it->eTag;
    info.filePath = it->path;
    info.partCount = it->partCount;
    return info;
}

QStringList OssStore::objectKeys() const
{
    QMutexLocker lock(&m_impl->m_mutex);
    return m_impl->m_objects.keys();
}

int OssStore::openUploadCount() const
{
    QMutexLocker lock(&m_impl->m_mutex);
    return m_impl->m_uploads.size();
}

int OssStore::partPutCount() const
{
    QMutexLocker lock(&m_impl->m_mutex);
    return m_impl->m_partPuts;
}

QList<OssRequestRecord> OssStore::requests() const
{
    QMutexLocker lock(&m_impl->m_mutex);
    return m_impl->m_requests;
}

QList<OssCallbackRecord> OssStore::callbacks() const
{
    QMutexLocker lock(&m_impl->m_mutex);
    return m_impl->m_callbacks;
}

void OssStore::clearRequests()
{
    QMutexLocker lock(&m_impl->m_mutex);
    m_impl->m_requests.clear();
    m_impl->m_callbacks.clear();
    m_impl->m_partPuts = 0;
}

void registerOssRoutes(httplib::Server &server, OssStore &store)
{
    OssStore::Impl *impl = &store.impl();
    const std::string bucket = QRegularExpression::escape(store.bucket()).toStdString();
    const std::string objectPattern = "/" + bucket + "/(.+)";
    const std::string bucketPattern = "/" + bucket + "/?";
    auto keyOf = [](const httplib::Request &req) { return QString::fromStdString(req.matches[1].str()); };

    server.Put(objectPattern, [impl, keyOf](const httplib::Request &req, httplib::Response &res,
                                            const httplib::ContentReader &reader) {
        impl->handlePut(req, res, reader, keyOf(req));
    });
    server.Post(objectPattern, [impl, keyOf](const httplib::Request &req, httplib::Response &res,
                                             const httplib::ContentReader &reader) {
        impl->handlePost(req, res, reader, keyOf(req));
    });
    server.Post(bucketPattern, [impl](const httplib::Request &req, httplib::Response &res,
                                      const httplib::ContentReader &reader) {
        impl->handleFormUpload(req, res, reader);
    });
    server.Get(objectPattern, [impl, keyOf](const httplib::Request &req, httplib::Response &res) {
        impl->handleGet(req, res, keyOf(req));
    });
    server.Delete(objectPattern, [impl, keyOf](const httplib::Request &req, httplib::Response &res) {
        impl->handleDelete(req, res, keyOf(req));
    });
}

} // namespace devsvc
