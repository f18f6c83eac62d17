// The WCS upload host's routes: token and batch checks, then the block
// store.

#include "devservice/bodygate.h"
#include "devservice/servicecore.h"
#include "devservice/wcs/wcsstore.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <httplib.h>
#include <zlib.h>

namespace devsvc {

namespace {

constexpr qint64 kTicketLifeMs = 12LL * 3600 * 1000;

void answer(httplib::Response &res, int status, const QByteArray &json)
{
    res.status = status;
    res.set_content(json.toStdString(), "application/json;charset=UTF-8");
}

QByteArray errorJson(int code, const QString &message)
{
    QJsonObject o;
    o.insert(QStringLiteral("code"), code);
    o.insert(QStringLiteral("message"), message);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// The upload token of a request: "Authorization: <token>" or, as the
// public store's SDKs send it, "Authorization: UpToken <token>".
QString tokenOf(const httplib::Request &req)
{
    const QString value = QString::fromStdString(req.get_header_value("Authorization")).trimmed();
    static const QLatin1String scheme("UpToken ");
    if (value.startsWith(scheme, Qt::CaseInsensitive))
        return value.mid(scheme.size()).trimmed();
    return value;
}

// Checks the token and the batch header; on failure the body is drained
// and the answer set.
std::optional<WcsTicket> admit(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                               const httplib::ContentReader &reader, QString *batch)
{
    const QString token = tokenOf(req);
    const std::optional<WcsTicket> t = core.state().ticket(token);
    if (token.isEmpty() || !t) {
        refuseBody(req, res, reader, 401, errorJson(401, QStringLiteral("token is invalid.")).toStdString());
        return std::nullopt;
    }
    if (!t->valid || core.nowMs() - t->issuedMs > kTicketLifeMs) {
        refuseBody(req, res, reader, 401, errorJson(401, QStringLiteral("token is expired.")).toStdString());
        return std::nullopt;
    }
    if (batch) {
        *batch = QString::fromStdString(req.get_header_value("uploadBatch")).trimmed();
        if (batch->isEmpty() || batch->size() > 200) {
            refuseBody(req, res, reader, 400, errorJson(400, QStringLiteral("uploadBatch is missing.")).toStdString());
            return std::nullopt;
        }
    }
    return t;
}

QString objectKeyOf(const WcsTicket &t)
{
    const QString suffix = QFileInfo(t.fileName).suffix();
    return QStringLiteral("uploadvideo/%1/%2%3")
        .arg(t.dateStr, t.vid, suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

} // namespace

void registerWcsRoutes(httplib::Server &server, ServiceCore &core)
{
    server.Post(R"(/mkblk/(\d{1,12})/(\d{1,9}))",
                [&core](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader) {
                    QString batch;
                    const auto ticket = admit(core, req, res, reader, &batch);
                    if (!ticket)
                        return;
                    const qint64 blockSize = QString::fromStdString(req.matches[1]).toLongLong();
                    const int index = QString::fromStdString(req.matches[2]).toInt();
                    const SmallBody body = readSmallBody(core, req, res, reader, kWcsBlockSize);
                    if (!body.ok)
                        return;
                    const WcsChunkResult r = core.wcs().makeBlock(batch, ticket->fileSize, blockSize, index, body.bytes);
                    answer(res, r.status, r.body);
                });

    // The ctx segment: URL-safe Base64, as this store hands it out, plain or
    // percent-encoded.
    server.Post(R"(/bput/([0-9A-Za-z_=%-]{1,512})/(\d{1,12}))",
                [&core](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader) {
                    QString batch;
                    if (!admit(core, req, res, reader, &batch))
                        return;
                    const QString ctx = QUrl::fromPercentEncoding(QByteArray::fromStdString(req.matches[1]));
                    const qint64 offset = QString::fromStdString(req.matches[2]).toLongLong();
                    const SmallBody body = readSmallBody(core, req, res, reader, kWcsBlockSize);
                    if (!body.ok)
                        return;
                    const WcsChunkResult r = core.wcs().putChunk(batch, ctx, offset, body.bytes);
                    answer(res, r.status, r.body);
                });

    server.Post(R"(/mkfile/(\d{1,15}))",
                [&core](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader) {
                    QString batch;
                    const auto ticket = admit(core, req, res, reader, &batch);
                    if (!ticket)
                        return;
                    const qint64 fileSize = QString::fromStdString(req.matches[1]).toLongLong();
                    const SmallBody body = readSmallBody(core, req, res, reader, 4 * 1024 * 1024);
                    if (!body.ok)
                        return;
                    if (fileSize != ticket->fileSize) {
                        answer(res, 400, errorJson(400, QStringLiteral("file size mismatch.")));
                        return;
                    }
                    const QString text = QString::fromUtf8(body.bytes).trimmed();
                    const QStringList ctxList =
                        text.isEmpty() ? QStringList() : text.split(QLatin1Char(','));
                    const QString key = objectKeyOf(*ticket);
                    const WcsStore::Assembly a = core.wcs().makeFile(batch, fileSize, ctxList, key);
                    if (!a.ok) {
                        answer(res, a.status, errorJson(a.status, a.message));
                        return;
                    }
                    // The store tells the service; a refusal there is a callback failure.
                    PendingUpload p;
                    p.vid = ticket->vid;
                    p.owner = ticket->owner;
                    p.accountId = ticket->accountId;
                    p.title = ticket->title;
                    p.cataid = ticket->cataid;
                    p.fileSize = ticket->fileSize;
                    p.fileName = ticket->fileName;
                    core.state().noteUpload(p);
                    const OpResult done = core.state().completeUpload(ticket->vid, a.size, a.md5, core.nowMs());
                    if (!done.ok) {
                        answer(res, 579, errorJson(579, QStringLiteral("callback failed: %1").arg(done.error)));
                        return;
                    }
                    QJsonObject o;
                    o.insert(QStringLiteral("hash"), a.hash);
                    o.insert(QStringLiteral("key"), key);
                    answer(res, 200, QJsonDocument(o).toJson(QJsonDocument::Compact));
                });

    // Form upload (the speed test): token, key, then file.
    server.Post("/", [&core](const httplib::Request &req, httplib::Response &res,
                             const httplib::ContentReader &reader) {
        QString current;
        QByteArray token;
        QByteArray key;
        qint64 fileBytes = 0;
        quint32 crc = 0;
        bool sawFile = false;
        const BodyResult r = pumpMultipart(
            core, req, res, reader, -1,
            [&](const httplib::MultipartFormData &part) {
                current = QString::fromStdString(part.name);
                if (current == QLatin1String("file")) {
                    sawFile = true;
                    // The token comes first; refuse the bytes of a stranger early.
                    const auto t = core.state().ticket(QString::fromUtf8(token).trimmed());
                    if (!t || !t->valid)
                        return false;
                }
                return true;
            },
            [&](const char *data, size_t size) {
                if (current == QLatin1String("file")) {
                    fileBytes += qint64(size);
                    crc = quint32(crc32(crc, reinterpret_cast<const Bytef *>(data), uInt(size)));
                } else if (current == QLatin1String("token")) {
                    if (token.size() + int(size) > 4096)
                        return false;
                    token.append(data, int(size));
                } else if (current == QLatin1String("key")) {
                    if (key.size() + int(size) > 4096)
                        return false;
                    key.append(data, int(size));
                }
                return true;
            });
        if (r.outcome == BodyOutcome::TooLarge || r.outcome == BodyOutcome::Dropped)
            return;
        const auto t = core.state().ticket(QString::fromUtf8(token).trimmed());
        if (!t || !t->valid) {
            answerAndClose(res, 401, errorJson(401, QStringLiteral("token is invalid.")).toStdString());
            return;
        }
        if (r.outcome != BodyOutcome::Complete || !sawFile || key.isEmpty()) {
            answerAndClose(res, 400, errorJson(400, QStringLiteral("token, key and file are required.")).toStdString());
            return;
        }
        QJsonObject o;
        o.insert(QStringLiteral("hash"), QStringLiteral("crc32-%1").arg(crc, 8, 16, QLatin1Char('0')));
        o.insert(QStringLiteral("key"), QString::fromUtf8(key));
        o.insert(QStringLiteral("fsize"), double(fileBytes));
        answer(res, 200, QJsonDocument(o).toJson(QJsonDocument::Compact));
    });
}

} // namespace devsvc
