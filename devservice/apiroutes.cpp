// The API host: login, categories, video list and search, video
// operations and the upload initialisations. Every signed request is
// checked by rebuilding its signed text from what arrived.

#include "devservice/bodygate.h"
#include "devservice/routes.h"
#include "devservice/servicecore.h"
#include "devservice/signcheck.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cstdio>

namespace devsvc {

namespace {

constexpr qint64 kSmallBody = 64 * 1024;
constexpr qint64 kCoverMax = 10 * 1024 * 1024;

QString randomHex(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (int i = 0; i < raw.size(); ++i)
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

Params queryOf(const httplib::Request &req)
{
    const auto q = req.target.find('?');
    return q == std::string::npos ? Params() : Params::fromEncoded(req.target.substr(q + 1));
}

QString pathArg(const httplib::Request &req, int i)
{
    return QString::fromStdString(req.matches[i]);
}

void refuse(httplib::Response &res, const QString &message, int code = 400)
{
    sendJson(res, envelope(code, QStringLiteral("error"), message, QJsonObject()));
}

// Looks the account of the path up and checks ptime and sign.
std::optional<Account> authorize(ServiceCore &core, httplib::Response &res, const QString &uid,
                                 const Params &params, const QStringList &keys, bool skipEmpty)
{
    const std::optional<Account> account = core.state().accountById(uid);
    if (!account) {
        refuse(res, QStringLiteral("user is not exist"));
        return std::nullopt;
    }
    const SignVerdict v = verifySigned(params, keys, skipEmpty, account->secretKey, core.nowMs());
    if (!v.ok) {
        refuse(res, v.message);
        return std::nullopt;
    }
    return account;
}

bool isNumber(const QString &text, qint64 *value = nullptr)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    if (value)
        *value = text.toLongLong();
    return true;
}

// vid = userId + 22 characters + "_" + the first character of userId.
bool vidBelongsTo(const QString &vid, const Account &account)
{
    const QString owner = account.libraryOwner();
    return !owner.isEmpty() && vid.size() == owner.size() + 24 && vid.startsWith(owner)
           && vid.endsWith(QLatin1Char('_') + owner.left(1));
}

QString sha1Hex20Upper(const QString &password)
{
    return QString::fromLatin1(
               QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha1).toHex().left(20))
        .toUpper();
}

void handleLogin(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const Params p = queryOf(req);
    const QString email = p.value(QStringLiteral("email")).trimmed();
    const std::optional<Account> a = core.state().accountByEmail(email);
    if (email.isEmpty() || !a) {
        refuse(res, QStringLiteral("user is not exist"));
        return;
    }
    if (p.value(QStringLiteral("password")) != sha1Hex20Upper(a->password)
        || p.value(QStringLiteral("passwordMd5")) != md5Lower(a->password.toUtf8())) {
        refuse(res, QStringLiteral("password error"));
        return;
    }
    if (a->state == QLatin1String("disabled")) {
        refuse(res, QStringLiteral("user status error"));
        return;
    }
    if (a->state == QLatin1String("expired")) {
        refuse(res, QStringLiteral("user expired"));
        return;
    }
    if (a->state == QLatin1String("live")) {
        refuse(res, QStringLiteral("sub user not allow"));
        return;
    }
    QJsonObject data;
    const bool child = !a->parentUserId.isEmpty();
    data.insert(QStringLiteral("userId"), child ? a->parentUserId : a->id);
    data.insert(QStringLiteral("childUserId"), child ? a->id : QString());
    data.insert(QStringLiteral("email"), a->email);
    data.insert(QStringLiteral("secretKey"), a->secretKey);
    core.noteSecret(a->secretKey);
    data.insert(QStringLiteral("packageType"), a->packageType);
    data.insert(QStringLiteral("leftDay"), a->leftDay);
    data.insert(QStringLiteral("remainBytes"), double(core.state().remainSpace(a->id)));
    data.insert(QStringLiteral("uploadType"), a->uploadType);
    data.insert(QStringLiteral("rtoken"), randomHex(16));
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("login success"), data));
}

