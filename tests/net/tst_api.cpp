#include "net/api.h"
#include "net/servicehosts.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

class TestApi final : public QObject
{
    Q_OBJECT

private slots:
    void workedSigningExample();
    void sortedKeyOrder();
    void templateAndSortedRuleAgree();
    void conditionalRuleSkipsEmptyValues_data();
    void conditionalRuleSkipsEmptyValues();
    void signedTextKeepsRawValues();
    void urlEncode_data();
    void urlEncode();
    void ptimeIsCurrentMilliseconds();
    void envelope_data();
    void envelope();
    void ptimeRejection_data();
    void ptimeRejection();
    void hostsFollowServiceUrl_data();
    void hostsFollowServiceUrl();
    void hostsDefaultToLocalMachine();
    void loggableAnswer_data();
    void loggableAnswer();
};

void TestApi::workedSigningExample()
{
    const QString secret = QStringLiteral("8c4a7f3e2b1d");
    const QString text = sortedSignText({{"cataflag", "1"},
                                         {"cataid", "1"},
                                         {"numPerPage", "20"},
                                         {"pageNum", "1"},
                                         {"ptime", "1511856000000"}},
                                        secret);
    QCOMPARE(text, QStringLiteral("cataflag=1&cataid=1&numPerPage=20&pageNum=1&ptime=1511856000000")
                       + secret);
    const QString sign = signParams(text);
    QCOMPARE(sign, QStringLiteral("C4017E79EC1A2C424BE4A29ECA46BF6190833793"));
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{40}$")).match(sign).hasMatch());
    // Same parameters, same time stamp, same key: same signature.
    QCOMPARE(signSorted({{"pageNum", "1"}, {"ptime", "1511856000000"}, {"cataflag", "1"},
                         {"numPerPage", "20"}, {"cataid", "1"}},
                        secret),
             sign);
}

void TestApi::sortedKeyOrder()
{
    const QString text = sortedSignText({{"vid", "8"},
                                         {"uploadType", "7"},
                                         {"ptime", "6"},
                                         {"pageNum", "5"},
                                         {"numPerPage", "4"},
                                         {"cataname", "3"},
                                         {"cataid", "2"},
                                         {"cataflag", "1"}},
                                        QStringLiteral("KEY"));
    QCOMPARE(text, QStringLiteral("cataflag=1&cataid=2&cataname=3&numPerPage=4&pageNum=5&ptime=6"
                                  "&uploadType=7&vid=8KEY"));
    // Plain byte order: upper-case letters sort before lower-case ones.
    QCOMPARE(sortedSignText({{"b", "2"}, {"Z", "1"}, {"a", "3"}}, QString()),
             QStringLiteral("Z=1&a=3&b=2"));
}

void TestApi::templateAndSortedRuleAgree()
{
    const QString secret = QStringLiteral("sk");
    const QString fromTemplate =
        QStringLiteral("ptime=%1&vid=%2%3").arg(QStringLiteral("1511856000000"), QString(), secret);
    // Under rule 1 an empty value keeps its key.
    QCOMPARE(sortedSignText({{"vid", ""}, {"ptime", "1511856000000"}}, secret), fromTemplate);
    QCOMPARE(fromTemplate, QStringLiteral("ptime=1511856000000&vid=sk"));
}

void TestApi::conditionalRuleSkipsEmptyValues_data()
{
    QTest::addColumn<QList<SignPair>>("params");
    QTest::addColumn<QString>("expected");
    const QList<SignPair> all{{"vid", "v1"}, {"title", "t"}, {"tag", "g"}, {"ptime", "9"}, {"describ", "d"}};
    QTest::newRow("all present") << all << "describ=d&ptime=9&tag=g&title=t&vid=v1SK";
    QTest::newRow("empty tag and describ")
        << QList<SignPair>{{"vid", "v1"}, {"title", "t"}, {"tag", ""}, {"ptime", "9"}, {"describ", ""}}
        << "ptime=9&title=t&vid=v1SK";
    QTest::newRow("first key empty")
        << QList<SignPair>{{"describ", ""}, {"ptime", "9"}} << "ptime=9SK";
    QTest::newRow("all empty") << QList<SignPair>{{"a", ""}, {"b", ""}} << "SK";
}

void TestApi::conditionalRuleSkipsEmptyValues()
{
    QFETCH(QList<SignPair>, params);
    QFETCH(QString, expected);
    QCOMPARE(conditionalSignText(params, QStringLiteral("SK")), expected);
}

