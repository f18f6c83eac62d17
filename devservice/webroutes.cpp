// The account-web host (upload bookkeeping, the store callback, the
// version list), the download host, thumbnails, vendor pages, the sink
// used for throughput comparisons, and the fallbacks.

#include "devservice/bodygate.h"
#include "devservice/pngimage.h"
#include "devservice/routes.h"
#include "devservice/servicecore.h"
#include "devservice/signcheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <zlib.h>

namespace devsvc {

namespace {

Params queryOf(const httplib::Request &req)
{
    const auto q = req.target.find('?');
    return q == std::string::npos ? Params() : Params::fromEncoded(req.target.substr(q + 1));
}

void sendText(httplib::Response &res, const QByteArray &text, int status = 200)
{
    res.status = status;
    res.set_content(text.toStdString(), "text/plain;charset=UTF-8");
}

// The bookkeeping sign: lower-case MD5 of the upload host's name and vid.
bool bookkeepingSignOk(ServiceCore &core, const httplib::Request &req, const Params &p)
{
    const QString vid = p.value(QStringLiteral("vid"));
    const QString sign = p.value(QStringLiteral("sign"));
    if (vid.isEmpty() || sign.isEmpty())
        return false;
    QStringList names{core.hostName()};
    const QString hostHeader = QString::fromStdString(req.get_header_value("Host"));
    if (!hostHeader.isEmpty())
        names.append(hostHeader);
    for (const QString &name : names)
        if (sign == md5Lower((name + vid).toUtf8()))
            return true;
    return false;
}

// The account that a vid belongs to (vid = userId + 22 characters + "_" + c).
std::optional<Account> ownerOfVid(ServiceCore &core, const QString &vid)
{
    if (vid.size() <= 24)
        return std::nullopt;
    const QString userId = vid.left(vid.size() - 24);
    const auto a = core.state().accountById(userId);
    if (!a || !vid.endsWith(QLatin1Char('_') + userId.left(1)))
        return std::nullopt;
    return a;
}

void handleBookkeeping(ServiceCore &core, const httplib::Request &req, httplib::Response &res, bool insert)
{
    const Params p = queryOf(req);
    if (!bookkeepingSignOk(core, req, p)) {
        sendJson(res, envelope(400, QStringLiteral("error"), QStringLiteral("sign error")));
        return;
    }
    const QString vid = p.value(QStringLiteral("vid"));
    auto owner = ownerOfVid(core, vid);
    if (!owner) {
        sendJson(res, envelope(400, QStringLiteral("error"), QStringLiteral("vid is illegal.")));
        return;
    }
    Account account = *owner;
    const QString child = p.value(QStringLiteral("childuserid"));
    if (!child.isEmpty()) {
        const auto c = core.state().accountById(child);
        if (!c || c->parentUserId != owner->id) {
            sendJson(res, envelope(400, QStringLiteral("error"), QStringLiteral("childuserid is illegal.")));
            return;
        }
        account = *c;
    }
    if (!insert) {
        core.state().cancelUpload(vid);
        sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("cancel success")));
        return;
    }
    bool ok = false;
    const qint64 cataid = p.value(QStringLiteral("cataid")).toLongLong(&ok);
    if (!ok || !core.state().canUseCategory(account, cataid)) {
        sendJson(res, envelope(400, QStringLiteral("error"), QStringLiteral("cata is not exist.")));
        return;
    }
    PendingUpload u;
    u.vid = vid;
    u.owner = account.libraryOwner();
    u.accountId = account.id;
    u.title = p.value(QStringLiteral("title"));
    u.cataid = cataid;
    u.inserted = true;
    u.insertedMs = core.nowMs();
    core.state().noteUpload(u);
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("insert success")));
}

void handleOssCallback(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                       const httplib::ContentReader &reader)
{
    const SmallBody body = readSmallBody(core, req, res, reader, 64 * 1024);
    if (!body.ok)
        return;
    const Params p = Params::fromEncoded(body.bytes.toStdString());
    const QString object = p.value(QStringLiteral("object"));
    const QString vid = QFileInfo(object.section(QLatin1Char('/'), -1)).completeBaseName();
    bool sizeOk = false;
    const qint64 size = p.value(QStringLiteral("size")).toLongLong(&sizeOk);
    if (vid.isEmpty() || !sizeOk || size < 0) {
        sendJson(res, envelope(400, QStringLiteral("error"), QStringLiteral("callback body is illegal.")), 400);
        return;
    }
    const OpResult r = core.state().completeUpload(vid, size, QByteArray(), core.nowMs());
    if (!r.ok) {
        sendJson(res, envelope(400, QStringLiteral("error"), r.error), 400);
        return;
    }
    QJsonObject data;
    data.insert(QStringLiteral("vid"), vid);
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("callback success"), data));
}