void handleCategories(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const Params p = queryOf(req);
    const auto a = authorize(core, res, pathArg(req, 1), p, {QStringLiteral("ptime")}, false);
    if (!a)
        return;
    sendJson(res, envelope(200, QStringLiteral("success"), QString(), core.state().categoryAnswerData(*a)));
}

void handleAddCategory(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                       const httplib::ContentReader &reader)
{
    const SmallBody body = readSmallBody(core, req, res, reader, kSmallBody);
    if (!body.ok)
        return;
    const Params p = Params::fromEncoded(body.bytes.toStdString());
    const auto a = authorize(core, res, pathArg(req, 1), p,
                             {QStringLiteral("cataname"), QStringLiteral("parentid"), QStringLiteral("ptime")},
                             false);
    if (!a)
        return;
    const QString name = p.value(QStringLiteral("cataname"));
    if (name.trimmed().isEmpty() || name.size() > 40) {
        refuse(res, QStringLiteral("cataname is illegal."));
        return;
    }
    qint64 parent = 0;
    if (!isNumber(p.value(QStringLiteral("parentid")), &parent) || !core.state().canUseCategory(*a, parent)) {
        refuse(res, QStringLiteral("parent cata is not exist."));
        return;
    }
    const qint64 id = core.state().addCategory(*a, parent, name);
    QJsonObject data;
    data.insert(QStringLiteral("cataid"), double(id));
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("add cata success"), data));
}

void handleList(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const Params p = queryOf(req);
    QStringList keys{QStringLiteral("cataflag"), QStringLiteral("cataid"), QStringLiteral("numPerPage"),
                     QStringLiteral("pageNum"), QStringLiteral("ptime")};
    const bool search = p.has(QStringLiteral("keyword"));
    if (search)
        keys.append(QStringLiteral("keyword"));
    const auto a = authorize(core, res, pathArg(req, 1), p, keys, false);
    if (!a)
        return;
    const QString flag = p.value(QStringLiteral("cataflag"));
    qint64 cataid = 0;
    qint64 perPage = 0;
    qint64 page = 0;
    if ((flag != QLatin1String("0") && flag != QLatin1String("1"))
        || !isNumber(p.value(QStringLiteral("numPerPage")), &perPage) || perPage < 1 || perPage > 100
        || !isNumber(p.value(QStringLiteral("pageNum")), &page) || page < 1 || page > 1000000
        || !isNumber(p.value(QStringLiteral("cataid")), &cataid)) {
        refuse(res, QStringLiteral("parameter is illegal."));
        return;
    }
    // The search always names the default category; a sub-tree account
    // searches its own branch.
    if (search && cataid == 1 && a->rootCataid > 1)
        cataid = a->rootCataid;
    if (!core.state().canUseCategory(*a, cataid)) {
        refuse(res, QStringLiteral("cata is not exist."));
        return;
    }
    const VideoPage vp = core.state().listVideos(*a, cataid, flag == QLatin1String("0"),
                                                 p.value(QStringLiteral("keyword")), int(page), int(perPage),
                                                 core.nowMs(), core.baseUrl());
    sendJson(res, envelope(200, QStringLiteral("200"), QString::number(vp.total), vp.data));
}

void handleDelete(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const Params p = queryOf(req);
    const auto a = authorize(core, res, pathArg(req, 1), p, {QStringLiteral("ptime"), QStringLiteral("vid")}, false);
    if (!a)
        return;
    if (a->userLevel != 6) {
        refuse(res, QStringLiteral("no permission to delete video."), 403);
        return;
    }
    const QString vid = p.value(QStringLiteral("vid"));
    if (!core.state().ownsVideo(*a, vid) || !core.state().deleteVideo(vid)) {
        refuse(res, QStringLiteral("video is not exist."));
        return;
    }
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("delete success"), QJsonObject()));
}

