// The transport, signing and worker pieces against the local service
// emulator, which checks every signature independently.

#include "devservice/devservice.h"
#include "net/api.h"
#include "net/closingflag.h"
#include "net/servicehosts.h"
#include "net/transfer.h"
#include "net/workers.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <future>

namespace {

const QString kUserId = QStringLiteral("10001");
const QString kSecret = QStringLiteral("sk-oss-5f2c9d1a");

QString categoryUrl(qint64 ptime, const QString &secret = kSecret)
{
    const QString p = QString::number(ptime);
    return hosts::apiHost() + QStringLiteral("/v2/video/") + kUserId + QStringLiteral("/cata?ptime=") + p
           + QStringLiteral("&sign=") + signParams(QStringLiteral("ptime=") + p + secret);
}

QString getJson(const QString &url)
{
    GetJsonThread thread(url);
    QSignalSpy spy(&thread, &GetJsonThread::Result);
    thread.start();
    if (!thread.wait(15000) || spy.size() != 1)
        return QStringLiteral("<no result>");
    return spy.first().first().toString();
}

} // namespace

class TestService final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void signedCategoryRequest();
    void rejectedRequests_data();
    void rejectedRequests();
    void onlyStatus200Counts_data();
    void onlyStatus200Counts();
    void stalledServiceEndsOnClosing();
    void addCategoryThroughSyncFormRequest();
    void syncFormRequestWithoutBody_data();
    void syncFormRequestWithoutBody();

private:
    devsvc::DevService *m_service = nullptr;
};

void TestService::initTestCase()
{
    m_service = new devsvc::DevService;
    const devsvc::OpResult seeded = m_service->seedFromFile(devsvc::DevService::demoSeedPath());
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service->start(0), qPrintable(m_service->errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service->baseUrl().toUtf8());
}

void TestService::cleanup()
{
    resetClosingForTest();
    m_service->releaseStalls();
    m_service->clearFaults();
}

void TestService::cleanupTestCase()
{
    delete m_service;
    qunsetenv("ZAVIX_SERVICE_URL");
}

void TestService::signedCategoryRequest()
{
    const ApiEnvelope env = parseEnvelope(getJson(categoryUrl(currentPtime())));
    QVERIFY(env.parsed);
    QVERIFY2(env.codeIs200(), qPrintable(env.message));
}

void TestService::rejectedRequests_data()
{
    QTest::addColumn<qint64>("ptimeShift");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<bool>("clockHint");
    QTest::newRow("wrong secret key") << qint64(0) << "not-the-key" << false;
    QTest::newRow("clock hours off") << qint64(-6) * 3600 * 1000 << kSecret << true;
}

void TestService::rejectedRequests()
{
    QFETCH(qint64, ptimeShift);
    QFETCH(QString, secret);
    QFETCH(bool, clockHint);
    const QString answer = getJson(categoryUrl(currentPtime() + ptimeShift, secret));
    // The service answers rejections with status 200 and an error envelope.
    const ApiEnvelope env = parseEnvelope(answer);
    QVERIFY2(env.parsed, qPrintable(answer));
    QVERIFY(!env.codeIs200());
    QCOMPARE(isPtimeRejection(env.message, PtimeMatch::Exact), clockHint);
}

void TestService::onlyStatus200Counts_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("301") << 301;
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
}

void TestService::onlyStatus200Counts()
{
    QFETCH(int, status);
    m_service->answerNext(QStringLiteral("/v2/video/.*/cata"), status,
                          R"({"code":200,"status":"success","message":"","data":[]})");
    QCOMPARE(getJson(categoryUrl(currentPtime())), QStringLiteral("error"));
    // The next request is answered normally again.
    QVERIFY(parseEnvelope(getJson(categoryUrl(currentPtime()))).codeIs200());
}

void TestService::stalledServiceEndsOnClosing()
{
    m_service->stallNext(QStringLiteral("/v2/video/.*/cata"));
    const QByteArray url = categoryUrl(currentPtime()).toUtf8();
    auto pending = std::async(std::launch::async, [url] { return jsonGet(url); });
    QTRY_COMPARE_WITH_TIMEOUT(m_service->stalledCount(), 1, 5000);
    QElapsedTimer timer;
    timer.start();
    setClosing();
    QVERIFY(pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
    const TransferResult r = pending.get();
    QVERIFY(!r.ok);
    QVERIFY(r.aborted);
}

void TestService::addCategoryThroughSyncFormRequest()
{
    const QString name = QStringLiteral("新 分类 a+b");
    const QString ptime = QString::number(currentPtime());
    const QString sign = signParams(
        QStringLiteral("cataname=%1&parentid=%2&ptime=%3%4").arg(name, QStringLiteral("1"), ptime, kSecret));
    const QByteArray body = "cataname=" + urlEncode(name) + "&parentid=1&ptime=" + ptime.toUtf8()
                            + "&sign=" + sign.toUtf8();
    std::string response;
    const QByteArray url = (hosts::apiHost() + QStringLiteral("/v2/video/") + kUserId
                            + QStringLiteral("/addCata/"))
                               .toUtf8();
    QVERIFY(syncFormRequest(url, response, false, body, {}));
    const ApiEnvelope env = parseEnvelope(QString::fromUtf8(response.c_str()));
    QVERIFY2(env.codeIs200(), qPrintable(env.message));

    const auto logged = m_service->requests(QStringLiteral("/v2/video/.*/addCata/?"));
    QVERIFY(!logged.isEmpty());
    bool userAgent = false;
    for (const auto &h : logged.last().headers)
        if (h.first.compare("User-Agent", Qt::CaseInsensitive) == 0)
            userAgent = h.second.trimmed() == "upload-basic";
    QVERIFY(userAgent);
}

void TestService::syncFormRequestWithoutBody_data()
{
    QTest::addColumn<bool>("isDelete");
    QTest::addColumn<QString>("method");
    QTest::newRow("GET") << false << "GET";
    QTest::newRow("DELETE") << true << "DELETE";
}

void TestService::syncFormRequestWithoutBody()
{
    QFETCH(bool, isDelete);
    QFETCH(QString, method);
    m_service->clearRequestLog();
    m_service->answerNext(QStringLiteral("/probe/sync"), 200, R"({"code":200})");
    std::string response;
    QVERIFY(syncFormRequest((hosts::apiHost() + QStringLiteral("/probe/sync")).toUtf8(), response, isDelete,
                            QByteArray(), {"X-Extra: 1"}));
    QCOMPARE(QByteArray::fromStdString(response), QByteArray(R"({"code":200})"));
    const auto logged = m_service->requests(QStringLiteral("/probe/sync"));
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged.first().method, method);
    QCOMPARE(logged.first().bodySize, 0);
    QMap<QByteArray, QByteArray> headers;
    for (const auto &h : logged.first().headers)
        headers.insert(h.first.toLower(), h.second.trimmed());
    QCOMPARE(headers.value("user-agent"), QByteArray("upload-basic"));
    QCOMPARE(headers.value("content-type"), QByteArray("application/x-www-form-urlencoded;charset=UTF-8"));
    QCOMPARE(headers.value("x-extra"), QByteArray("1"));
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