void TestApi::signedTextKeepsRawValues()
{
    const QString name = QStringLiteral("新 分类");
    const QString text =
        sortedSignText({{"ptime", "1511856000000"}, {"parentid", "0"}, {"cataname", name}}, "sk");
    QCOMPARE(text, QStringLiteral("cataname=新 分类&parentid=0&ptime=1511856000000sk"));
    QCOMPARE(signParams(text), QStringLiteral("B8CC9A6828F36A2C437B9A93C219AC7A0FA0EEF5"));
    // ... while the body carries the encoded name.
    QCOMPARE(::urlEncode(name), QByteArray("%E6%96%B0+%E5%88%86%E7%B1%BB"));
}

void TestApi::urlEncode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("unreserved kept") << "AZaz09-_.~" << QByteArray("AZaz09-_.~");
    QTest::newRow("blanks") << " a  b " << QByteArray("+a++b+");
    QTest::newRow("chinese") << QStringLiteral("中文") << QByteArray("%E4%B8%AD%E6%96%87");
    QTest::newRow("reserved") << "a&b=c/d?e" << QByteArray("a%26b%3Dc%2Fd%3Fe");
    QTest::newRow("plus and percent") << "+%" << QByteArray("%2B%25");
    QTest::newRow("e-mail") << "user@example.com" << QByteArray("user%40example.com");
    QTest::newRow("control and quote") << "\t\"\r\n" << QByteArray("%09%22%0D%0A");
}

void TestApi::urlEncode()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(::urlEncode(input), expected);
    QCOMPARE(::urlEncode(input.toUtf8()), expected);
}

void TestApi::ptimeIsCurrentMilliseconds()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const qint64 p = currentPtime();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(p >= before && p <= after);
    QCOMPARE(QString::number(p).size(), 13);
}

void TestApi::envelope_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<bool>("code200");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("message");
    QTest::newRow("success")
        << R"({"code":200,"status":"success","message":"ok","data":{"a":1}})" << true << true << true << "ok";
    QTest::newRow("code 400") << R"({"code":400,"status":"error","message":"bad"})" << true << false
                              << false << "bad";
    QTest::newRow("time stamp")
        << R"({"code":400,"status":"error","message":"ptime is too old."})" << true << false << false
        << "ptime is too old.";
    QTest::newRow("code as text") << R"({"code":"200","status":"success"})" << true << false << true << "";
    QTest::newRow("array") << R"([{"code":200}])" << false << false << false << "";
    QTest::newRow("not json") << "error" << false << false << false << "";
    QTest::newRow("empty") << "" << false << false << false << "";
    QTest::newRow("truncated") << R"({"code":200,)" << false << false << false << "";
    QTest::newRow("html") << "<html><body>502</body></html>" << false << false << false << "";
}

void TestApi::envelope()
{
    QFETCH(QString, text);
    QFETCH(bool, parsed);
    QFETCH(bool, code200);
    QFETCH(bool, success);
    QFETCH(QString, message);
    const ApiEnvelope env = parseEnvelope(text);
    QCOMPARE(env.parsed, parsed);
    QCOMPARE(env.codeIs200(), code200);
    QCOMPARE(env.isSuccess(), success);
    QCOMPARE(env.message, message);
}

void TestApi::ptimeRejection_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("expected");
    const int exact = int(PtimeMatch::Exact), is = int(PtimeMatch::ContainsPtimeIs),
              any = int(PtimeMatch::ContainsPtime), old = int(PtimeMatch::ContainsTooOld);
    QTest::newRow("exact old") << "ptime is too old." << exact << true;
    QTest::newRow("exact illegal") << "ptime is illegal." << exact << true;
    QTest::newRow("exact needs equality") << "error: ptime is too old." << exact << false;
    QTest::newRow("exact without dot") << "ptime is too old" << exact << false;
    QTest::newRow("contains 'ptime is'") << "x ptime is illegal." << is << true;
    QTest::newRow("'ptime is' missing") << "ptime missing" << is << false;
    QTest::newRow("contains ptime") << "bad ptime" << any << true;
    QTest::newRow("no ptime") << "sign error" << any << false;
    QTest::newRow("answer too old") << R"({"message":"ptime is too old."})" << old << true;
    QTest::newRow("answer illegal") << R"({"message":"ptime is illegal."})" << old << false;
}

