// Direct HTTP checks of the service's own rules: signatures (both rules),
// time stamps, login texts, paging, the bookkeeping, the WCS block store,
// the OSS signature, faults and the request log.

#include "devhttp.h"

#include "devservice/devservice.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

using devhttp::Reply;

namespace {

const QString kOssUid = QStringLiteral("10001");
const QString kOssSecret = QStringLiteral("sk-oss-5f2c9d1a");
const QString kWcsUid = QStringLiteral("10002");
const QString kWcsSecret = QStringLiteral("sk-wcs-8b47e0c3");

struct Pair
{
    QString key;
    QString value;
};

// Query text in the given order, values encoded; the signed text from the
// signed keys in sorted order with raw values.
QByteArray signedQuery(const QList<Pair> &pairs, QStringList signedKeys, const QString &secret,
                       bool skipEmpty = false)
{
    std::sort(signedKeys.begin(), signedKeys.end());
    QString text;
    for (const QString &k : signedKeys)
        for (const Pair &p : pairs)
            if (p.key == k && !(skipEmpty && p.value.isEmpty()))
                text += QLatin1Char('&') + k + QLatin1Char('=') + p.value;
    text.remove(0, 1);
    const QString sign = devhttp::sha1Upper(text + secret);
    QByteArray q;
    for (const Pair &p : pairs) {
        if (!q.isEmpty())
            q += '&';
        q += p.key.toUtf8() + '=' + (p.key == QLatin1String("sign") ? sign.toUtf8() : devhttp::encode(p.value));
    }
    return q;
}

QByteArray vidOf(const QString &userId, const QByteArray &seed)
{
    const QByteArray h = devhttp::md5Hex(seed);
    return userId.toUtf8() + h.mid(10, 11) + h.mid(0, 11) + '_' + userId.left(1).toUtf8();
}

QByteArray bookkeepingSign(const QString &host, const QByteArray &vid)
{
    return devhttp::md5Hex(host.toUtf8() + vid);
}

QByteArray patternBytes(int size, int salt)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 31 + salt * 7 + (i >> 11)) & 0xff);
    return b;
}

} // namespace

class TestDevService : public QObject
{
    Q_OBJECT

private:
    devsvc::DevService *m_service = nullptr;
    QByteArray m_base;

    QByteArray url(const QString &path) const { return m_base + path.toUtf8(); }

    Reply categories(const QString &uid, const QString &secret, const QString &ptime)
    {
        const QByteArray q = signedQuery({{"ptime", ptime}, {"sign", ""}}, {"ptime"}, secret);
        return devhttp::get(url(QStringLiteral("/v2/video/%1/cata?").arg(uid)) + q);
    }

    Reply list(const QString &uid, const QString &secret, const QString &cataflag, const QString &cataid,
               int page, const QString &keyword = QString())
    {
        QList<Pair> pairs{{"cataflag", cataflag}, {"cataid", cataid}};
        QStringList keys{"cataflag", "cataid", "numPerPage", "pageNum", "ptime"};
        if (!keyword.isNull()) {
            pairs.append(Pair{"keyword", keyword});
            keys.append("keyword");
        }
        pairs += QList<Pair>{{"numPerPage", "20"}, {"pageNum", QString::number(page)},
                             {"ptime", devhttp::nowPtime()}, {"sign", ""}};
        return devhttp::get(url(QStringLiteral("/v2/video/%1/list?").arg(uid)) + signedQuery(pairs, keys, secret));
    }

    Reply wcsInit(const QByteArray &vid, qint64 size, const QString &fileid = QString(),
                  const QString &dateStr = QString())
    {
        QList<Pair> pairs{{"cataid", "201"}};
        QStringList keys{"cataid", "filename", "filesize", "luping", "ptime", "title", "uploadType", "vid"};
        if (!fileid.isEmpty()) {
            pairs.append(Pair{"dateStr", dateStr});
            keys << "dateStr"
                 << "fileid";
        }
        pairs.append(Pair{"describ", ""});
        if (!fileid.isEmpty())
            pairs.append(Pair{"fileid", fileid});
        pairs += QList<Pair>{{"filename", "课程 01.mp4"}, {"filesize", QString::number(size)}, {"luping", "0"},
                             {"ptime", devhttp::nowPtime()}, {"sign", ""}, {"tag", "不签名"},
                             {"title", "课程 01"}, {"uploadType", "client_wcs_chunk"},
                             {"vid", QString::fromLatin1(vid)}};
        return devhttp::post(url(QStringLiteral("/v2/uploadvideo_wcs/%1/init?").arg(kWcsUid))
                             + signedQuery(pairs, keys, kWcsSecret));
    }

    Reply wcsPost(const QString &path, const QByteArray &body, const QString &token, const QByteArray &batch)
    {
        QList<QByteArray> headers{"Content-Type: application/octet-stream"};
        if (!token.isEmpty())
            headers.append("Authorization: " + token.toUtf8());
        if (!batch.isEmpty())
            headers.append("uploadBatch: " + batch);
        return devhttp::post(url(path), body, headers);
    }

    // --- OSS store access with the keys an init hands out -----------------
    struct OssAccess
    {
        QString bucket;
        QString id;
        QString secret;
        QString callback; // the init's callback text
    };

    QJsonObject ossInit(const QByteArray &vid, const QString &cataid = QStringLiteral("101"))
    {
        const QList<Pair> pairs{{"cataid", cataid}, {"filename", "a b.mp4"}, {"filesize", "2048"}, {"isSts", "N"},
                                {"luping", "1"}, {"ptime", devhttp::nowPtime()}, {"sign", ""}, {"title", "a b"},
                                {"uploadType", "client_aliyun_chunk"}, {"vid", QString::fromLatin1(vid)}};
        const QStringList keys{"cataid", "filename", "filesize", "isSts", "luping", "ptime", "title", "uploadType", "vid"};
        return devhttp::post(url("/v2/aliyunoss/10001/init?") + signedQuery(pairs, keys, kOssSecret))
            .json().value("data").toObject();
    }

    OssAccess ossAccess(const QByteArray &vid)
    {
        const QJsonObject d = ossInit(vid);
        return OssAccess{d.value("bucketName").toString(), d.value("accessId").toString(),
                         d.value("accessKey").toString(), d.value("callback").toString()};
    }

    static QByteArray httpDate()
    {
        return QLocale::c().toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
            .toLatin1();
    }

    struct OssCall
    {
        QByteArray verb = "PUT";
        QByteArray key;
        QByteArray sub;                 // sub-resources as sent and signed, e.g. "?uploads"
        QByteArray body;
        QByteArray contentMd5;          // header value; empty: no header
        QList<QByteArray> ossHeaders;   // "x-oss-name: value"
        QByteArray dateHeader = "Date"; // "Date", "x-oss-date" or empty for none
        bool signDateLine = true;       // the signed text's date line carries the date
    };

    // A request signed the V1 way, built here from its parts.
    Reply ossCall(const OssAccess &oss, OssCall call)
    {
        const QByteArray date = httpDate();
        QList<QByteArray> headers{"Content-Type:", "Authorization: "};
        if (!call.dateHeader.isEmpty()) {
            if (call.dateHeader.startsWith("x-oss-"))
                call.ossHeaders.append(call.dateHeader + ": " + date);
            else
                headers.append(call.dateHeader + ": " + date);
        }
        if (!call.contentMd5.isEmpty())
            headers.append("Content-MD5: " + call.contentMd5);
        QMap<QByteArray, QByteArray> canonical;
        for (const QByteArray &h : call.ossHeaders)
            canonical.insert(h.left(h.indexOf(':')).trimmed().toLower(), h.mid(h.indexOf(':') + 1).trimmed());
        QByteArray toSign = call.verb + "\n" + call.contentMd5 + "\n\n" + (call.signDateLine ? date : QByteArray()) + "\n";
        for (auto it = canonical.constBegin(); it != canonical.constEnd(); ++it)
            toSign += it.key() + ":" + it.value() + "\n";
        toSign += "/" + oss.bucket.toUtf8() + "/" + call.key + call.sub;
        const QByteArray signature =
            QMessageAuthenticationCode::hash(toSign, oss.secret.toUtf8(), QCryptographicHash::Sha1).toBase64();
        headers[1] = "Authorization: OSS " + oss.id.toUtf8() + ":" + signature;
        devhttp::Request r;
        r.method = call.verb;
        r.url = url("/" + oss.bucket + "/") + call.key + call.sub;
        r.body = call.body;
        r.hasBody = call.verb != "GET" && call.verb != "DELETE";
        r.headers = headers + call.ossHeaders;
        return devhttp::perform(r);
    }

    Reply ossGet(const OssAccess &oss, const QByteArray &key, const QByteArray &sub = QByteArray())
    {
        OssCall get;
        get.verb = "GET";
        get.key = key;
        get.sub = sub;
        return ossCall(oss, get);
    }

    // The status a video has in its category's list; empty when not listed.
    QString statusInList(const QString &uid, const QString &secret, const QString &cataid, const QByteArray &vid)
    {
        for (const QJsonValue &val : list(uid, secret, "1", cataid, 1).json().value("data").toArray())
            if (val.toObject().value("vid").toString().toLatin1() == vid)
                return val.toObject().value("status").toString();
        return QString();
    }