void handleImage(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const QString vid = QString::fromStdString(req.matches[1]);
    const auto v = core.state().video(vid, core.nowMs());
    if (!v) {
        sendText(res, "no such image", 404);
        return;
    }
    if (!v->coverFile.isEmpty()) {
        QFile f(v->coverFile);
        if (f.open(QIODevice::ReadOnly) && f.size() <= 16 * 1024 * 1024) {
            const QByteArray bytes = f.readAll();
            res.set_content(bytes.toStdString(), "image/png");
            return;
        }
    }
    const QByteArray digest = QCryptographicHash::hash(vid.toUtf8(), QCryptographicHash::Md5);
    const QByteArray png = solidPng(68, 40, quint8(digest.at(0)) / 2 + 64, quint8(digest.at(1)) / 2 + 64,
                                    quint8(digest.at(2)) / 2 + 96);
    res.set_content(png.toStdString(), "image/png");
}

void handleSink(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader)
{
    // Checksums and drops whatever arrives; for comparing raw transfer speed.
    uLong crc = crc32(0, nullptr, 0);
    const BodyResult r = pumpBody(core, req, res, reader, -1, [&](const char *data, size_t size) {
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), uInt(size));
        return true;
    });
    if (!r.complete())
        return;
    QJsonObject o;
    o.insert(QStringLiteral("size"), double(r.size));
    o.insert(QStringLiteral("crc32"), double(crc));
    sendJson(res, QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QByteArray vendorPage(const QString &path)
{
    QString title = QStringLiteral("Zavix");
    if (path.startsWith(QLatin1String("/forget")))
        title = QStringLiteral("找回密码");
    else if (path.startsWith(QLatin1String("/register")))
        title = QStringLiteral("注册账号");
    else if (path.startsWith(QLatin1String("/download")))
        title = QStringLiteral("下载客户端");
    QString escaped = path.toHtmlEscaped();
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                          "<body><h1>%1</h1><p>%2</p></body></html>")
        .arg(title, escaped)
        .toUtf8();
}

} // namespace

void registerWebRoutes(httplib::Server &server, ServiceCore &core)
{
    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;
    server.Post("/uc/video/checkUploadingVideo", [&core](const Request &req, Response &res, const ContentReader &r) {
        if (!readSmallBody(core, req, res, r, 64 * 1024).ok)
            return;
        const Params p = queryOf(req);
        if (!bookkeepingSignOk(core, req, p)) {
            sendText(res, "sign error");
            return;
        }
        // "1" once the service holds the video, anything else otherwise.
        sendText(res, core.state().holdsVideo(p.value(QStringLiteral("vid"))) ? "1" : "0");
    });
    server.Post("/uc/video/insertUploadingVideo", [&core](const Request &req, Response &res, const ContentReader &r) {
        if (readSmallBody(core, req, res, r, 64 * 1024).ok)
            handleBookkeeping(core, req, res, true);
    });
    server.Get("/uc/video/cancelUploadingVideo",
               [&core](const Request &req, Response &res) { handleBookkeeping(core, req, res, false); });
    server.Post("/uc/video/ossCallback",
                [&core](const Request &req, Response &res, const ContentReader &r) { handleOssCallback(core, req, res, r); });
    server.Get("/uc/video/getVersions", [&core](const Request &, Response &res) {
        res.set_content(core.state().versions().toStdString(), "application/json;charset=UTF-8");
    });
    server.Get("/soft/ZavixUploadClientSetup.exe", [&core](const Request &, Response &res) {
        const QByteArray bytes = core.state().installer();
        res.set_content(bytes.toStdString(), "application/octet-stream");
    });
    server.Get(R"(/images/([^/]{1,200})\.png)", [&core](const Request &req, Response &res) { handleImage(core, req, res); });
    server.Put("/sink", [&core](const Request &req, Response &res, const ContentReader &r) { handleSink(core, req, res, r); });
    server.Post("/sink", [&core](const Request &req, Response &res, const ContentReader &r) { handleSink(core, req, res, r); });
}

void registerFallbackRoutes(httplib::Server &server, ServiceCore &core, const QString &ossBucket)
{
    Q_UNUSED(core)
    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;
    server.Get(R"(/.*)", [](const Request &req, Response &res) {
        const QString path = QString::fromStdString(req.path);
        if (path.startsWith(QLatin1String("/v2/")) || path.startsWith(QLatin1String("/uc/"))
            || path.startsWith(QLatin1String("/soft/"))) {
            sendText(res, "not found", 404);
            return;
        }
        res.set_content(vendorPage(path).toStdString(), "text/html;charset=UTF-8");
    });
    // Bodies sent to unknown paths are read and dropped (up to a bound) and
    // refused. Paths of the OSS bucket stay with the OSS store's handlers.
    const std::string notBucket =
        "(?!/" + QRegularExpression::escape(ossBucket).toStdString() + "(/|$)).*";
    auto refuse = [](const Request &req, Response &res, const ContentReader &reader) {
        refuseBody(req, res, reader, 404, R"({"code":404,"status":"error","message":"not found"})");
    };
    server.Post(notBucket, refuse);
    server.Put(notBucket, refuse);
    server.Patch(notBucket, refuse);
    server.Delete(notBucket, refuse);
}

} // namespace devsvc