void handleEdit(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader)
{
    const SmallBody body = readSmallBody(core, req, res, reader, kSmallBody);
    if (!body.ok)
        return;
    const Params p = Params::fromEncoded(body.bytes.toStdString());
    if (!p.has(QStringLiteral("vid")) || !p.has(QStringLiteral("ptime"))) {
        refuse(res, QStringLiteral("parameter is illegal."));
        return;
    }
    const auto a = authorize(core, res, pathArg(req, 1), p,
                             {QStringLiteral("describ"), QStringLiteral("ptime"), QStringLiteral("tag"),
                              QStringLiteral("title"), QStringLiteral("vid")},
                             true);
    if (!a)
        return;
    const QString vid = p.value(QStringLiteral("vid"));
    const QString title = p.value(QStringLiteral("title")).trimmed();
    if (title.size() > 200 || p.value(QStringLiteral("tag")).size() > 1000
        || p.value(QStringLiteral("describ")).size() > 5000) {
        refuse(res, QStringLiteral("parameter is too long."));
        return;
    }
    if (!core.state().ownsVideo(*a, vid)
        || !core.state().editVideo(vid, title, p.value(QStringLiteral("tag")), p.value(QStringLiteral("describ")),
                                   core.nowMs())) {
        refuse(res, QStringLiteral("video is not exist."));
        return;
    }
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("update success"), QJsonObject()));
}

void handleCover(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                 const httplib::ContentReader &reader)
{
    const QString folder = core.dataDir() + QStringLiteral("/covers");
    QDir().mkpath(folder);
    const QString tempPath = folder + QStringLiteral("/upload-") + randomHex(8) + QStringLiteral(".part");
    QFile temp(tempPath);
    Params p;
    QString current;
    QByteArray value;
    qint64 imageBytes = 0;
    bool writeOk = temp.open(QIODevice::WriteOnly);
    auto flushValue = [&] {
        if (!current.isEmpty() && current != QLatin1String("image"))
            p.add(current, QString::fromUtf8(value));
        value.clear();
    };
    const BodyResult r = pumpMultipart(
        core, req, res, reader, kCoverMax + 64 * 1024,
        [&](const httplib::MultipartFormData &part) {
            flushValue();
            current = QString::fromStdString(part.name);
            return true;
        },
        [&](const char *data, size_t size) {
            if (current == QLatin1String("image")) {
                imageBytes += qint64(size);
                writeOk = writeOk && temp.write(data, qint64(size)) == qint64(size);
                return imageBytes <= kCoverMax;
            }
            if (value.size() + int(size) > 4096)
                return false;
            value.append(data, int(size));
            return true;
        });
    flushValue();
    temp.close();
    if (!r.complete()) {
        QFile::remove(tempPath);
        if (r.outcome == BodyOutcome::SinkRefused && res.status == -1)
            refuse(res, QStringLiteral("image is too large."));
        return;
    }
    const auto a = authorize(core, res, pathArg(req, 1), p, {QStringLiteral("ptime"), QStringLiteral("vids")}, false);
    const QString vid = p.value(QStringLiteral("vids"));
    if (!a || imageBytes == 0 || !writeOk || !core.state().ownsVideo(*a, vid)) {
        QFile::remove(tempPath);
        if (a)
            refuse(res, imageBytes == 0 ? QStringLiteral("image is empty.") : QStringLiteral("video is not exist."));
        return;
    }
    const QString target = folder + QLatin1Char('/') + QString::fromLatin1(QCryptographicHash::hash(
                                                           vid.toUtf8(), QCryptographicHash::Sha1).toHex());
    // The finished file replaces the old one in one step.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(tempPath);
        refuse(res, QStringLiteral("store write failed."), 500);
        return;
    }
    core.state().setCover(vid, target);
    QJsonObject data;
    data.insert(QStringLiteral("first_image"), core.baseUrl() + QStringLiteral("/images/") + vid + QStringLiteral(".png"));
    sendJson(res, envelope(200, QStringLiteral("success"), QStringLiteral("upload success"), data));
}

