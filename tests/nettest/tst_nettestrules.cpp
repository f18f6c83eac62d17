// The speed test's record file and credential request, without a service.

#include "net/api.h"
#include "upload/nettestrecord.h"
#include "upload/nettestrequest.h"
#include "upload/userdatafile.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

class TestNetTestRules final : public QObject
{
    Q_OBJECT

private slots:
    void loading_data()
    {
        QTest::addColumn<QByteArray>("content"); // raw file content; empty: no file
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("uploadType");
        QTest::addColumn<int>("paramType");
        QTest::addColumn<int>("speedA");
        QTest::addColumn<int>("speedB");
        const QByteArray oss = QJsonDocument(QJsonObject{{"paramType", 1}, {"speedA", 5000}, {"speedB", 7}, {"uploadType", 0}})
                                   .toJson().toBase64();
        const QByteArray namesWcs = QJsonDocument(QJsonObject{{"paramType", 1}, {"speedA", 4000}, {"speedB", 0}, {"uploadType", 1}})
                                        .toJson().toBase64();
        QTest::newRow("no file") << QByteArray() << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("not base64 json") << QByteArray("{oops") << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("oss account keeps speeds") << oss << 0 << 0 << 1 << 5000 << 7;
        QTest::newRow("file's uploadType not read") << namesWcs << 0 << 0 << 1 << 4000 << 0;
        QTest::newRow("wcs account loads zeros") << oss << 1 << 1 << 0 << 0 << 0;
    }
    void loading()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, channel);
        QTemporaryDir dir;
        const QString path = nettest::recordPath(dir.path() + QLatin1Char('/'));
        QVERIFY(path.endsWith(QLatin1String("/netparamsInfo.json")));
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const NetTestRecord r = nettest::loadRecord(path, channel);
        QTEST(r.uploadType, "uploadType");
        QTEST(r.paramType, "paramType");
        QTEST(r.speedA, "speedA");
        QTEST(r.speedB, "speedB");
    }

    void savedFileIsBase64OfIndentedJsonInKeyOrder()
    {
        QTemporaryDir dir;
        const QString path = nettest::recordPath(dir.path() + QLatin1Char('/'));
        NetTestRecord r;
        r.uploadType = 1;
        r.paramType = 1;
        r.speedA = 123456;
        QVERIFY(nettest::saveRecord(path, r));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(!content.contains('\n'));
        const QByteArray text = QByteArray::fromBase64(content);
        QCOMPARE(text, QByteArray("{\n    \"paramType\": 1,\n    \"speedA\": 123456,\n    \"speedB\": 0,\n"
                                  "    \"uploadType\": 1\n}\n"));
        QCOMPARE(nettest::loadRecord(path, 0).speedA, 123456);
    }

    void resultToRecord_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("speedA");
        QTest::addColumn<int>("paramType");
        QTest::addColumn<int>("storedA");
        QTest::newRow("measured") << true << 900 << 1 << 900;
        QTest::newRow("zero speed") << true << 0 << 0 << 0;
        QTest::newRow("failed with a speed") << false << 900 << 0 << 0;
    }
    void resultToRecord()
    {
        QFETCH(bool, ok);
        QFETCH(int, speedA);
        const NetTestRecord r = nettest::recordFromResult(1, ok, speedA, 0);
        QCOMPARE(r.uploadType, 1);
        QTEST(r.paramType, "paramType");
        QTEST(r.speedA, "storedA");
        QCOMPARE(r.speedB, 0);
    }

    void modeFollowsUploadTypeOne_data()
    {
        QTest::addColumn<QString>("uploadType");
        QTest::addColumn<int>("mode");
        QTest::newRow("0") << "0" << int(nettest::OssMode);
        QTest::newRow("1") << "1" << int(nettest::WcsMode);
        QTest::newRow("2 runs the oss test") << "2" << int(nettest::OssMode);
        QTest::newRow("empty") << "" << int(nettest::OssMode);
    }
    void modeFollowsUploadTypeOne()
    {
        QFETCH(QString, uploadType);
        QTEST(int(nettest::modeOfUploadType(uploadType)), "mode");
    }

    void credentialRequest_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("uploadType");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("oss") << int(nettest::OssMode) << "/v2/aliyunoss/direct/20001/init" << "client_aliyun_chunk"
                             << QStringList{"cataid", "filename", "filesize", "luping", "ptime", "sign", "title",
                                            "uploadType", "vid"};
        QTest::newRow("wcs") << int(nettest::WcsMode) << "/v2/uploadvideo_wcs/20001/init" << "client_wcs_chunk"
                             << QStringList{"cataid", "describ", "filename", "filesize", "luping", "ptime", "sign",
                                            "tag", "title", "uploadType", "vid"};
    }
    void credentialRequest()
    {
        QFETCH(int, mode);
        QFETCH(QString, path);
        QFETCH(QString, uploadType);
        QFETCH(QStringList, keys);
        nettest::TestAccount account{QStringLiteral("20001"), QStringLiteral("10001"), QStringLiteral("sk"),
                                     QStringLiteral("http://127.0.0.1:1")};
        const nettest::CredentialRequest r =
            nettest::buildCredentialRequest(nettest::Mode(mode), account, 1700000000123);
        const QUrl url(r.url);
        QCOMPARE(url.path(), path);
        const QUrlQuery query(url);
        QStringList names;
        for (const auto &item : query.queryItems())
            names << item.first;
        QCOMPARE(names, keys);
        const QString vid = QStringLiteral("10001") + QString::fromLatin1(QCryptographicHash::hash(
                                                          "NetSpeedTest", QCryptographicHash::Md5).toHex().left(22))
                            + QStringLiteral("_1");
        QCOMPARE(nettest::testVid(QStringLiteral("10001")), vid);
        QCOMPARE(query.queryItemValue("vid"), vid);
        QCOMPARE(query.queryItemValue("cataid"), QStringLiteral("1"));
        QCOMPARE(query.queryItemValue("filesize"), QStringLiteral("52428800"));
        QCOMPARE(query.queryItemValue("filename"), QStringLiteral("NetSpeedTest.mp4"));
        QCOMPARE(query.queryItemValue("title"), QStringLiteral("NetSpeedTest"));
        QCOMPARE(query.queryItemValue("uploadType"), uploadType);
        const QString signText = QStringLiteral("cataid=1&filename=NetSpeedTest.mp4&filesize=52428800&luping=0&"
                                                "ptime=1700000000123&title=NetSpeedTest&uploadType=%1&vid=%2sk")
                                     .arg(uploadType, vid);
        QCOMPARE(r.signText, signText);
        QCOMPARE(query.queryItemValue("sign"), signParams(signText));
    }

    void credentialAnswer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("requestOk");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("accepted");
        const QByteArray oss = R"({"code":200,"status":"success","data":{"policy":"P","dir":"d/","host":"http://127.0.0.1:9/b","accessid":"A","signature":"S"}})";
        const QByteArray wcs = R"({"code":200,"status":"success","data":{"uploadToken":"T","host":"http://127.0.0.1:9"}})";
        QTest::newRow("oss") << int(nettest::OssMode) << true << oss << true;
        QTest::newRow("wcs") << int(nettest::WcsMode) << true << wcs << true;
        QTest::newRow("transfer failed") << int(nettest::WcsMode) << false << wcs << false;
        QTest::newRow("code 401") << int(nettest::WcsMode) << true << QByteArray(R"({"code":401,"message":"x"})") << false;
        QTest::newRow("not json") << int(nettest::OssMode) << true << QByteArray("<html>") << false;
    }
    void credentialAnswer()
    {
        QFETCH(int, mode);
        QFETCH(bool, requestOk);
        QFETCH(QByteArray, body);
        const nettest::Credentials c = nettest::evaluateCredentialAnswer(
            nettest::Mode(mode), requestOk, body, QStringLiteral("/x/NetSpeedTest.mp4"), QDate(2026, 3, 4));
        QTEST(c.accepted, "accepted");
        if (!c.accepted)
            return;
        QCOMPARE(c.params.mode, mode);
        QCOMPARE(c.params.file, QStringLiteral("/x/NetSpeedTest.mp4"));
        QCOMPARE(c.params.keyName, QStringLiteral("NetSpeedTest.mp4"));
        if (mode == nettest::WcsMode) {
            QCOMPARE(c.params.token, QStringLiteral("T"));
            QCOMPARE(c.params.keyPrefix, QStringLiteral("uploadvideo/20260304/"));
            QCOMPARE(c.params.url, QStringLiteral("http://127.0.0.1:9"));
        } else {
            QCOMPARE(c.params.policy, QStringLiteral("P"));
            QCOMPARE(c.params.signature, QStringLiteral("S"));
            QCOMPARE(c.params.accessId, QStringLiteral("A"));
            QCOMPARE(c.params.keyPrefix, QStringLiteral("d/"));
            QCOMPARE(c.params.url, QStringLiteral("http://127.0.0.1:9/b"));
        }
    }

    void testFileMadeOnlyWhenMissing()
    {
        QTemporaryDir dir;
        const QString made = dir.filePath(QStringLiteral("NetSpeedTest.mp4"));
        QVERIFY(nettest::ensureTestFile(made));
        QCOMPARE(QFileInfo(made).size(), nettest::kTestFileSize);

        const QString existing = dir.filePath(QStringLiteral("small.mp4"));
        {
            QFile f(existing);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("abc");
        }
        QVERIFY(nettest::ensureTestFile(existing));
        QCOMPARE(QFileInfo(existing).size(), qint64(3));
    }
};

QTEST_GUILESS_MAIN(TestNetTestRules)
#include "tst_nettestrules.moc"
