// Signing, addressing, checkpoint and callback texts of the OSS client and
// its store, checked without a network.

#include "devservice/oss/osswire.h"
#include "oss/OssAddress.h"
#include "oss/OssCrypto.h"
#include "oss/OssOperations.h"
#include "oss/OssSigner.h"
#include "oss/OssXml.h"
#include "oss/UploadCheckpoint.h"

#include <QtTest>

using namespace AlibabaCloud::OSS;
using namespace AlibabaCloud::OSS::detail;
namespace osswire = devsvc::osswire;

Q_DECLARE_METATYPE(std::string)

class TestOssWire : public QObject
{
    Q_OBJECT

private slots:
    void signatureKnownAnswer()
    {
        const HeaderList headers = {{"Content-Type", "text/html"},
                                    {"X-OSS-Meta-Author", "foo@example.com"},
                                    {"X-OSS-Magic", " abracadabra "},
                                    {"Host", "examplebucket.oss.example.com"}};
        const std::string toSign = stringToSign("PUT", "eB5eJF1ptWaXm4bijSPyxw==", "text/html",
                                                "Thu, 17 Nov 2005 18:49:58 GMT", headers,
                                                canonicalizedResource("examplebucket", "nelson", {}));
        QCOMPARE(QString::fromStdString(toSign),
                 QStringLiteral("PUT\neB5eJF1ptWaXm4bijSPyxw==\ntext/html\nThu, 17 Nov 2005 18:49:58 GMT\n"
                                "x-oss-magic:abracadabra\nx-oss-meta-author:foo@example.com\n/examplebucket/nelson"));
        QCOMPARE(authorization("44CF9590006BF252F707", "OtxrzxIsfpFjA7SwPzILwy8Bw21TLhquhboDYROV", toSign),
                 std::string("OSS 44CF9590006BF252F707:VCCAMxbiMZOiCjkUqrU2BfiKc+I="));
    }

