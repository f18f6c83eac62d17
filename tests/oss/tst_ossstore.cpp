// The emulator's OSS store spoken to directly: multipart rules, paging,
// abort, form upload and digest-only storage.

#include "ossrig.h"

#include "oss/OssClient.h"
#include "oss/OssCrypto.h"
#include "oss/OssOperations.h"
#include "oss/OssXml.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace AlibabaCloud::OSS;
using namespace AlibabaCloud::OSS::detail;

namespace {

// Raw signed requests on one connection.
class Raw
{
public:
    explicit Raw(OssRig &rig)
        : m_context(rig.endpoint(), rig.store().credentials().accessKeyId.toStdString(),
                    rig.store().credentials().accessKeySecret.toStdString(), ClientConfiguration()),
          m_session(m_context), m_ops(m_context, m_session), m_bucket(rig.store().bucket().toStdString())
    {
    }
    std::string initiate(const std::string &key)
    {
        const auto outcome = m_ops.initiate(m_bucket, key);
        return outcome.isSuccess() ? outcome.result() : std::string();
    }
    HttpResponse part(const std::string &key, const std::string &uploadId, int number, const std::string &bytes)
    {
        HttpRequest request;
        request.method = "PUT";
        request.memoryBody = &bytes;
        return m_ops.send(request, m_bucket, key, {{"partNumber", std::to_string(number)}, {"uploadId", uploadId}},
                          std::string(), "application/octet-stream");
    }
    HttpResponse complete(const std::string &key, const std::string &uploadId, const std::string &body)
    {
        HttpRequest request;
        request.method = "POST";
        request.memoryBody = &body;
        return m_ops.send(request, m_bucket, key, {{"uploadId", uploadId}}, std::string(), "application/xml");
    }
    HttpResponse list(const std::string &key, const std::string &uploadId, const std::string &query)
    {
        HttpRequest request;
        request.method = "GET";
        return m_ops.send(request, m_bucket, key, {{"uploadId", uploadId}}, query, std::string());
    }
    HttpResponse get(const std::string &key)
    {
        HttpRequest request;
        request.method = "GET";
        return m_ops.send(request, m_bucket, key, {}, std::string(), std::string());
    }
    OssOperations &ops() { return m_ops; }
    const std::string &bucket() const { return m_bucket; }

private:
    ClientContext m_context;
    HttpSession m_session;
    OssOperations m_ops;
    std::string m_bucket;
};

std::string bytes(std::size_t size, char fill)
{
    return std::string(size, fill);
}

std::string code(const HttpResponse &response)
{
    return xmlValue(response.body, "Code");
}

struct FormAnswer
{
    long status = 0;
    std::string body;
};

size_t collect(char *data, size_t size, size_t count, void *user)
{
    static_cast<std::string *>(user)->append(data, size * count);
    return size * count;
}

FormAnswer postForm(const std::string &url, const QMap<QString, QByteArray> &fields, const QByteArray &file)
{
    FormAnswer answer;
    CURL *curl = curl_easy_init();
    curl_mime *mime = curl_mime_init(curl);
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        curl_mimepart *part = curl_mime_addpart(mime);
        curl_mime_name(part, it.key().toUtf8().constData());
        curl_mime_data(part, it.value().constData(), size_t(it.value().size()));
    }
    curl_mimepart *part = curl_mime_addpart(mime);
    curl_mime_name(part, "file");
    curl_mime_filename(part, "NetSpeedTest.mp4");
    curl_mime_data(part, file.constData(), size_t(file.size()));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_mime_free(mime);
    curl_easy_cleanup(curl);
    return answer;
}

} // namespace

class TestOssStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<OssRig> m_rig;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        InitializeSdk();
        m_rig = std::make_unique<OssRig>(m_dir.filePath(QStringLiteral("store")));
    }
    void cleanupTestCase()
    {
        m_rig.reset();
        ShutdownSdk();
    }

    void partAnswerCarriesItsMd5()
    {
        Raw raw(*m_rig);
        const std::string id = raw.initiate("p/etag.bin");
        QVERIFY(!id.empty());
        const std::string body = bytes(1000, 'x');
        const HttpResponse answer = raw.part("p/etag.bin", id, 1, body);
        QCOMPARE(answer.status, 200L);
        QCOMPARE(answer.header("etag"), '"' + md5Hex(body, true) + '"');
        QVERIFY(!answer.header("x-oss-request-id").empty());
    }

    void completeRules_data()
    {
        QTest::addColumn<QList<int>>("sizes");     // parts uploaded, in KiB
        QTest::addColumn<QList<int>>("listed");    // part numbers in the complete body
        QTest::addColumn<bool>("wrongETag");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::newRow("small last part is fine") << QList<int>{100, 100, 1} << QList<int>{1, 2, 3} << false << 200 << "";
        QTest::newRow("one small part alone") << QList<int>{3} << QList<int>{1} << false << 200 << "";
        QTest::newRow("small middle part") << QList<int>{100, 99, 100} << QList<int>{1, 2, 3} << false << 400
                                           << "EntityTooSmall";
        QTest::newRow("descending") << QList<int>{100, 100} << QList<int>{2, 1} << false << 400 << "InvalidPartOrder";
        QTest::newRow("repeated number") << QList<int>{100, 100} << QList<int>{1, 1} << false << 400 << "InvalidPartOrder";
        QTest::newRow("part never sent") << QList<int>{100} << QList<int>{1, 2} << false << 400 << "InvalidPart";
        QTest::newRow("wrong ETag") << QList<int>{100, 100} << QList<int>{1, 2} << true << 400 << "InvalidPart";
        QTest::newRow("gaps and leftovers") << QList<int>{100, 100, 100, 50} << QList<int>{1, 3, 4} << false << 200 << "";
    }
    void completeRules()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(QList<int>, listed);
        QFETCH(bool, wrongETag);
        QFETCH(int, status);
        QFETCH(QString, code);
        Raw raw(*m_rig);
        const std::string key = "rules/" + std::string(QTest::currentDataTag()) + ".bin";
        const std::string id = raw.initiate(key);
        std::vector<std::string> contents;
        std::vector<std::string> eTags;
        for (int i = 0; i < sizes.size(); ++i) {
            contents.push_back(bytes(size_t(sizes[i]) * 1024, char('a' + i)));
            const HttpResponse answer = raw.part(key, id, i + 1, contents.back());
            QCOMPARE(answer.status, 200L);
            eTags.push_back(answer.header("etag"));
        }
        std::vector<CheckpointPart> parts;
        std::string expected;
        for (int n : listed) {
            const bool known = n <= int(eTags.size());
            parts.push_back({uint32_t(n), 0, known ? eTags[size_t(n - 1)] : std::string("\"00\"")});
            if (known)
                expected += contents[size_t(n - 1)];
        }
        if (wrongETag)
            parts.back().eTag = "\"" + md5Hex("other", true) + "\"";
        const HttpResponse answer = raw.complete(key, id, OssOperations::completeBody(parts));
        QCOMPARE(answer.status, long(status));
        QCOMPARE(QString::fromStdString(detail::xmlValue(answer.body, "Code")), code);
        const devsvc::OssObjectInfo info = m_rig->store().object(QString::fromStdString(key));
        QCOMPARE(info.exists, status == 200);
        if (status == 200) {
            QCOMPARE(info.size, qint64(expected.size()));
            QCOMPARE(info.md5, QByteArray::fromStdString(md5Hex(expected, false)));
            QCOMPARE(QString::fromStdString(xmlValue(answer.body, "Key")), QString::fromStdString(key));
            // Stored bytes can be read back.
            const HttpResponse back = raw.get(key);
            QCOMPARE(back.status, 200L);
            QCOMPARE(back.body.size(), expected.size());
        } else {
            // A refused complete keeps the upload open for a corrected try.
            QCOMPARE(raw.list(key, id, std::string()).status, 200L);
        }
    }

    void listPartsPages()
    {
        Raw raw(*m_rig);
        const std::string key = "pages/p.bin";
        const std::string id = raw.initiate(key);
        for (int n : {5, 1, 4, 2, 3})
            QCOMPARE(raw.part(key, id, n, bytes(size_t(n), 'p')).status, 200L);
        QStringList seen;
        std::string marker;
        int pages = 0;
        for (;; ++pages) {
            const HttpResponse page = raw.list(key, id, "max-parts=2" + (marker.empty() ? "" : "&part-number-marker=" + marker));
            QCOMPARE(page.status, 200L);
            for (const std::string &part : xmlElements(page.body, "Part"))
                seen << QString::fromStdString(xmlValue(part, "PartNumber")) + ':' +
                            QString::fromStdString(xmlValue(part, "Size"));
            if (xmlValue(page.body, "IsTruncated") != "true")
                break;
            marker = xmlValue(page.body, "NextPartNumberMarker");
            QVERIFY(pages < 5);
        }
        QCOMPARE(pages, 2);
        QCOMPARE(seen, (QStringList{"1:1", "2:2", "3:3", "4:4", "5:5"}));
        // The client's own reader follows the pages too.
        const auto all = raw.ops().listParts(raw.bucket(), key, id);
        QVERIFY(all.isSuccess());
        QCOMPARE(all.result().size(), size_t(5));
    }

    void abortEndsTheUpload()
    {
        Raw raw(*m_rig);
        const std::string key = "abort/a.bin";
        const std::string id = raw.initiate(key);
        QCOMPARE(raw.part(key, id, 1, bytes(10, 'a')).status, 200L);
        const int open = m_rig->store().openUploadCount();
        QVERIFY(raw.ops().abortUpload(raw.bucket(), key, id).isSuccess());
        QCOMPARE(m_rig->store().openUploadCount(), open - 1);
        for (const HttpResponse &r : {raw.list(key, id, std::string()), raw.part(key, id, 2, bytes(10, 'b'))}) {
            QCOMPARE(r.status, 404L);
            QCOMPARE(code(r), std::string("NoSuchUpload"));
        }
        QVERIFY(!QDir(m_dir.filePath(QStringLiteral("store/oss/uploads/") + QString::fromStdString(id))).exists());
        const HttpResponse bad = raw.part(key, "unknown", 1, "x");
        QCOMPARE(code(bad), std::string("NoSuchUpload"));
        const std::string otherId = raw.initiate(key);
        QCOMPARE(code(raw.part(key, otherId, 10001, "x")), std::string("InvalidArgument"));
    }

    void formUpload_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<long>("status");
        QTest::newRow("signed policy") << "ok" << 204L;
        QTest::newRow("wrong signature") << "signature" << 403L;
        QTest::newRow("expired policy") << "expired" << 403L;
        QTest::newRow("unknown key id") << "id" << 403L;
        QTest::newRow("no key field") << "nokey" << 400L;
    }
    void formUpload()
    {
        QFETCH(QString, variant);
        QFETCH(long, status);
        const devsvc::OssCredentials c = m_rig->store().credentials();
        const QDateTime expiry = QDateTime::currentDateTimeUtc().addSecs(variant == QLatin1String("expired") ? -60 : 600);
        QJsonObject policyObject{{QStringLiteral("expiration"), expiry.toString(Qt::ISODateWithMs)},
                                 {QStringLiteral("conditions"), QJsonArray{QJsonArray{"content-length-range", 0, 104857600}}}};
        const QByteArray policy = QJsonDocument(policyObject).toJson(QJsonDocument::Compact).toBase64();
        QByteArray signature = QByteArray::fromStdString(hmacSha1Base64(c.accessKeySecret.toStdString(), policy.toStdString()));
        if (variant == QLatin1String("signature"))
            signature = QByteArray::fromStdString(hmacSha1Base64("wrong", policy.toStdString()));
        const QString key = QStringLiteral("speedtest/%1.mp4").arg(variant);
        QMap<QString, QByteArray> fields{{QStringLiteral("key"), key.toUtf8()},
                                         {QStringLiteral("policy"), policy},
                                         {QStringLiteral("OSSAccessKeyId"), variant == QLatin1String("id") ? QByteArray("LTAInone") : c.accessKeyId.toUtf8()},
                                         {QStringLiteral("Signature"), signature}};
        if (variant == QLatin1String("nokey"))
            fields.remove(QStringLiteral("key"));
        const QByteArray file(300 * 1024, 'f');
        const OssAddress address(m_rig->endpoint(), false);
        const FormAnswer answer = postForm(address.bucketUrl(c.bucket.toStdString()), fields, file);
        QCOMPARE(answer.status, status);
        const devsvc::OssObjectInfo info = m_rig->store().object(key);
        QCOMPARE(info.exists, status == 204);
        if (info.exists) {
            QCOMPARE(info.size, qint64(file.size()));
            QCOMPARE(info.md5, QCryptographicHash::hash(file, QCryptographicHash::Md5).toHex());
        }
    }

    void digestOnlyKeepsNoBytes()
    {
        QTemporaryDir dir;
        OssRig rig(dir.filePath(QStringLiteral("digest")), true);
        const QString path = dir.filePath(QStringLiteral("f.mp4"));
        writeRandomFile(path, 700 * 1024, 4);
        const devsvc::OssCredentials c = rig.store().credentials();
        OssClient client(rig.endpoint(), c.accessKeyId.toStdString(), c.accessKeySecret.toStdString(), ClientConfiguration());
        UploadObjectRequest r(c.bucket.toStdString(), "d/f.mp4", path.toStdString(), dir.path().toStdString());
        r.setPartSize(200 * 1024);
        r.setThreadNum(3);
        const PutObjectOutcome outcome = client.ResumableUploadObject(r);
        QVERIFY2(outcome.isSuccess(), outcome.error().Message().c_str());
        const devsvc::OssObjectInfo info = rig.store().object(QStringLiteral("d/f.mp4"));
        QVERIFY(info.exists);
        QCOMPARE(info.size, qint64(700 * 1024));
        QCOMPARE(info.partCount, 4);
        QVERIFY(info.filePath.isEmpty());
        QVERIFY(info.eTag.endsWith(QLatin1String("-4\"")));
        QDirIterator files(dir.filePath(QStringLiteral("digest")), QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(!files.hasNext(), "digest-only storage writes no file");
    }
};

QTEST_GUILESS_MAIN(TestOssStore)
#include "tst_ossstore.moc"