struct InitCommon
{
    Account account;
    Params params;
    qint64 fileSize = 0;
    qint64 cataid = 0;
};

// The checks every init shares after the signature.
std::optional<InitCommon> checkInit(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                                    const QStringList &keys, const QString &uploadType)
{
    InitCommon c;
    c.params = queryOf(req);
    const auto a = authorize(core, res, pathArg(req, 1), c.params, keys, false);
    if (!a)
        return std::nullopt;
    c.account = *a;
    if (c.params.value(QStringLiteral("uploadType")) != uploadType) {
        refuse(res, QStringLiteral("uploadType is illegal."));
        return std::nullopt;
    }
    if (!isNumber(c.params.value(QStringLiteral("filesize")), &c.fileSize)
        || !isNumber(c.params.value(QStringLiteral("cataid")), &c.cataid)
        || c.params.value(QStringLiteral("filename")).isEmpty()) {
        refuse(res, QStringLiteral("parameter is illegal."));
        return std::nullopt;
    }
    const QString luping = c.params.value(QStringLiteral("luping"));
    if (luping != QLatin1String("0") && luping != QLatin1String("1")) {
        refuse(res, QStringLiteral("luping is illegal."));
        return std::nullopt;
    }
    if (!vidBelongsTo(c.params.value(QStringLiteral("vid")), c.account)) {
        refuse(res, QStringLiteral("vid is illegal."));
        return std::nullopt;
    }
    // The speed test names the default category whatever the account's
    // branch is; its vid is fixed.
    const QString owner = c.account.libraryOwner();
    const bool speedTest = c.params.value(QStringLiteral("vid"))
                           == owner + md5Lower("NetSpeedTest").left(22) + QLatin1Char('_') + owner.left(1);
    if (!(speedTest && c.cataid == 1) && !core.state().canUseCategory(c.account, c.cataid)) {
        refuse(res, QStringLiteral("cata is not exist."));
        return std::nullopt;
    }
    return c;
}

void noteInit(ServiceCore &core, const InitCommon &c)
{
    PendingUpload u;
    u.vid = c.params.value(QStringLiteral("vid"));
    u.owner = c.account.libraryOwner();
    u.accountId = c.account.id;
    u.title = c.params.value(QStringLiteral("title"));
    u.cataid = c.cataid;
    u.fileSize = c.fileSize;
    u.fileName = c.params.value(QStringLiteral("filename"));
    core.state().noteUpload(u);
}

QString callbackText(ServiceCore &core)
{
    QJsonObject cb;
    cb.insert(QStringLiteral("callbackUrl"), core.baseUrl() + QStringLiteral("/uc/video/ossCallback"));
    cb.insert(QStringLiteral("callbackBody"),
              QStringLiteral("bucket=${bucket}&object=${object}&size=${size}&etag=${etag}&mimeType=${mimeType}"));
    cb.insert(QStringLiteral("callbackBodyType"), QStringLiteral("application/x-www-form-urlencoded"));
    return QString::fromUtf8(QJsonDocument(cb).toJson(QJsonDocument::Compact));
}

void handleOssInit(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const auto c = checkInit(core, req, res,
                             {QStringLiteral("cataid"), QStringLiteral("filename"), QStringLiteral("filesize"),
                              QStringLiteral("isSts"), QStringLiteral("luping"), QStringLiteral("ptime"),
                              QStringLiteral("title"), QStringLiteral("uploadType"), QStringLiteral("vid")},
                             QStringLiteral("client_aliyun_chunk"));
    if (!c)
        return;
    noteInit(core, *c);
    const OssCoordinates oss = core.ossCoordinates();
    QJsonObject data;
    data.insert(QStringLiteral("remainSpace"), double(core.state().remainSpace(c->account.id)));
    data.insert(QStringLiteral("callback"), callbackText(core));
    data.insert(QStringLiteral("bucketName"), oss.bucket);
    data.insert(QStringLiteral("endpoint"), oss.endpoint);
    data.insert(QStringLiteral("accessId"), oss.accessId);
    data.insert(QStringLiteral("accessKey"), oss.accessKey);
    data.insert(QStringLiteral("token"), oss.token);
    for (const QString &secret : {oss.accessId, oss.accessKey, oss.token})
        core.noteSecret(secret);
    sendJson(res, envelope(200, QStringLiteral("success"), QString(), data));
}