    void clientAndStoreSignAlike_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("query");   // name=value, signed or not
        QTest::addColumn<QStringList>("headers"); // name:value
        QTest::newRow("initiate") << "POST" << "uploadvideo/20261210/a.mp4" << QStringList{"uploads="}
                                  << QStringList{"Content-Type:application/octet-stream"};
        QTest::newRow("part") << "PUT" << "uploadvideo/x.MP4"
                              << QStringList{"uploadId=0A1B", "partNumber=12"} << QStringList{};
        QTest::newRow("list, paging not signed") << "GET" << "k" << QStringList{"uploadId=9", "max-parts=1000", "part-number-marker=3"}
                                                 << QStringList{};
        QTest::newRow("complete with callback") << "POST" << "测试/视频 1.mp4" << QStringList{"uploadId=FF"}
                                                << QStringList{"Content-Type:application/xml", "x-oss-callback:eyJhIjoxfQ==",
                                                               "X-Oss-Callback-Var: e30= "};
    }
    void clientAndStoreSignAlike()
    {
        QFETCH(QString, verb);
        QFETCH(QString, key);
        QFETCH(QStringList, query);
        QFETCH(QStringList, headers);
        const std::string date = rfc1123Date(1765370000);
        HeaderList clientHeaders = {{"Date", date}};
        osswire::HeaderPairs storeHeaders = {{"Date", QByteArray::fromStdString(date)}};
        std::string contentType;
        for (const QString &h : headers) {
            const QString name = h.section(QLatin1Char(':'), 0, 0);
            const QString value = h.section(QLatin1Char(':'), 1);
            clientHeaders.emplace_back(name.toStdString(), value.toStdString());
            storeHeaders.append({name.toUtf8(), value.toUtf8()});
            if (name.compare(QLatin1String("content-type"), Qt::CaseInsensitive) == 0)
                contentType = value.toStdString();
        }
        std::map<std::string, std::string> subResources;
        QMap<QString, QString> params;
        for (const QString &q : query) {
            const QString name = q.section(QLatin1Char('='), 0, 0);
            const QString value = q.section(QLatin1Char('='), 1);
            params.insert(name, value);
            if (name == QLatin1String("uploads") || name == QLatin1String("uploadId") || name == QLatin1String("partNumber"))
                subResources[name.toStdString()] = value.toStdString();
        }
        const std::string client = stringToSign(verb.toStdString(), std::string(), contentType, date, clientHeaders,
                                                canonicalizedResource("bkt", key.toStdString(), subResources));
        const QByteArray store = osswire::stringToSign(verb.toUtf8(), storeHeaders, QStringLiteral("bkt"), key, params);
        QCOMPARE(QByteArray::fromStdString(client), store);
        QCOMPARE(QByteArray::fromStdString(hmacSha1Base64("s3cr3t", client)), osswire::signature("s3cr3t", store));
    }

    void dates()
    {
        QCOMPARE(rfc1123Date(0), std::string("Thu, 01 Jan 1970 00:00:00 GMT"));
        QCOMPARE(rfc1123Date(1765370000), std::string("Wed, 10 Dec 2025 12:33:20 GMT"));
        QCOMPARE(osswire::parseHttpDate("Wed, 10 Dec 2025 12:33:20 GMT").toSecsSinceEpoch(), qint64(1765370000));
        QVERIFY(!osswire::parseHttpDate("yesterday").isValid());
    }

    void addressing_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<bool>("cname");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("url");
        QTest::newRow("IP with port: path style") << "127.0.0.1:18080" << false << "a/b.mp4"
                                                  << "http://127.0.0.1:18080/bkt/a/b.mp4";
        QTest::newRow("localhost keeps its scheme") << "https://LocalHost:9000/" << false << "k"
                                                    << "https://LocalHost:9000/bkt/k";
        QTest::newRow("IPv6") << "[::1]:9000" << false << "k" << "http://[::1]:9000/bkt/k";
        QTest::newRow("domain: virtual-hosted") << "oss-cn-hangzhou.aliyuncs.com" << false << "uploadvideo/1.MP4"
                                                << "http://bkt.oss-cn-hangzhou.aliyuncs.com/uploadvideo/1.MP4";
        QTest::newRow("domain with scheme") << "https://oss.example.com" << false << "k"
                                            << "https://bkt.oss.example.com/k";
        QTest::newRow("not quite an IP") << "1.2.3.example" << false << "k" << "http://bkt.1.2.3.example/k";
        QTest::newRow("custom domain") << "video.example.com" << true << "k" << "http://video.example.com/k";
        QTest::newRow("segments encoded, slash kept") << "127.0.0.1" << false << QStringLiteral("视频/a b+c%.mp4")
                                                      << "http://127.0.0.1/bkt/%E8%A7%86%E9%A2%91/a%20b%2Bc%25.mp4";
    }
    void addressing()
    {
        QFETCH(QString, endpoint);
        QFETCH(bool, cname);
        QFETCH(QString, key);
        QFETCH(QString, url);
        const OssAddress address(endpoint.toStdString(), cname);
        QCOMPARE(QString::fromStdString(address.objectUrl("bkt", key.toUtf8().toStdString())), url);
    }

    void checkpointRoundTripAndDamage()
    {
        UploadCheckpoint cp;
        cp.bucket = "bkt";
        cp.key = "uploadvideo/20261210/\"quoted\" 视频.mp4";
        cp.uploadId = "0123ABCD";
        cp.fileSize = 5 * 1024 * 1024 + 3;
        cp.fileModified = 1765370000;
        cp.partSize = 1024 * 1024;
        cp.parts = {{3, 1048576, "\"AA\""}, {1, 1048576, "\"BB\""}};
        const std::string text = cp.serialize();
        UploadCheckpoint back;
        QVERIFY(UploadCheckpoint::parse(text, back));
        QCOMPARE(back.key, cp.key);
        QCOMPARE(back.fileSize, cp.fileSize);
        QCOMPARE(back.fileModified, cp.fileModified);
        QCOMPARE(back.parts.size(), size_t(2));
        QCOMPARE(back.parts[0].number, 3u);
        QCOMPARE(back.parts[1].eTag, std::string("\"BB\""));

        // Any edit, a cut, or garbage makes the checkpoint unusable.
        std::string edited = text;
        edited.replace(edited.find("\"partSize\": 1"), 13, "\"partSize\": 2");
        QVERIFY(!UploadCheckpoint::parse(edited, back));
        QVERIFY(!UploadCheckpoint::parse(text.substr(0, text.size() / 2), back));
        QVERIFY(!UploadCheckpoint::parse("not json", back));
        QVERIFY(!UploadCheckpoint::parse("{}", back));
    }

    void checkpointSavedAtomically()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("v.mp4.ucp")).toStdString();
        UploadCheckpoint cp;
        cp.bucket = "b";
        cp.key = "k";
        cp.uploadId = "U";
        QVERIFY(cp.save(path));
        cp.parts.push_back({1, 10, "\"E\""});
        QVERIFY(cp.save(path)); // replaces the earlier one
        UploadCheckpoint back;
        QVERIFY(UploadCheckpoint::load(path, back));
        QCOMPARE(back.parts.size(), size_t(1));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("v.mp4.ucp")});
        UploadCheckpoint::remove(path);
        QVERIFY(!UploadCheckpoint::load(path, back));
    }

    void checkpointPathIsNextToTheFile()
    {
        UploadObjectRequest r("b", "k", "/data/videos/My Clip.MP4", "/data/videos");
        QCOMPARE(r.checkpointFilePath(), std::string("/data/videos/My Clip.MP4.ucp"));
        UploadObjectRequest w("b", "k", "C:\\v\\a.mp4", "C:\\v\\");
        QCOMPARE(w.checkpointFilePath(), std::string("C:\\v\\a.mp4.ucp"));
    }

    void completeBodyAndXml()
    {
        const std::string body = OssOperations::completeBody({{1, 5, "\"A1\""}, {2, 5, "\"B2\""}});
        const auto parts = xmlElements(body, "Part");
        QCOMPARE(parts.size(), size_t(2));
        QCOMPARE(xmlValue(parts[1], "PartNumber"), std::string("2"));
        QCOMPARE(xmlValue(parts[0], "ETag"), std::string("\"A1\""));
        // A tag as a hostile store might list it cannot change the body's elements.
        const std::string hostile = OssOperations::completeBody({{1, 5, "\"x</ETag></Part><Part>&"}});
        QCOMPARE(xmlElements(hostile, "Part").size(), size_t(1));
        QCOMPARE(xmlValue(hostile, "ETag"), std::string("\"x</ETag></Part><Part>&"));
        bool found = true;
        QCOMPARE(xmlValue("<Error><Code>NoSuchUpload</Code><Message>a &lt;b&gt; &amp; &quot;c&quot;</Message></Error>",
                          "Message", &found),
                 std::string("a <b> & \"c\""));
        QVERIFY(found);
        xmlValue("<CodeX>1</CodeX>", "Code", &found);
        QVERIFY(!found);
    }

    void callbackBody_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("form encoded") << "bucket=${bucket}&object=${object}&size=${size}&x=${x:var}&none=${nope}"
                                      << "application/x-www-form-urlencoded"
                                      << QByteArray("bucket=bkt&object=a%2F%E8%A7%86%20%26.mp4&size=12&x=v%3D1&none=");
        QTest::newRow("json") << "{\"object\":\"${object}\",\"size\":${size}}" << "application/json"
                              << QByteArray("{\"object\":\"a/\xe8\xa7\x86 &.mp4\",\"size\":12}");
        QTest::newRow("unterminated variable") << "a=${bucket" << "" << QByteArray("a=${bucket");
    }
    void callbackBody()
    {
        QFETCH(QString, body);
        QFETCH(QString, type);
        QFETCH(QByteArray, expected);
        const QMap<QString, QString> values = {{QStringLiteral("bucket"), QStringLiteral("bkt")},
                                               {QStringLiteral("object"), QStringLiteral("a/视 &.mp4")},
                                               {QStringLiteral("size"), QStringLiteral("12")},
                                               {QStringLiteral("x:var"), QStringLiteral("v=1")}};
        QCOMPARE(osswire::expandCallbackBody(body, type, values), expected);
    }

    void loopbackOnly_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
        QTest::newRow("127.3.4.5") << "127.3.4.5" << true;
        QTest::newRow("localhost") << "LOCALHOST" << true;
        QTest::newRow("::1") << "::1" << true;
        QTest::newRow("public address") << "192.0.2.1" << false;
        QTest::newRow("name") << "example.com" << false;
        QTest::newRow("127 as a name prefix") << "127.0.0.1.example.com" << false;
    }
    void loopbackOnly()
    {
        QFETCH(QString, host);
        QFETCH(bool, allowed);
        QCOMPARE(osswire::isLoopbackHost(host), allowed);
    }
};

QTEST_GUILESS_MAIN(TestOssWire)
#include "tst_osswire.moc"