void TestApi::ptimeRejection()
{
    QFETCH(QString, text);
    QFETCH(int, how);
    QFETCH(bool, expected);
    QCOMPARE(isPtimeRejection(text, PtimeMatch(how)), expected);
}

void TestApi::hostsFollowServiceUrl_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("hostName");
    QTest::newRow("with port") << QByteArray("http://127.0.0.1:18080") << "http://127.0.0.1:18080"
                               << "127.0.0.1:18080";
    QTest::newRow("trailing slashes") << QByteArray("http://127.0.0.1:4711//") << "http://127.0.0.1:4711"
                                      << "127.0.0.1:4711";
    QTest::newRow("no port") << QByteArray("http://localhost") << "http://localhost" << "localhost";
}

void TestApi::hostsFollowServiceUrl()
{
    QFETCH(QByteArray, env);
    QFETCH(QString, base);
    QFETCH(QString, hostName);
    qputenv("ZAVIX_SERVICE_URL", env);
    for (const QString &h : {hosts::apiHost(), hosts::accountWebHost(), hosts::uploadHost(),
                             hosts::playerHost(), hosts::downloadHost(), hosts::vendorSite(),
                             hosts::supportChat()})
        QCOMPARE(h, base);
    QCOMPARE(hosts::uploadHostName(), hostName);
    qunsetenv("ZAVIX_SERVICE_URL");
}

void TestApi::hostsDefaultToLocalMachine()
{
    qunsetenv("ZAVIX_SERVICE_URL");
    for (const QString &h : {hosts::apiHost(), hosts::accountWebHost(), hosts::uploadHost(),
                             hosts::playerHost(), hosts::downloadHost(), hosts::vendorSite(),
                             hosts::supportChat()}) {
        QVERIFY(!h.endsWith(QLatin1Char('/')));
        QVERIFY2(QUrl(h).host().startsWith(QLatin1String("127.")), qPrintable(h));
    }
}

void TestApi::loggableAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("logged");
    QTest::newRow("oss init") << QByteArray(R"({"code":200,"status":"success","message":"","data":{
        "remainSpace":1073741824,"bucketName":"zavix-video","endpoint":"http://127.0.0.1:9",
        "accessId":"AKID-1","accessKey":"AKSECRET-2","token":"STS-3","callback":"{\"url\":\"x\"}"}})")
                              << R"({"code":200,"data":{"bucketName":"zavix-video","endpoint":"http://127.0.0.1:9","remainSpace":1073741824},"message":"","status":"success"})";
    QTest::newRow("wcs init") << QByteArray(R"({"code":200,"data":{"fileid":"F1","dateStr":"20260101",
        "uploadToken":"wcs-TOKEN","host":"http://127.0.0.1:9","remainSpace":5}})")
                              << R"({"code":200,"data":{"dateStr":"20260101","fileid":"F1","host":"http://127.0.0.1:9","remainSpace":5}})";
    QTest::newRow("speed test") << QByteArray(R"({"code":200,"data":{"accessid":"AKID","policy":"eyJ4Ijox","signature":"SIG=","dir":"d/"}})")
                                << R"({"code":200,"data":{}})";
    QTest::newRow("login") << QByteArray(R"({"code":200,"msg":"ok","data":{"secretKey":"sk-1","rtoken":"rt","email":"a@b"}})")
                           << R"({"code":200,"data":{},"msg":"ok"})";
    QTest::newRow("rejection") << QByteArray(R"({"code":400,"status":"error","message":"ptime is too old."})")
                               << R"({"code":400,"message":"ptime is too old.","status":"error"})";
    QTest::newRow("secret under a harmless name") << QByteArray(R"({"message":{"accessKey":"K"},"data":{"host":["K2"]}})")
                                                  << R"({"data":{}})";
    QTest::newRow("check answer") << QByteArray("1") << "1";
    QTest::newRow("not json") << QByteArray("accessKey=SECRET&token=T") << "(24 bytes, not a JSON object)";
    QTest::newRow("array") << QByteArray(R"(["sk-1"])") << "(8 bytes, not a JSON object)";
    QTest::newRow("empty") << QByteArray() << "(0 bytes, not a JSON object)";
}

void TestApi::loggableAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, logged);
    QCOMPARE(::loggableAnswer(answer), logged);
    QCOMPARE(::loggableAnswer(QString::fromUtf8(answer)), logged);
}

QTEST_APPLESS_MAIN(TestApi)
#include "tst_api.moc"