    // Starts the devservice program on a free port with `dataDir`; its base URL.
    static QByteArray startProgram(QProcess &p, const QString &dataDir)
    {
        const QString program = qEnvironmentVariable("ZAVIX_BUILD_DIR") + QStringLiteral("/devservice/devservice");
        p.start(program, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"), dataDir});
        if (!p.waitForStarted(5000))
            return QByteArray();
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!(out += p.readAllStandardOutput()).contains("zavix123") && t.elapsed() < 10000)
            p.waitForReadyRead(200);
        const QByteArray first = out.left(out.indexOf('\n'));
        return first.startsWith("ZAVIX_SERVICE_URL=") ? first.mid(int(strlen("ZAVIX_SERVICE_URL="))).trimmed()
                                                       : QByteArray();
    }

private slots:
    void initTestCase()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        devsvc::DevService::Options options;
        options.encodeDelayMs = 300;
        m_service = new devsvc::DevService(options);
        const devsvc::OpResult seeded = m_service->seedFromFile(devsvc::DevService::demoSeedPath());
        QVERIFY2(seeded.ok, qPrintable(seeded.error));
        QVERIFY2(m_service->start(0), qPrintable(m_service->errorString()));
        m_base = m_service->baseUrl().toUtf8();
        QVERIFY(m_base.startsWith("http://127.0.0.1:"));
    }

    void cleanupTestCase()
    {
        QElapsedTimer t;
        t.start();
        delete m_service;
        QVERIFY2(t.elapsed() < 8000, "stopping the service took too long");
        curl_global_cleanup();
    }

    void cleanup()
    {
        m_service->clearFaults();
        m_service->setClockOffsetMs(0);
    }

    void programAnnouncesItself()
    {
        const QString program = qEnvironmentVariable("ZAVIX_BUILD_DIR") + QStringLiteral("/devservice/devservice");
        if (!QFileInfo::exists(program))
            QSKIP("the devservice program is not built");
        QTemporaryDir data;
        QProcess p;
        p.start(program, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"), data.path()});
        QVERIFY(p.waitForStarted(5000));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("zavix123"), 5000);
        const QByteArray first = out.left(out.indexOf('\n'));
        QVERIFY2(first.startsWith("ZAVIX_SERVICE_URL=http://127.0.0.1:"), first.constData());
        const QByteArray base = first.mid(int(strlen("ZAVIX_SERVICE_URL=")));
        QCOMPARE(devhttp::get(base + "/uc/video/getVersions").status, 200L);
        QVERIFY(out.contains("oss@zavix.test"));
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void login_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message"); // empty: success
        QTest::newRow("ok") << "oss@zavix.test" << "zavix123" << "";
        QTest::newRow("case of address") << "OSS@zavix.test" << "zavix123" << "";
        QTest::newRow("wrong password") << "oss@zavix.test" << "zavix124" << "password error";
        QTest::newRow("unknown") << "nobody@zavix.test" << "zavix123" << "user is not exist";
        QTest::newRow("disabled") << "disabled@zavix.test" << "zavix123" << "user status error";
        QTest::newRow("expired state") << "gone@zavix.test" << "zavix123" << "user expired";
        QTest::newRow("live account") << "live@zavix.test" << "zavix123" << "sub user not allow";
    }

    void login()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(QString, message);
        const QByteArray pw = password.toUtf8();
        const QByteArray sha = QCryptographicHash::hash(pw, QCryptographicHash::Sha1).toHex().left(20).toUpper();
        const Reply r = devhttp::get(url("/v2/user/login?email=") + devhttp::encode(email) + "&password=" + sha
                                     + "&passwordMd5=" + devhttp::md5Hex(pw));
        QCOMPARE(r.status, 200L);
        if (message.isEmpty()) {
            QVERIFY(r.body.contains("rtoken"));
            const QJsonObject data = r.json().value("data").toObject();
            QCOMPARE(data.value("userId").toString(), kOssUid);
            QCOMPARE(data.value("secretKey").toString(), kOssSecret);
            QCOMPARE(data.value("uploadType").toString(), QStringLiteral("0"));
            QCOMPARE(data.value("childUserId").toString(), QString());
        } else {
            QVERIFY(!r.body.contains("rtoken"));
            QCOMPARE(r.message(), message);
        }
    }

    void childLoginAndSubTree()
    {
        const QByteArray pw = "zavix123";
        const QByteArray sha = QCryptographicHash::hash(pw, QCryptographicHash::Sha1).toHex().left(20).toUpper();
        const Reply r = devhttp::get(url("/v2/user/login?email=child%40zavix.test&password=") + sha
                                     + "&passwordMd5=" + devhttp::md5Hex(pw));
        const QJsonObject data = r.json().value("data").toObject();
        QCOMPARE(data.value("userId").toString(), kOssUid);
        QCOMPARE(data.value("childUserId").toString(), QStringLiteral("20001"));
        const Reply c = categories("20001", data.value("secretKey").toString(), devhttp::nowPtime());
        const QJsonObject cd = c.json().value("data").toObject();
        QCOMPARE(qint64(cd.value("cataid").toDouble()), qint64(101));
        const QJsonArray list = cd.value("cataList").toArray();
        QVERIFY(list.size() >= 3);
        // Depth-first, the sub-tree's own top first, every parent before its children.
        QCOMPARE(qint64(list.at(0).toObject().value("cataid").toDouble()), qint64(101));
        QStringList seen{"1"};
        for (const QJsonValue &v : list) {
            const QJsonObject o = v.toObject();
            QVERIFY(seen.contains(QString::number(qint64(o.value("parentid").toDouble()))));
            QVERIFY(o.value("catatree").toString().endsWith(QString::number(qint64(o.value("cataid").toDouble()))));
            seen.append(QString::number(qint64(o.value("cataid").toDouble())));
        }
    }

    void levelFourWithoutCategories()
    {
        const Reply c = categories("10006", "sk-l4-6e0b9dd7", devhttp::nowPtime());
        const QJsonObject d = c.json().value("data").toObject();
        QCOMPARE(c.json().value("code").toInt(), 200);
        QCOMPARE(d.value("userLevel").toInt(), 4);
        QCOMPARE(qint64(d.value("cataid").toDouble()), qint64(0));
    }

    void signature_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("lowerCase");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("correct") << kOssSecret << false << "";
        QTest::newRow("wrong key") << kWcsSecret << false << "sign is illegal.";
        QTest::newRow("lower-case hex") << kOssSecret << true << "sign is illegal.";
    }

    void signature()
    {
        QFETCH(QString, secret);
        QFETCH(bool, lowerCase);
        QFETCH(QString, message);
        const QString ptime = devhttp::nowPtime();
        QByteArray sign = devhttp::sha1Upper("ptime=" + ptime + secret).toLatin1();
        if (lowerCase)
            sign = sign.toLower();
        const Reply r = devhttp::get(url("/v2/video/10001/cata?ptime=") + ptime.toLatin1() + "&sign=" + sign);
        QCOMPARE(r.status, 200L);
        if (message.isEmpty()) {
            QCOMPARE(r.json().value("code").toInt(), 200);
            QVERIFY(!r.json().value("data").toObject().value("cataList").toArray().isEmpty());
        } else {
            QCOMPARE(r.json().value("code").toInt(), 400);
            QCOMPARE(r.message(), message);
        }
    }

    void signedTextUsesRawValues()
    {
        // The search keyword travels encoded, the signed text holds it raw.
        const Reply ok = list(kOssUid, kOssSecret, "0", "1", 1, QStringLiteral("分页视频 1"));
        QCOMPARE(ok.json().value("status").toString(), QStringLiteral("200"));
        QVERIFY(ok.json().value("message").toString().toInt() > 0);
        // Signing the encoded keyword instead is refused.
        const QString ptime = devhttp::nowPtime();
        const QByteArray enc = devhttp::encode(QStringLiteral("分页视频 1"));
        const QString text = "cataflag=0&cataid=1&keyword=" + QString::fromLatin1(enc)
                             + "&numPerPage=20&pageNum=1&ptime=" + ptime + kOssSecret;
        const Reply bad = devhttp::get(url("/v2/video/10001/list?cataflag=0&cataid=1&keyword=") + enc
                                       + "&numPerPage=20&pageNum=1&ptime=" + ptime.toLatin1()
                                       + "&sign=" + devhttp::sha1Upper(text).toLatin1());
        QCOMPARE(bad.message(), QStringLiteral("sign is illegal."));
    }

    void emptyValueUnderConditionalRule()
    {
        const QString vid = m_service->videoIds(kOssUid).first();
        const QString ptime = devhttp::nowPtime();
        const QList<Pair> pairs{{"ptime", ptime}, {"sign", ""}, {"vid", vid},
                                {"title", "新标题 (1) & 'x'"}, {"tag", ""}, {"describ", ""}};
        const QStringList keys{"describ", "ptime", "tag", "title", "vid"};
        // Empty tag and describ take part in the body but not in the signed text.
        const Reply ok = devhttp::post(url("/v2/video/10001/video-info"), signedQuery(pairs, keys, kOssSecret, true));
        QCOMPARE(ok.json().value("status").toString(), QStringLiteral("success"));
        QCOMPARE(m_service->video(vid).title, QStringLiteral("新标题 &#040;1&#041; &amp; &#039;x&#039;"));
        // Signing "describ=&...&tag=&..." (every key) is refused.
        const Reply bad = devhttp::post(url("/v2/video/10001/video-info"),
                                        signedQuery(pairs, keys, kOssSecret, false));
        QCOMPARE(bad.json().value("status").toString(), QStringLiteral("error"));
        QCOMPARE(bad.message(), QStringLiteral("sign is illegal."));
    }

    void coverImage()
    {
        struct Cover
        {
            QByteArray image, sign, vids, ptime;
        };
        auto build = [](CURL *curl, void *data) {
            const Cover *c = static_cast<const Cover *>(data);
            curl_mime *mime = curl_mime_init(curl);
            curl_mimepart *p = curl_mime_addpart(mime);
            curl_mime_name(p, "image");
            curl_mime_filename(p, "cover.png");
            curl_mime_type(p, "application/octet-stream");
            curl_mime_data(p, c->image.constData(), size_t(c->image.size()));
            const QList<QPair<const char *, QByteArray>> fields{{"sign", c->sign}, {"vids", c->vids}, {"ptime", c->ptime}};
            for (const auto &f : fields) {
                p = curl_mime_addpart(mime);
                curl_mime_name(p, f.first);
                curl_mime_data(p, f.second.constData(), size_t(f.second.size()));
            }
            return mime;
        };
        const QString vid = m_service->videoIds(kOssUid).first();
        Cover c;
        c.image = "\x89PNG\r\n\x1a\n" + patternBytes(70000, 6);
        c.vids = vid.toUtf8();
        c.ptime = devhttp::nowPtime().toUtf8();
        c.sign = devhttp::sha1Upper("ptime=" + QString::fromUtf8(c.ptime) + "&vids=" + vid + kOssSecret).toUtf8();
        devhttp::Request r;
        r.method = "POST";
        r.url = url("/v2/video/10001/uploadCoverImage");
        r.headers = {"Content-Type: multipart/form-data"};
        r.mimeBuilder = build;
        r.mimeData = &c;
        const Reply ok = devhttp::perform(r);
        QCOMPARE(ok.json().value("status").toString(), QStringLiteral("success"));
        QCOMPARE(devhttp::get(url("/images/") + vid.toUtf8() + ".png").body, c.image);
        c.sign = devhttp::sha1Upper("ptime=" + QString::fromUtf8(c.ptime) + "&vids=" + vid + kWcsSecret).toUtf8();
        QCOMPARE(devhttp::perform(r).message(), QStringLiteral("sign is illegal."));
    }

    void timeStamp_data()
    {
        QTest::addColumn<qint64>("shiftMs");
        QTest::addColumn<QString>("ptime"); // empty: now + shiftMs
        QTest::addColumn<QString>("message");
        QTest::newRow("four minutes old") << qint64(-4 * 60000) << "" << "";
        QTest::newRow("six minutes old") << qint64(-6 * 60000) << "" << "ptime is too old.";
        QTest::newRow("six minutes ahead") << qint64(6 * 60000) << "" << "ptime is too old.";
        QTest::newRow("hours off") << qint64(-5 * 3600000) << "" << "ptime is too old.";
        QTest::newRow("seconds") << qint64(0) << QString::number(QDateTime::currentSecsSinceEpoch()) << "ptime is too old.";
        QTest::newRow("letters") << qint64(0) << "15118560000x0" << "ptime is illegal.";
        QTest::newRow("leading zero") << qint64(0) << "0" + devhttp::nowPtime() << "ptime is illegal.";
        QTest::newRow("signed") << qint64(0) << "+" + devhttp::nowPtime() << "ptime is illegal.";
        QTest::newRow("empty") << qint64(0) << "" << "";
    }

    void timeStamp()
    {
        QFETCH(qint64, shiftMs);
        QFETCH(QString, ptime);
        QFETCH(QString, message);
        if (QByteArray(QTest::currentDataTag()) == "empty") {
            const Reply r = categories(kOssUid, kOssSecret, QString());
            QCOMPARE(r.message(), QStringLiteral("ptime is illegal."));
            return;
        }
        if (ptime.isEmpty())
            ptime = QString::number(QDateTime::currentMSecsSinceEpoch() + shiftMs);
        const Reply r = categories(kOssUid, kOssSecret, ptime);
        QCOMPARE(r.status, 200L);
        if (message.isEmpty())
            QCOMPARE(r.json().value("code").toInt(), 200);
        else
            QCOMPARE(r.message(), message);
    }

    void shiftedServiceClock()
    {
        m_service->setClockOffsetMs(2 * 3600 * 1000);
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).message(), QStringLiteral("ptime is too old."));
        m_service->setClockOffsetMs(0);
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).json().value("code").toInt(), 200);
    }

    void paging_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("rows");
        QTest::newRow("first") << 1 << 20;
        QTest::newRow("second") << 2 << 20;
        QTest::newRow("last") << 3 << 5;
        QTest::newRow("beyond") << 4 << 0;
    }

    void paging()
    {
        QFETCH(int, page);
        QFETCH(int, rows);
        const Reply r = list(kOssUid, kOssSecret, "1", "106", page);
        const QJsonObject o = r.json();
        QCOMPARE(o.value("status").toString(), QStringLiteral("200"));
        QCOMPARE(o.value("message").toString(), QStringLiteral("45"));
        const QJsonArray data = o.value("data").toArray();
        QCOMPARE(data.size(), rows);
        for (const QJsonValue &v : data) {
            const QJsonObject video = v.toObject();
            for (const char *key : {"vid", "title", "duration", "times", "playerwidth", "playerheight", "status",
                                    "first_image", "tag", "describ", "ptime", "cataid", "cataname"})
                QVERIFY2(video.value(key).isString(), key);
            QCOMPARE(video.value("ptime").toString().size(), 13);
        }
    }

    void pagesDoNotOverlap()
    {
        QSet<QString> vids;
        for (int page = 1; page <= 3; ++page)
            for (const QJsonValue &v : list(kOssUid, kOssSecret, "1", "106", page).json().value("data").toArray())
                vids.insert(v.toObject().value("vid").toString());
        QCOMPARE(vids.size(), 45);
    }

    void subCategories()
    {
        const int with = list(kOssUid, kOssSecret, "0", "101", 1).json().value("message").toString().toInt();
        const int without = list(kOssUid, kOssSecret, "1", "101", 1).json().value("message").toString().toInt();
        QVERIFY(without > 0);
        QVERIFY2(with > without, "cataflag 0 includes the videos of sub-categories");
        // The child account only sees its own branch, even through a search of the default category.
        const Reply all = list("20001", "sk-child-77d2b5e4", "0", "1", 1, QStringLiteral("分页视频"));
        QCOMPARE(all.json().value("message").toString(), QStringLiteral("0"));
        const Reply outside = list("20001", "sk-child-77d2b5e4", "0", "106", 1);
        QVERIFY(outside.json().value("status").toString() != QLatin1String("200"));
    }

    void searchFindsEntityTitles()
    {
        const Reply r = list(kOssUid, kOssSecret, "0", "1", 1, QStringLiteral("Jerry"));
        const QJsonArray data = r.json().value("data").toArray();
        QCOMPARE(data.size(), 1);
        QCOMPARE(data.at(0).toObject().value("title").toString(), QStringLiteral("Tom &amp; Jerry&#039;s &#040;1&#041;"));
    }

    void listParameters_data()
    {
        QTest::addColumn<QString>("cataflag");
        QTest::addColumn<QString>("cataid");
        QTest::newRow("flag 2") << "2" << "1";
        QTest::newRow("foreign category") << "0" << "201";
        QTest::newRow("unknown category") << "0" << "999999";
        QTest::newRow("not a number") << "0" << "abc";
    }

    void listParameters()
    {
        QFETCH(QString, cataflag);
        QFETCH(QString, cataid);
        const Reply r = list(kOssUid, kOssSecret, cataflag, cataid, 1);
        QCOMPARE(r.status, 200L);
        QVERIFY(r.json().value("status").toString() != QLatin1String("200"));
        QVERIFY(!r.message().isEmpty());
    }

    void addCategory()
    {
        const QString name = QStringLiteral("新 目录 A&B");
        const QList<Pair> pairs{{"cataname", name}, {"parentid", "102"}, {"ptime", devhttp::nowPtime()}, {"sign", ""}};
        const Reply r = devhttp::post(url("/v2/video/10001/addCata/"),
                                      signedQuery(pairs, {"cataname", "parentid", "ptime"}, kOssSecret),
                                      {"Content-Type:application/x-www-form-urlencoded;charset=UTF-8"});
        QCOMPARE(r.json().value("code").toInt(), 200);
        const qint64 id = qint64(r.json().value("data").toObject().value("cataid").toDouble());
        QVERIFY(id > 0);
        bool found = false;
        for (const QJsonValue &v : categories(kOssUid, kOssSecret, devhttp::nowPtime())
                                       .json().value("data").toObject().value("cataList").toArray()) {
            const QJsonObject o = v.toObject();
            if (qint64(o.value("cataid").toDouble()) == id) {
                found = true;
                QCOMPARE(o.value("cataname").toString(), name);
                QCOMPARE(o.value("catatree").toString(), QStringLiteral("1,102,%1").arg(id));
            }
        }
        QVERIFY(found);
        // Below a category outside the account's branch: refused.
        const QList<Pair> child{{"cataname", "x"}, {"parentid", "102"}, {"ptime", devhttp::nowPtime()}, {"sign", ""}};
        const Reply refused = devhttp::post(url("/v2/video/20001/addCata/"),
                                            signedQuery(child, {"cataname", "parentid", "ptime"}, "sk-child-77d2b5e4"));
        QCOMPARE(refused.json().value("code").toInt(), 400);
    }

    void deleteNeedsLevelSix()
    {
        const QString vid = m_service->videoIds(QStringLiteral("10003")).value(0);
        const QString wcsVid = m_service->videoIds(kWcsUid).value(0);
        // Level 1 (10003 has no videos: use any id; the level is checked first).
        const QList<Pair> p1{{"ptime", devhttp::nowPtime()}, {"sign", ""}, {"vid", wcsVid}};
        const Reply refused = devhttp::get(url("/v2/video/10003/del-video?") + signedQuery(p1, {"ptime", "vid"}, "sk-t2-31aa6f90"));
        QCOMPARE(refused.json().value("code").toInt(), 403);
        QVERIFY(m_service->video(wcsVid).exists);
        Q_UNUSED(vid)
        // Level 6, own video.
        const QString own = m_service->videoIds(kOssUid).last();
        const QList<Pair> p6{{"ptime", devhttp::nowPtime()}, {"sign", ""}, {"vid", own}};
        const Reply ok = devhttp::get(url("/v2/video/10001/del-video?") + signedQuery(p6, {"ptime", "vid"}, kOssSecret));
        QCOMPARE(ok.json().value("code").toInt(), 200);
        QCOMPARE(ok.json().value("status").toString(), QStringLiteral("success"));
        QVERIFY(!m_service->video(own).exists);
        // Someone else's video.
        const QList<Pair> p7{{"ptime", devhttp::nowPtime()}, {"sign", ""}, {"vid", wcsVid}};
        const Reply foreign = devhttp::get(url("/v2/video/10001/del-video?") + signedQuery(p7, {"ptime", "vid"}, kOssSecret));
        QCOMPARE(foreign.json().value("code").toInt(), 400);
    }

    void wcsUploadAcrossClientRestart()
    {
        const qint64 size = 2 * 4194304 + 12345; // three blocks, the last one short
        const QByteArray file = patternBytes(int(size), 3);
        const QByteArray vid = vidOf(kWcsUid, "wcs-upload");
        const QString host = m_base.mid(7);
        const QByteArray sign = bookkeepingSign(host, vid);
        const QByteArray check = url("/uc/video/checkUploadingVideo?vid=") + vid + "&sign=" + sign;
        QCOMPARE(devhttp::post(check).body, QByteArray("0"));
        const Reply insert = devhttp::post(url("/uc/video/insertUploadingVideo?vid=") + vid + "&sign=" + sign
                                           + "&title=" + devhttp::encode("课程 01") + "&childuserid=&cataid=201");
        QCOMPARE(insert.json().value("code").toInt(), 200);
        QVERIFY(m_service->isUploadRegistered(QString::fromLatin1(vid)));
        // A wrong bookkeeping sign is not taken.
        QCOMPARE(devhttp::post(url("/uc/video/checkUploadingVideo?vid=") + vid + "&sign=" + sign.toUpper()).body,
                 QByteArray("sign error"));

        const Reply init = wcsInit(vid, size);
        QCOMPARE(init.json().value("code").toInt(), 200);
        QJsonObject data = init.json().value("data").toObject();
        QVERIFY(data.value("remainSpace").toDouble() > 0);
        const QString fileid = data.value("fileid").toString();
        const QString dateStr = data.value("dateStr").toString();
        QString token = data.value("uploadToken").toString();
        QCOMPARE(data.value("host").toString().toUtf8(), m_base);
        const QByteArray batch = "batch-" + vid;

        // Block 0 in 1 MiB chunks, block 1 only its first chunk.
        QStringList lastCtx;
        QString ctx;
        for (int chunk = 0; chunk < 4; ++chunk) {
            const QByteArray bytes = file.mid(chunk * 1048576, 1048576);
            const Reply r = chunk == 0 ? wcsPost("/mkblk/4194304/0", bytes, token, batch)
                                       : wcsPost(QStringLiteral("/bput/%1/%2").arg(ctx).arg(chunk * 1048576), bytes, token, batch);
            QCOMPARE(r.status, 200L);
            const QJsonObject o = r.json();
            QCOMPARE(quint32(o.value("crc32").toDouble()),
                     quint32(crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size()))));
            QCOMPARE(qint64(o.value("offset").toDouble()), qint64((chunk + 1) * 1048576));
            ctx = o.value("ctx").toString();
        }
        lastCtx.append(ctx);
        const Reply b1 = wcsPost("/mkblk/4194304/1", file.mid(4194304, 1048576), token, batch);
        QCOMPARE(b1.status, 200L);
        QString ctx1 = b1.json().value("ctx").toString();

        // Rules of the store.
        QCOMPARE(wcsPost(QStringLiteral("/bput/%1/0").arg(ctx1), file.mid(4194304 + 1048576, 1048576), token, batch).status, 400L);
        QCOMPARE(wcsPost(QStringLiteral("/bput/%1/1048576").arg(ctx1), QByteArray(10, 'x'), token, "other-batch").status, 400L);
        QCOMPARE(wcsPost(QStringLiteral("/bput/%1/1048576").arg(ctx1), QByteArray(10, 'x'), "wrong", batch).status, 401L);
        QCOMPARE(wcsPost("/mkblk/4194304/1", QByteArray(4194305, 'x'), token, batch).status, 413L);
        QCOMPARE(wcsPost("/mkblk/1000/2", QByteArray(10, 'x'), token, batch).status, 400L); // last block is 12345

        // The client restarts: the old token lapses, a resumed init gives a new one, the ctx stays good.
        m_service->expireWcsTokens();
        QCOMPARE(wcsPost(QStringLiteral("/bput/%1/1048576").arg(ctx1), file.mid(4194304 + 1048576, 1048576), token, batch).status, 401L);
        const Reply resumed = wcsInit(vid, size, fileid, dateStr);
        data = resumed.json().value("data").toObject();
        QCOMPARE(data.value("fileid").toString(), fileid);
        token = data.value("uploadToken").toString();
        for (int chunk = 1; chunk < 4; ++chunk) {
            const Reply r = wcsPost(QStringLiteral("/bput/%1/%2").arg(ctx1).arg(chunk * 1048576),
                                    file.mid(4194304 + chunk * 1048576, 1048576), token, batch);
            QCOMPARE(r.status, 200L);
            ctx1 = r.json().value("ctx").toString();
        }
        lastCtx.append(ctx1);
        const Reply b2 = wcsPost("/mkblk/12345/2", file.mid(2 * 4194304), token, batch);
        QCOMPARE(b2.status, 200L);
        lastCtx.append(b2.json().value("ctx").toString());

        // Blocks out of order are refused; in order they make the file.
        QStringList swapped = lastCtx;
        swapped.swapItemsAt(0, 1);
        QCOMPARE(devhttp::post(url(QStringLiteral("/mkfile/%1").arg(size)), swapped.join(',').toUtf8(),
                               {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch, "Content-Type: text/plain"}).status,
                 400L);
        const Reply made = devhttp::post(url(QStringLiteral("/mkfile/%1").arg(size)), lastCtx.join(',').toUtf8(),
                                         {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch, "Content-Type: text/plain"});
        QCOMPARE(made.status, 200L);
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
        QVERIFY(made.json().value("key").toString().endsWith(QString::fromLatin1(vid) + ".mp4"));

        const devsvc::VideoState v = m_service->video(QString::fromLatin1(vid));
        QVERIFY(v.exists);
        QCOMPARE(v.size, size);
        QCOMPARE(v.md5, devhttp::md5Hex(file));
        QCOMPARE(v.status, QStringLiteral("10"));
        QCOMPARE(devhttp::post(check).body, QByteArray("1"));
        // Listed under its category, published after the encoding delay.
        auto statusInList = [&]() {
            for (const QJsonValue &val : list(kWcsUid, kWcsSecret, "1", "201", 1).json().value("data").toArray())
                if (val.toObject().value("vid").toString().toLatin1() == vid)
                    return val.toObject().value("status").toString();
            return QString();
        };
        QCOMPARE(statusInList(), QStringLiteral("10"));
        QTRY_COMPARE_WITH_TIMEOUT(statusInList(), QStringLiteral("61"), 3000);
    }

    void chunkSentAgainFromEarlierCtx()
    {
        const QByteArray vid = vidOf(kWcsUid, "wcs-resend");
        const QString token = wcsInit(vid, 3 * 1048576).json().value("data").toObject().value("uploadToken").toString();
        const QByteArray batch = "batch-resend";
        const QByteArray file = patternBytes(3 * 1048576, 9);
        const QString c0 = wcsPost("/mkblk/3145728/0", file.left(1048576), token, batch).json().value("ctx").toString();
        // A corrupted second chunk, then the same chunk again from the first ctx.
        QByteArray bad = file.mid(1048576, 1048576);
        bad[100] = char(bad[100] ^ 0x55);
        QVERIFY(wcsPost(QStringLiteral("/bput/%1/1048576").arg(c0), bad, token, batch).status == 200);
        const QString c1 = wcsPost(QStringLiteral("/bput/%1/1048576").arg(c0), file.mid(1048576, 1048576), token, batch)
                               .json().value("ctx").toString();
        const QString c2 = wcsPost(QStringLiteral("/bput/%1/2097152").arg(c1), file.mid(2097152), token, batch)
                               .json().value("ctx").toString();
        const Reply made = devhttp::post(url("/mkfile/3145728"), c2.toUtf8(),
                                         {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch});
        QCOMPARE(made.status, 200L);
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
    }

    void chunkCutOffThenSentAgain()
    {
        const QByteArray vid = vidOf(kWcsUid, "wcs-cut");
        const QString token = wcsInit(vid, 2 * 1048576).json().value("data").toObject().value("uploadToken").toString();
        const QByteArray batch = "batch-cut";
        const QByteArray file = patternBytes(2 * 1048576, 11);
        const QString c0 = wcsPost("/mkblk/2097152/0", file.left(1048576), token, batch).json().value("ctx").toString();
        m_service->resetAfterBytes("/bput/.*", 300000);
        const Reply cut = wcsPost(QStringLiteral("/bput/%1/1048576").arg(c0), file.mid(1048576), token, batch);
        QVERIFY(cut.curl != CURLE_OK);
        const Reply again = wcsPost(QStringLiteral("/bput/%1/1048576").arg(c0), file.mid(1048576), token, batch);
        QCOMPARE(again.status, 200L);
        const Reply made = devhttp::post(url("/mkfile/2097152"), again.json().value("ctx").toString().toUtf8(),
                                         {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch});
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
    }

    void initSpaceAndRules()
    {
        m_service->setRemainSpace(kWcsUid, 123456789);
        const QByteArray vid = vidOf(kWcsUid, "space");
        QCOMPARE(qint64(wcsInit(vid, 1000).json().value("data").toObject().value("remainSpace").toDouble()),
                 qint64(123456789));
        m_service->setRemainSpace(kWcsUid, 21474836480LL);
        // A vid of another account is refused.
        QCOMPARE(wcsInit(vidOf(kOssUid, "x"), 1000).message(), QStringLiteral("vid is illegal."));
    }

    void ossInitAndSignature()
    {
        const QByteArray vid = vidOf(kOssUid, "oss-init");
        const QList<Pair> pairs{{"cataid", "101"}, {"filename", "a b.mp4"}, {"filesize", "2048"}, {"isSts", "N"},
                                {"luping", "1"}, {"ptime", devhttp::nowPtime()}, {"sign", ""}, {"title", "a b"},
                                {"uploadType", "client_aliyun_chunk"}, {"vid", QString::fromLatin1(vid)}};
        const QStringList keys{"cataid", "filename", "filesize", "isSts", "luping", "ptime", "title", "uploadType", "vid"};
        const Reply init = devhttp::post(url("/v2/aliyunoss/10001/init?") + signedQuery(pairs, keys, kOssSecret));
        QCOMPARE(init.json().value("code").toInt(), 200);
        const QJsonObject d = init.json().value("data").toObject();
        const QJsonObject cb = QJsonDocument::fromJson(d.value("callback").toString().toUtf8()).object();
        QCOMPARE(cb.value("callbackUrl").toString(), m_service->baseUrl() + "/uc/video/ossCallback");
        const QString bucket = d.value("bucketName").toString();
        const QString id = d.value("accessId").toString();
        const QString secret = d.value("accessKey").toString();
        QCOMPARE(d.value("endpoint").toString(), m_service->baseUrl());
        QVERIFY(!bucket.isEmpty() && !id.isEmpty() && !secret.isEmpty());

        // Initiate a multipart upload with the issued keys: signed right, wrong, and with an old Date.
        auto initiate = [&](const QString &useSecret, qint64 dateShiftSecs) {
            const QByteArray date = QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(dateShiftSecs),
                                                          QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
            const QByteArray key = "uploadvideo/20260101/" + vid + ".mp4";
            const QByteArray toSign = "POST\n\n\n" + date + "\n/" + bucket.toUtf8() + "/" + key + "?uploads";
            const QByteArray signature =
                QMessageAuthenticationCode::hash(toSign, useSecret.toUtf8(), QCryptographicHash::Sha1).toBase64();
            return devhttp::post(url("/" + bucket + "/") + key + "?uploads", QByteArray(),
                                 {"Content-Type:", "Date: " + date, "Authorization: OSS " + id.toUtf8() + ":" + signature});
        };
        const Reply good = initiate(secret, 0);
        if (good.status == 404)
            QSKIP("the OSS store is not built in");
        QVERIFY2(good.status == 200, good.body.constData());
        QVERIFY(good.body.contains("<UploadId>"));
        const Reply wrong = initiate(secret + "x", 0);
        QCOMPARE(wrong.status, 403L);
        QVERIFY(wrong.body.contains("SignatureDoesNotMatch"));
        const Reply skewed = initiate(secret, -20 * 60);
        QCOMPARE(skewed.status, 403L);
        QVERIFY(skewed.body.contains("RequestTimeTooSkewed"));

        // One part, then complete with the callback: the service learns the video.
        const QByteArray key = "uploadvideo/20260101/" + vid + ".mp4";
        const int a = good.body.indexOf("<UploadId>");
        const QByteArray uploadId = good.body.mid(a + 10, good.body.indexOf("</UploadId>") - a - 10);
        auto signedCall = [&](const QByteArray &verb, const QByteArray &sub, const QByteArray &body,
                              const QList<QByteArray> &ossHeaders) {
            const QByteArray date = QLocale::c().toString(QDateTime::currentDateTimeUtc(),
                                                          QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
            QByteArray canon;
            for (const QByteArray &h : ossHeaders)
                canon += h.left(h.indexOf(':')).toLower() + ":" + h.mid(h.indexOf(':') + 1).trimmed() + "\n";
            const QByteArray toSign = verb + "\n\n\n" + date + "\n" + canon + "/" + bucket.toUtf8() + "/" + key + sub;
            const QByteArray sig = QMessageAuthenticationCode::hash(toSign, secret.toUtf8(), QCryptographicHash::Sha1).toBase64();
            devhttp::Request r;
            r.method = verb;
            r.url = url("/" + bucket + "/") + key + sub;
            r.body = body;
            r.hasBody = true;
            r.headers = QList<QByteArray>{"Content-Type:", "Date: " + date, "Authorization: OSS " + id.toUtf8() + ":" + sig}
                        + ossHeaders;
            return devhttp::perform(r);
        };
        const QByteArray part = patternBytes(2048, 5);
        const Reply put = signedCall("PUT", "?partNumber=1&uploadId=" + uploadId, part, {});
        QCOMPARE(put.status, 200L);
        const QByteArray etag = put.header("ETag");
        const QByteArray complete = "<CompleteMultipartUpload><Part><PartNumber>1</PartNumber><ETag>" + etag
                                    + "</ETag></Part></CompleteMultipartUpload>";
        const QByteArray callback = d.value("callback").toString().toUtf8().toBase64();
        const Reply done = signedCall("POST", "?uploadId=" + uploadId, complete, {"x-oss-callback: " + callback});
        QVERIFY2(done.status == 200, done.body.constData());
        QCOMPARE(QJsonDocument::fromJson(done.body).object().value("status").toString(), QStringLiteral("success"));
        const devsvc::VideoState v = m_service->video(QString::fromLatin1(vid));
        QVERIFY(v.exists);
        QCOMPARE(v.size, qint64(part.size()));
        QCOMPARE(v.cataid, QStringLiteral("101"));
        QCOMPARE(v.title, QStringLiteral("a b"));
        QCOMPARE(v.status, QStringLiteral("10"));
    }

    void speedTestInitsAndFormUploads()
    {
        struct Form
        {
            QList<QPair<QByteArray, QByteArray>> fields;
            QByteArray file;
        };
        auto build = [](CURL *curl, void *data) {
            const Form *f = static_cast<const Form *>(data);
            curl_mime *mime = curl_mime_init(curl);
            for (const auto &field : f->fields) {
                curl_mimepart *p = curl_mime_addpart(mime);
                curl_mime_name(p, field.first.constData());
                curl_mime_data(p, field.second.constData(), size_t(field.second.size()));
            }
            curl_mimepart *p = curl_mime_addpart(mime);
            curl_mime_name(p, "file");
            curl_mime_filename(p, "NetSpeedTest.mp4");
            curl_mime_type(p, "application/octet-stream");
            curl_mime_data(p, f->file.constData(), size_t(f->file.size()));
            return mime;
        };
        const QByteArray payload = patternBytes(300000, 8);
        auto speedVid = [](const QString &userId) {
            return userId + QString::fromLatin1(devhttp::md5Hex("NetSpeedTest").left(22)) + "_" + userId.left(1);
        };
        // OSS: the child account (a sub-tree) names the default category.
        const QList<Pair> pairs{{"cataid", "1"}, {"filename", "NetSpeedTest.mp4"}, {"filesize", "52428800"},
                                {"luping", "0"}, {"ptime", devhttp::nowPtime()}, {"sign", ""},
                                {"title", "NetSpeedTest"}, {"uploadType", "client_aliyun_chunk"}, {"vid", speedVid(kOssUid)}};
        const Reply init = devhttp::post(url("/v2/aliyunoss/direct/20001/init?")
                                         + signedQuery(pairs, {"cataid", "filename", "filesize", "luping", "ptime", "title",
                                                               "uploadType", "vid"},
                                                       "sk-child-77d2b5e4"));
        QCOMPARE(init.json().value("code").toInt(), 200);
        const QJsonObject d = init.json().value("data").toObject();
        for (const char *k : {"policy", "dir", "host", "accessid", "signature"})
            QVERIFY2(!d.value(k).toString().isEmpty(), k);
        Form oss;
        oss.fields = {{"policy", d.value("policy").toString().toUtf8()},
                      {"Signature", d.value("signature").toString().toUtf8()},
                      {"OSSAccessKeyId", d.value("accessid").toString().toUtf8()},
                      {"key", (d.value("dir").toString() + "NetSpeedTest.mp4").toUtf8()}};
        oss.file = payload;
        devhttp::Request r;
        r.method = "POST";
        r.url = d.value("host").toString().toUtf8();
        r.mimeBuilder = build;
        r.mimeData = &oss;
        const Reply ossForm = devhttp::perform(r);
        if (ossForm.status != 404)
            QVERIFY2(ossForm.status == 204 || ossForm.status == 200, ossForm.body.constData());

        // WCS: the init without fileid, then the form upload to the host.
        const QByteArray vid = speedVid(kWcsUid).toLatin1();
        QList<Pair> w{{"cataid", "1"}, {"describ", ""}, {"filename", "NetSpeedTest.mp4"}, {"filesize", "52428800"},
                      {"luping", "0"}, {"ptime", devhttp::nowPtime()}, {"sign", ""}, {"tag", ""},
                      {"title", "NetSpeedTest"}, {"uploadType", "client_wcs_chunk"}, {"vid", QString::fromLatin1(vid)}};
        const Reply winit = devhttp::post(url("/v2/uploadvideo_wcs/10002/init?")
                                          + signedQuery(w, {"cataid", "filename", "filesize", "luping", "ptime", "title",
                                                            "uploadType", "vid"},
                                                        kWcsSecret));
        const QJsonObject wd = winit.json().value("data").toObject();
        QCOMPARE(winit.json().value("code").toInt(), 200);
        Form wcs;
        wcs.fields = {{"token", wd.value("uploadToken").toString().toUtf8()}, {"key", "uploadvideo/20260101/NetSpeedTest.mp4"}};
        wcs.file = payload;
        r.url = wd.value("host").toString().toUtf8();
        r.mimeData = &wcs;
        const Reply wcsForm = devhttp::perform(r);
        QCOMPARE(wcsForm.status, 200L);
        QCOMPARE(qint64(wcsForm.json().value("fsize").toDouble()), qint64(payload.size()));
        wcs.fields[0].second = "not-a-token";
        QCOMPARE(devhttp::perform(r).status, 401L);
    }

    void ossCallbackRegistersVideo()
    {
        const QByteArray vid = vidOf(kOssUid, "oss-callback");
        const QString host = m_base.mid(7);
        // Unknown upload: refused, so the store reports a failed callback.
        const QByteArray body = "bucket=zavix-video&object=uploadvideo%2F20260101%2F" + vid
                                + ".mp4&size=5000&etag=%22AB%22&mimeType=video%2Fmp4";
        QCOMPARE(devhttp::post(url("/uc/video/ossCallback"), body).status, 400L);
        devhttp::post(url("/uc/video/insertUploadingVideo?vid=") + vid + "&sign=" + bookkeepingSign(host, vid)
                      + "&title=cb&childuserid=&cataid=103");
        const Reply r = devhttp::post(url("/uc/video/ossCallback"), body, {"Content-Type: application/x-www-form-urlencoded"});
        QCOMPARE(r.status, 200L);
        const devsvc::VideoState v = m_service->video(QString::fromLatin1(vid));
        QVERIFY(v.exists);
        QCOMPARE(v.cataid, QStringLiteral("103"));
        QCOMPARE(v.size, qint64(5000));
        QCOMPARE(v.status, QStringLiteral("10"));
    }

    void cancelForgetsRegistration()
    {
        const QByteArray vid = vidOf(kOssUid, "cancel");
        const QByteArray tail = "?vid=" + vid + "&sign=" + bookkeepingSign(m_base.mid(7), vid) + "&title=c&childuserid=20001&cataid=101";
        QCOMPARE(devhttp::post(url("/uc/video/insertUploadingVideo") + tail).json().value("code").toInt(), 200);
        QVERIFY(m_service->isUploadRegistered(QString::fromLatin1(vid)));
        QCOMPARE(devhttp::get(url("/uc/video/cancelUploadingVideo") + tail).json().value("code").toInt(), 200);
        QVERIFY(!m_service->isUploadRegistered(QString::fromLatin1(vid)));
    }

    void versionsAndInstaller()
    {
        m_service->setVersions(R"([{"version":"V4.2.1","description":"新版本"}])");
        QCOMPARE(QJsonDocument::fromJson(devhttp::get(url("/uc/video/getVersions")).body).array().at(0).toObject()
                     .value("version").toString(), QStringLiteral("V4.2.1"));
        m_service->setInstaller(QByteArray(300000, 'z'));
        const Reply inst = devhttp::get(url("/soft/ZavixUploadClientSetup.exe"));
        QCOMPARE(inst.status, 200L);
        QCOMPARE(inst.body.size(), 300000);
        QCOMPARE(inst.header("Content-Length"), QByteArray("300000"));
        QCOMPARE(devhttp::get(url("/register")).status, 200L);
        QCOMPARE(devhttp::get(url("/images/") + m_service->videoIds(kOssUid).first().toUtf8() + ".png").body.left(4),
                 QByteArray("\x89PNG"));
    }

    void cannedAnswersAndLog()
    {
        m_service->clearRequestLog();
        m_service->answerNext("/v2/video/[^/]+/cata", 502, "gateway", 2);
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).status, 502L);
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).body, QByteArray("gateway"));
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).json().value("code").toInt(), 200);

        const QByteArray body = patternBytes(200000, 1);
        const Reply sunk = devhttp::post(url("/sink?x=1"), body);
        QCOMPARE(sunk.status, 200L);
        QCOMPARE(quint32(sunk.json().value("crc32").toDouble()),
                 quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
        const QList<devsvc::RequestLogEntry> entries = m_service->requests("/sink");
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).method, QStringLiteral("POST"));
        QCOMPARE(entries.at(0).query, QStringLiteral("x=1"));
        QCOMPARE(entries.at(0).bodySize, qint64(body.size()));
        QCOMPARE(entries.at(0).bodyMd5, devhttp::md5Hex(body));
        QCOMPARE(entries.at(0).status, 200);
        // Bulk bodies are logged by size only.
        QCOMPARE(devhttp::post(url("/sink"), patternBytes(2000000, 1)).status, 200L);
        QCOMPARE(m_service->requests("/sink").last().bodySize, qint64(2000000));
        QVERIFY(m_service->requests("/sink").last().bodyMd5.isEmpty());
        QCOMPARE(m_service->requests("/v2/video/.*").size(), 3);
        const auto cata = m_service->requests("/v2/video/.*").first();
        QVERIFY(cata.query.startsWith("ptime="));
        QCOMPARE(cata.status, 502);
    }

    void resetMidBody()
    {
        m_service->resetAfterBytes("/sink", 100000);
        const Reply r = devhttp::post(url("/sink"), patternBytes(3000000, 2));
        QVERIFY2(r.curl != CURLE_OK, qPrintable(QStringLiteral("no answer, a broken connection: %1").arg(r.status)));
        QTRY_VERIFY(!m_service->requests("/sink").isEmpty());
        QCOMPARE(m_service->requests("/sink").last().status, 0);
        // The next request is served normally.
        QCOMPARE(devhttp::post(url("/sink"), patternBytes(3000000, 2)).status, 200L);
    }

    void delayAndStall()
    {
        m_service->delayNext("/uc/video/getVersions", 400);
        QElapsedTimer t;
        t.start();
        QCOMPARE(devhttp::get(url("/uc/video/getVersions")).status, 200L);
        QVERIFY(t.elapsed() >= 380);

        m_service->stallNext("/uc/video/getVersions");
        Reply stalled;
        std::thread client([&] { stalled = devhttp::get(url("/uc/video/getVersions")); });
        QTRY_COMPARE(m_service->stalledCount(), 1);
        QCOMPARE(stalled.status, 0L);
        m_service->releaseStalls();
        client.join();
        QCOMPARE(stalled.status, 200L);
    }

    void bandwidthCap()
    {
        m_service->setBandwidthLimit(1000000);
        QElapsedTimer t;
        t.start();
        QCOMPARE(devhttp::post(url("/sink"), patternBytes(500000, 4)).status, 200L);
        QVERIFY2(t.elapsed() >= 400, qPrintable(QString::number(t.elapsed())));
        m_service->setBandwidthLimit(0);
        t.restart();
        QCOMPARE(devhttp::post(url("/sink"), patternBytes(500000, 4)).status, 200L);
        QVERIFY(t.elapsed() < 400);
    }

    void badInput()
    {
        // An announced body far above the limit is refused without reading it.
        QVERIFY(devhttp::rawExchange(m_service->port(),
                                     "POST /v2/video/10001/addCata/ HTTP/1.1\r\nHost: x\r\n"
                                     "Content-Length: 99999999999\r\n\r\nabc")
                    .startsWith("HTTP/1.1 413"));
        // A POST without length and without chunks has no body (the bookkeeping POSTs).
        const QByteArray vid = vidOf(kOssUid, "no-body");
        const QByteArray bare = devhttp::rawExchange(
            m_service->port(), "POST /uc/video/checkUploadingVideo?vid=" + vid + "&sign="
                                   + bookkeepingSign(m_base.mid(7), vid) + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QVERIFY2(bare.startsWith("HTTP/1.1 200"), bare.constData());
        // A client that vanishes mid-body, and garbage instead of HTTP.
        devhttp::rawExchange(m_service->port(),
                             "POST /sink HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\n" + QByteArray(5000, 'a'), 0);
        devhttp::rawExchange(m_service->port(), QByteArray(20000, '\x01') + "\r\n\r\n", 1000);
        // A malformed multipart body and a body sent to an unknown path.
        const Reply cover = devhttp::post(url("/v2/video/10001/uploadCoverImage"), "--x\r\nnonsense",
                                          {"Content-Type: multipart/form-data; boundary=x"});
        QVERIFY(cover.status == 400 || cover.json().value("code").toInt() == 400);
        QCOMPARE(devhttp::post(url("/no/such/path"), QByteArray(100000, 'q')).status, 404L);
        QCOMPARE(devhttp::post(url("/mkfile/99999999999999"), "a,b", {"Authorization: none"}).status, 401L);
        // Still serving.
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).json().value("code").toInt(), 200);
    }

    void ossPutObject_data()
    {
        QTest::addColumn<bool>("part");           // a part of a multipart upload instead of a whole object
        QTest::addColumn<QByteArray>("dateHeader");
        QTest::addColumn<bool>("signDateLine");
        QTest::addColumn<QString>("digest");      // Content-MD5: "", "right", "other", "malformed"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::newRow("dated by Date") << false << QByteArray("Date") << true << "" << 200 << "";
        QTest::newRow("dated by x-oss-date only") << false << QByteArray("x-oss-date") << true << "" << 200 << "";
        QTest::newRow("x-oss-date left out of the date line")
            << false << QByteArray("x-oss-date") << false << "" << 403 << "SignatureDoesNotMatch";
        QTest::newRow("no date at all") << false << QByteArray() << false << "" << 403 << "AccessDenied";
        QTest::newRow("matching Content-MD5") << false << QByteArray("Date") << true << "right" << 200 << "";
        QTest::newRow("Content-MD5 of other bytes") << false << QByteArray("Date") << true << "other" << 400 << "InvalidDigest";
        QTest::newRow("malformed Content-MD5") << false << QByteArray("Date") << true << "malformed" << 400 << "InvalidDigest";
        QTest::newRow("part with matching Content-MD5") << true << QByteArray("Date") << true << "right" << 200 << "";
        QTest::newRow("part with Content-MD5 of other bytes")
            << true << QByteArray("Date") << true << "other" << 400 << "InvalidDigest";
        QTest::newRow("part dated by x-oss-date only") << true << QByteArray("x-oss-date") << true << "" << 200 << "";
    }
    void ossPutObject()
    {
        QFETCH(bool, part);
        QFETCH(QByteArray, dateHeader);
        QFETCH(bool, signDateLine);
        QFETCH(QString, digest);
        QFETCH(int, status);
        QFETCH(QString, code);
        static int seq = 0;
        ++seq;
        const OssAccess oss = ossAccess(vidOf(kOssUid, "put-object"));
        const QByteArray key = "uploadvideo/20260101/put-" + QByteArray::number(seq) + ".mp4";
        const QByteArray body = patternBytes(150000 + seq, seq);
        const QByteArray md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5);
        QByteArray uploadId;
        if (part) {
            OssCall initiate;
            initiate.verb = "POST";
            initiate.key = key;
            initiate.sub = "?uploads";
            const Reply started = ossCall(oss, initiate);
            if (started.status == 404)
                QSKIP("the OSS store is not built in");
            const int a = started.body.indexOf("<UploadId>");
            uploadId = started.body.mid(a + 10, started.body.indexOf("</UploadId>") - a - 10);
            QVERIFY(!uploadId.isEmpty());
        }
        OssCall put;
        put.key = key;
        put.sub = part ? "?partNumber=1&uploadId=" + uploadId : QByteArray();
        put.body = body;
        put.dateHeader = dateHeader;
        put.signDateLine = signDateLine;
        if (digest == QLatin1String("right"))
            put.contentMd5 = md5.toBase64();
        else if (digest == QLatin1String("other"))
            put.contentMd5 = QCryptographicHash::hash(body + "x", QCryptographicHash::Md5).toBase64();
        else if (digest == QLatin1String("malformed"))
            put.contentMd5 = "not-a-digest";
        const Reply r = ossCall(oss, put);
        if (r.status == 404)
            QSKIP("the OSS store is not built in");
        QVERIFY2(r.status == status, r.body.constData());
        const QByteArray eTag = '"' + md5.toHex().toUpper() + '"';
        if (status == 200)
            QCOMPARE(r.header("ETag"), eTag);
        else
            QVERIFY2(r.body.contains("<Code>" + code.toUtf8() + "</Code>"), r.body.constData());

        // Stored exactly when accepted.
        if (part) {
            const Reply listed = ossGet(oss, key, "?uploadId=" + uploadId);
            QCOMPARE(listed.status, 200L);
            QCOMPARE(listed.body.contains("<PartNumber>1</PartNumber>"), status == 200);
        } else {
            const Reply stored = ossGet(oss, key);
            QCOMPARE(stored.status, status == 200 ? 200L : 404L);
            if (status == 200) {
                QCOMPARE(stored.body, body);
                QCOMPARE(stored.header("ETag"), eTag);
            }
        }
    }

    void ossPutObjectWithCallback()
    {
        const QByteArray vid = vidOf(kOssUid, "put-callback");
        const QJsonObject d = ossInit(vid, QStringLiteral("103"));
        const OssAccess oss{d.value("bucketName").toString(), d.value("accessId").toString(),
                            d.value("accessKey").toString(), d.value("callback").toString()};
        devhttp::post(url("/uc/video/insertUploadingVideo?vid=") + vid + "&sign=" + bookkeepingSign(m_base.mid(7), vid)
                      + "&title=put&childuserid=&cataid=103");
        OssCall put;
        put.key = "uploadvideo/20260101/" + vid + ".mp4";
        put.body = patternBytes(70000, 21);
        put.contentMd5 = QCryptographicHash::hash(put.body, QCryptographicHash::Md5).toBase64();
        put.ossHeaders = {"x-oss-callback: " + oss.callback.toUtf8().toBase64()};
        const Reply r = ossCall(oss, put);
        if (r.status == 404)
            QSKIP("the OSS store is not built in");
        QVERIFY2(r.status == 200, r.body.constData());
        QCOMPARE(QJsonDocument::fromJson(r.body).object().value("status").toString(), QStringLiteral("success"));
        const devsvc::VideoState v = m_service->video(QString::fromLatin1(vid));
        QVERIFY(v.exists);
        QCOMPARE(v.size, qint64(put.body.size()));
        QCOMPARE(v.cataid, QStringLiteral("103"));
    }

    void wcsWholeBlockInOneBody()
    {
        const qint64 size = 2 * 4194304 + 12345;
        const QByteArray file = patternBytes(int(size), 17);
        const QByteArray vid = vidOf(kWcsUid, "wcs-whole-block");
        const QString token = wcsInit(vid, size).json().value("data").toObject().value("uploadToken").toString();
        const QByteArray batch = "batch-whole-block";
        // Block 0 whole in one body.
        const Reply b0 = wcsPost("/mkblk/4194304/0", file.left(4194304), token, batch);
        QCOMPARE(b0.status, 200L);
        QCOMPARE(qint64(b0.json().value("offset").toDouble()), qint64(4194304));
        QCOMPARE(quint32(b0.json().value("crc32").toDouble()),
                 quint32(crc32(0, reinterpret_cast<const Bytef *>(file.constData()), 4194304)));
        // Block 1: a first chunk, then the other 3 MiB in one body.
        const QString c1 = wcsPost("/mkblk/4194304/1", file.mid(4194304, 1048576), token, batch).json().value("ctx").toString();
        QCOMPARE(wcsPost(QStringLiteral("/bput/%1/1048576").arg(c1), file.mid(4194304 + 1048576, 3 * 1048576 + 1), token, batch)
                     .status,
                 400L); // one byte beyond the block
        const Reply rest = wcsPost(QStringLiteral("/bput/%1/1048576").arg(c1), file.mid(4194304 + 1048576, 3 * 1048576),
                                   token, batch);
        QCOMPARE(rest.status, 200L);
        // Only bodies beyond the block are refused.
        QCOMPARE(wcsPost("/mkblk/4194304/0", QByteArray(4194305, 'x'), token, batch).status, 413L);
        QCOMPARE(wcsPost("/mkblk/12345/2", file.mid(2 * 4194304) + "x", token, batch).status, 400L);
        const Reply b2 = wcsPost("/mkblk/12345/2", file.mid(2 * 4194304), token, batch);
        QCOMPARE(b2.status, 200L);
        const QByteArray ctxList = (QStringList{b0.json().value("ctx").toString(), rest.json().value("ctx").toString(),
                                                b2.json().value("ctx").toString()})
                                       .join(',')
                                       .toUtf8();
        const Reply made = devhttp::post(url(QStringLiteral("/mkfile/%1").arg(size)), ctxList,
                                         {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch});
        QCOMPARE(made.status, 200L);
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
    }

    void wcsAuthorizationForms_data()
    {
        QTest::addColumn<QString>("form"); // %1 stands for the upload token
        QTest::addColumn<long>("status");
        QTest::newRow("bare token") << "%1" << 200L;
        QTest::newRow("UpToken scheme") << "UpToken %1" << 200L;
        QTest::newRow("UpToken scheme, lower case") << "uptoken %1" << 200L;
        QTest::newRow("UpToken with another token") << "UpToken x%1" << 401L;
        QTest::newRow("another scheme") << "Bearer %1" << 401L;
    }
    void wcsAuthorizationForms()
    {
        QFETCH(QString, form);
        QFETCH(long, status);
        const QByteArray vid = vidOf(kWcsUid, "wcs-auth-form");
        const QString token = wcsInit(vid, 3000).json().value("data").toObject().value("uploadToken").toString();
        const QString header = form.arg(token);
        const QByteArray file = patternBytes(3000, 5);
        const Reply block = wcsPost("/mkblk/3000/0", file, header, "batch-auth-form");
        QCOMPARE(block.status, status);
        if (status != 200) {
            QCOMPARE(block.json().value("code").toInt(), 401);
            return;
        }
        const Reply made = devhttp::post(url("/mkfile/3000"), block.json().value("ctx").toString().toUtf8(),
                                         {"Authorization: " + header.toUtf8(), "uploadBatch: batch-auth-form"});
        QCOMPARE(made.status, 200L);
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
    }

    void refusalReadableWhileSending_data()
    {
        QTest::addColumn<QByteArray>("head"); // %TOKEN% and %CTX% stand for a valid token and ctx
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<QByteArray>("status");
        const QByteArray wcs = "Content-Type: application/octet-stream\r\nHost: x\r\n";
        QTest::newRow("block with a bad token")
            << "POST /mkblk/4194304/0 HTTP/1.1\r\n" + wcs + "Authorization: nope\r\nuploadBatch: b\r\nContent-Length: 8388608\r\n\r\n"
            << 8388608 << QByteArray("401");
        QTest::newRow("chunk without its batch")
            << "POST /bput/%CTX%/1048576 HTTP/1.1\r\n" + wcs + "Authorization: %TOKEN%\r\nContent-Length: 8388608\r\n\r\n"
            << 8388608 << QByteArray("400");
        QTest::newRow("chunk at a wrong offset")
            << "POST /bput/%CTX%/999 HTTP/1.1\r\n" + wcs
                   + "Authorization: %TOKEN%\r\nuploadBatch: batch-refusal\r\nContent-Length: 3145728\r\n\r\n"
            << 3145728 << QByteArray("400");
        QTest::newRow("block beyond the block size")
            << "POST /mkblk/4194304/0 HTTP/1.1\r\n" + wcs
                   + "Authorization: %TOKEN%\r\nuploadBatch: batch-refusal\r\nContent-Length: 5242880\r\n\r\n"
            << 5242880 << QByteArray("413");
        QTest::newRow("part with a wrong signature")
            << QByteArray("PUT /zavix-video/uploadvideo/x.mp4?partNumber=1&uploadId=u HTTP/1.1\r\nHost: x\r\n"
                          "Date: %DATE%\r\nAuthorization: OSS nobody:c2lnbmF0dXJl\r\nContent-Length: 8388608\r\n\r\n")
            << 8388608 << QByteArray("403");
        QTest::newRow("body to an unknown path")
            << QByteArray("POST /no/such/path HTTP/1.1\r\nHost: x\r\nContent-Length: 8388608\r\n\r\n") << 8388608
            << QByteArray("404");
    }
    void refusalReadableWhileSending()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, bodySize);
        QFETCH(QByteArray, status);
        const QByteArray vid = vidOf(kWcsUid, "wcs-refusal");
        const QString token = wcsInit(vid, 4194304).json().value("data").toObject().value("uploadToken").toString();
        const QString ctx = wcsPost("/mkblk/4194304/0", patternBytes(1048576, 2), token, "batch-refusal").json().value("ctx").toString();
        QVERIFY(!ctx.isEmpty());
        head.replace("%TOKEN%", token.toUtf8()).replace("%CTX%", ctx.toUtf8()).replace("%DATE%", httpDate());
        // The body goes out in pieces with pauses, so the client is still
        // sending long after a hasty server would have answered and closed.
        const devhttp::SlowSend sent = devhttp::slowSend(m_service->port(), head, bodySize, 16, 15);
        QVERIFY2(sent.sentAll, "the service cut the connection while the body was still coming");
        QVERIFY2(sent.answer.startsWith("HTTP/1.1 " + status), sent.answer.left(200).constData());
        // And the service still serves.
        QCOMPARE(categories(kOssUid, kOssSecret, devhttp::nowPtime()).json().value("code").toInt(), 200);
    }

    void uploadingStatusUntilFinished_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("cataid");
        QTest::addColumn<QString>("finish"); // "mkfile", "callback", "cancel"
        QTest::addColumn<QString>("after");  // status listed afterwards; empty: not listed
        QTest::newRow("WCS mkfile") << kWcsUid << kWcsSecret << "201" << "mkfile" << "10";
        QTest::newRow("OSS callback") << kOssUid << kOssSecret << "101" << "callback" << "10";
        QTest::newRow("cancelled") << kOssUid << kOssSecret << "101" << "cancel" << "";
    }
    void uploadingStatusUntilFinished()
    {
        QFETCH(QString, uid);
        QFETCH(QString, secret);
        QFETCH(QString, cataid);
        QFETCH(QString, finish);
        QFETCH(QString, after);
        const QByteArray vid = vidOf(uid, "uploading-" + finish.toUtf8());
        const QByteArray sign = bookkeepingSign(m_base.mid(7), vid);
        const QByteArray tail = "?vid=" + vid + "&sign=" + sign + "&title=" + devhttp::encode("上传中 1")
                                + "&childuserid=&cataid=" + cataid.toUtf8();
        QCOMPARE(statusInList(uid, secret, cataid, vid), QString());
        QCOMPARE(devhttp::post(url("/uc/video/insertUploadingVideo") + tail).json().value("code").toInt(), 200);
        QCOMPARE(statusInList(uid, secret, cataid, vid), QStringLiteral("5"));
        // Listed, but not yet held: the bookkeeping still says "0".
        QCOMPARE(devhttp::post(url("/uc/video/checkUploadingVideo?vid=") + vid + "&sign=" + sign).body, QByteArray("0"));

        if (finish == QLatin1String("mkfile")) {
            const QString token = wcsInit(vid, 1000).json().value("data").toObject().value("uploadToken").toString();
            const QString ctx = wcsPost("/mkblk/1000/0", patternBytes(1000, 1), token, "batch-uploading").json().value("ctx").toString();
            QCOMPARE(devhttp::post(url("/mkfile/1000"), ctx.toUtf8(),
                                   {"Authorization: " + token.toUtf8(), "uploadBatch: batch-uploading"}).status,
                     200L);
        } else if (finish == QLatin1String("callback")) {
            const QByteArray body = "bucket=zavix-video&object=uploadvideo%2F20260101%2F" + vid
                                    + ".mp4&size=5000&etag=%22AB%22&mimeType=video%2Fmp4";
            QCOMPARE(devhttp::post(url("/uc/video/ossCallback"), body).status, 200L);
        } else {
            QCOMPARE(devhttp::get(url("/uc/video/cancelUploadingVideo") + tail).json().value("code").toInt(), 200);
        }
        QCOMPARE(statusInList(uid, secret, cataid, vid), after);
    }

    void wcsCtxSurvivesServiceRestart()
    {
        const QString program = qEnvironmentVariable("ZAVIX_BUILD_DIR") + QStringLiteral("/devservice/devservice");
        if (!QFileInfo::exists(program))
            QSKIP("the devservice program is not built");
        struct BaseGuard
        {
            QByteArray &base;
            const QByteArray saved;
            ~BaseGuard() { base = saved; }
        } guard{m_base, m_base};
        QTemporaryDir data;
        QProcess first;
        m_base = startProgram(first, data.path());
        QVERIFY(!m_base.isEmpty());

        const QByteArray file = patternBytes(4194304 + 2 * 1048576, 23);
        const QByteArray vid = vidOf(kWcsUid, "wcs-restart");
        const QString token = wcsInit(vid, file.size()).json().value("data").toObject().value("uploadToken").toString();
        const QByteArray batch = "batch-restart";
        const Reply b0 = wcsPost("/mkblk/4194304/0", file.left(4194304), token, batch);
        QCOMPARE(b0.status, 200L);
        const Reply c0 = wcsPost("/mkblk/2097152/1", file.mid(4194304, 1048576), token, batch);
        QCOMPARE(c0.status, 200L);
        // The upload token is a secret: the file that keeps it is the owner's only.
        const QFile::Permissions kept = QFileInfo(data.filePath("wcs-tickets.json")).permissions();
        QVERIFY(kept & QFile::ReadOwner);
        QVERIFY(!(kept & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)));

        // The service is killed mid-upload and started again on the same data.
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QProcess second;
        m_base = startProgram(second, data.path());
        QVERIFY(!m_base.isEmpty());

        const Reply c1 = wcsPost(QStringLiteral("/bput/%1/1048576").arg(c0.json().value("ctx").toString()),
                                 file.mid(4194304 + 1048576), token, batch);
        QVERIFY2(c1.status == 200, c1.body.constData());
        const QByteArray ctxList = (b0.json().value("ctx").toString() + ',' + c1.json().value("ctx").toString()).toUtf8();
        const Reply made = devhttp::post(url(QStringLiteral("/mkfile/%1").arg(file.size())), ctxList,
                                         {"Authorization: " + token.toUtf8(), "uploadBatch: " + batch});
        QVERIFY2(made.status == 200, made.body.constData());
        QCOMPARE(made.json().value("hash").toString().toLatin1(), devhttp::md5Hex(file));
        second.terminate();
        QVERIFY(second.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestDevService)
#include "tst_devservice.moc"