void handleWcsInit(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const bool resume = queryOf(req).has(QStringLiteral("fileid"));
    QStringList keys{QStringLiteral("cataid"), QStringLiteral("filename"), QStringLiteral("filesize"),
                     QStringLiteral("luping"), QStringLiteral("ptime"), QStringLiteral("title"),
                     QStringLiteral("uploadType"), QStringLiteral("vid")};
    if (resume)
        keys << QStringLiteral("dateStr") << QStringLiteral("fileid");
    const auto c = checkInit(core, req, res, keys, QStringLiteral("client_wcs_chunk"));
    if (!c)
        return;
    QString fileid = c->params.value(QStringLiteral("fileid"));
    QString dateStr = c->params.value(QStringLiteral("dateStr"));
    const bool known = !fileid.isEmpty() && !core.state().fileidDate(fileid).isEmpty();
    if (known) {
        dateStr = core.state().fileidDate(fileid);
    } else {
        if (fileid.isEmpty() || fileid.size() > 64)
            fileid = randomHex(12);
        dateStr = QDateTime::fromMSecsSinceEpoch(core.nowMs(), Qt::UTC).toString(QStringLiteral("yyyyMMdd"));
        core.state().noteFileid(fileid, dateStr);
    }
    noteInit(core, *c);
    WcsTicket t;
    t.token = QStringLiteral("wcs-") + randomHex(20);
    t.vid = c->params.value(QStringLiteral("vid"));
    t.owner = c->account.libraryOwner();
    t.accountId = c->account.id;
    t.fileid = fileid;
    t.dateStr = dateStr;
    t.fileName = c->params.value(QStringLiteral("filename"));
    t.title = c->params.value(QStringLiteral("title"));
    t.cataid = c->cataid;
    t.fileSize = c->fileSize;
    t.issuedMs = core.nowMs();
    core.state().addTicket(t);
    QJsonObject data;
    data.insert(QStringLiteral("remainSpace"), double(core.state().remainSpace(c->account.id)));
    data.insert(QStringLiteral("fileid"), fileid);
    data.insert(QStringLiteral("dateStr"), dateStr);
    data.insert(QStringLiteral("uploadToken"), t.token);
    core.noteSecret(t.token);
    data.insert(QStringLiteral("host"), core.baseUrl());
    sendJson(res, envelope(200, QStringLiteral("success"), QString(), data));
}

void handleOssDirectInit(ServiceCore &core, const httplib::Request &req, httplib::Response &res)
{
    const auto c = checkInit(core, req, res,
                             {QStringLiteral("cataid"), QStringLiteral("filename"), QStringLiteral("filesize"),
                              QStringLiteral("luping"), QStringLiteral("ptime"), QStringLiteral("title"),
                              QStringLiteral("uploadType"), QStringLiteral("vid")},
                             QStringLiteral("client_aliyun_chunk"));
    if (!c)
        return;
    const OssCoordinates oss = core.ossCoordinates();
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(core.nowMs(), Qt::UTC);
    const QString dir = QStringLiteral("speedtest/%1/").arg(now.toString(QStringLiteral("yyyyMMdd")));
    QJsonObject policy;
    policy.insert(QStringLiteral("expiration"), now.addSecs(3600).toString(Qt::ISODate));
    QJsonArray conditions;
    conditions.append(QJsonArray{QStringLiteral("content-length-range"), 0, 1073741824.0});
    conditions.append(QJsonArray{QStringLiteral("starts-with"), QStringLiteral("$key"), dir});
    policy.insert(QStringLiteral("conditions"), conditions);
    const QByteArray policyText = QJsonDocument(policy).toJson(QJsonDocument::Compact).toBase64();
    const QByteArray signature =
        QMessageAuthenticationCode::hash(policyText, oss.accessKey.toUtf8(), QCryptographicHash::Sha1).toBase64();
    QJsonObject data;
    data.insert(QStringLiteral("accessid"), oss.accessId);
    data.insert(QStringLiteral("policy"), QString::fromLatin1(policyText));
    data.insert(QStringLiteral("signature"), QString::fromLatin1(signature));
    data.insert(QStringLiteral("dir"), dir);
    data.insert(QStringLiteral("host"), oss.endpoint + QLatin1Char('/') + oss.bucket);
    data.insert(QStringLiteral("expire"), double(now.addSecs(3600).toSecsSinceEpoch()));
    for (const QString &secret : {oss.accessId, QString::fromLatin1(policyText), QString::fromLatin1(signature)})
        core.noteSecret(secret);
    sendJson(res, envelope(200, QStringLiteral("success"), QString(), data));
}

// Inits are POSTs without a body; whatever arrives is read and dropped.
bool drainSmall(ServiceCore &core, const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader)
{
    return readSmallBody(core, req, res, reader, kSmallBody).ok;
}

} // namespace

QByteArray envelope(int code, const QString &status, const QString &message, const QJsonValue &data)
{
    QJsonObject o;
    o.insert(QStringLiteral("code"), code);
    o.insert(QStringLiteral("status"), status);
    o.insert(QStringLiteral("message"), message);
    o.insert(QStringLiteral("data"), data.isUndefined() || data.isNull() ? QJsonValue(QJsonObject()) : data);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void sendJson(httplib::Response &res, const QByteArray &json, int httpStatus)
{
    res.status = httpStatus;
    res.set_content(json.toStdString(), "application/json;charset=UTF-8");
}

void registerApiRoutes(httplib::Server &server, ServiceCore &core)
{
    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;
    server.Get("/v2/user/login", [&core](const Request &req, Response &res) { handleLogin(core, req, res); });
    server.Get(R"(/v2/video/([^/]+)/cata)", [&core](const Request &req, Response &res) { handleCategories(core, req, res); });
    server.Post(R"(/v2/video/([^/]+)/addCata/?)", [&core](const Request &req, Response &res, const ContentReader &r) {
        handleAddCategory(core, req, res, r);
    });
    server.Get(R"(/v2/video/([^/]+)/list)", [&core](const Request &req, Response &res) { handleList(core, req, res); });
    server.Get(R"(/v2/video/([^/]+)/del-video)", [&core](const Request &req, Response &res) { handleDelete(core, req, res); });
    server.Post(R"(/v2/video/([^/]+)/video-info)", [&core](const Request &req, Response &res, const ContentReader &r) {
        handleEdit(core, req, res, r);
    });
    server.Post(R"(/v2/video/([^/]+)/uploadCoverImage)",
                [&core](const Request &req, Response &res, const ContentReader &r) { handleCover(core, req, res, r); });
    server.Post(R"(/v2/aliyunoss/direct/([^/]+)/init)", [&core](const Request &req, Response &res, const ContentReader &r) {
        if (drainSmall(core, req, res, r))
            handleOssDirectInit(core, req, res);
    });
    server.Post(R"(/v2/aliyunoss/([^/]+)/init)", [&core](const Request &req, Response &res, const ContentReader &r) {
        if (drainSmall(core, req, res, r))
            handleOssInit(core, req, res);
    });
    server.Post(R"(/v2/uploadvideo_wcs/([^/]+)/init)", [&core](const Request &req, Response &res, const ContentReader &r) {
        if (drainSmall(core, req, res, r))
            handleWcsInit(core, req, res);
    });
}

} // namespace devsvc
