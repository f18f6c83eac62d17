#include "net/closingflag.h"
#include "net/transfer.h"
#include "net/transferlimits.h"

#include "testserver.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <future>

class TestTransfer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void onlyStatus200Counts_data();
    void onlyStatus200Counts();
    void silentServerEndsOnClosing_data();
    void silentServerEndsOnClosing();
    void closingFlagStopsBeforeFirstChunk();
    void silentServerEndsAtTheLowSpeedLimit_data();
    void silentServerEndsAtTheLowSpeedLimit();
    void totalLimits_data();
    void totalLimits();
    void stopFlagEndsChannelPost_data();
    void stopFlagEndsChannelPost();
    void answerLargerThanCapFails_data();
    void answerLargerThanCapFails();
    void unreachableHost_data();
    void unreachableHost();
    void onlyHttpUrls_data();
    void onlyHttpUrls();
    void syncFormRequestMethodsAndHeaders_data();
    void syncFormRequestMethodsAndHeaders();
    void syncFormRequestFailures();
    void formPostSendsBody();
    void imageUploadForm_data();
    void imageUploadForm();
    void imageUploadWithoutFile();
    void channelPostOnReusedHandle();
    void fileDownload();
    void fileDownloadCancelled();
    void fileDownloadNeverWritesThroughWhatIsThere_data();
    void fileDownloadNeverWritesThroughWhatIsThere();
    void serverValuesForUrlsAndHeaders_data();
    void serverValuesForUrlsAndHeaders();
    void verboseOnlyOnRequest_data();
    void verboseOnlyOnRequest();

private:
    TestServer *m_server = nullptr;
};

void TestTransfer::init()
{
    resetClosingForTest();
    m_server = new TestServer;
    QVERIFY(m_server->isListening());
}

void TestTransfer::cleanup()
{
    resetClosingForTest();
    resetTransferLimitsForTest();
    delete m_server;
    m_server = nullptr;
}

using Profile = std::function<TransferResult(const QByteArray &)>;
Q_DECLARE_METATYPE(Profile)

namespace {

Profile profileNamed(const QString &name)
{
    if (name == QLatin1String("json"))
        return [](const QByteArray &url) { return jsonGet(url); };
    if (name == QLatin1String("image"))
        return imageGet;
    if (name == QLatin1String("version"))
        return [](const QByteArray &url) { return versionGet(url); };
    if (name == QLatin1String("form"))
        return [](const QByteArray &url) { return formPost(url, "a=1"); };
    return [](const QByteArray &url) { return channelPost(url); };
}

} // namespace

void TestTransfer::onlyStatus200Counts_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("status");
    for (const char *p : {"json", "image", "version"})
        for (int status : {200, 301, 302, 404, 500})
            QTest::addRow("%s %d", p, status) << QString::fromLatin1(p) << status;
}

void TestTransfer::onlyStatus200Counts()
{
    QFETCH(QString, profile);
    QFETCH(int, status);
    const TransferResult r = profileNamed(profile)(m_server->url("/status/") + QByteArray::number(status));
    QCOMPARE(r.status, long(status)); // redirects are not followed
    QCOMPARE(r.ok, status == 200);
    QCOMPARE(r.curlCode, int(CURLE_OK));
    QVERIFY(r.body.contains("\"code\":" + QByteArray::number(status)));
}

void TestTransfer::silentServerEndsOnClosing_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("path");
    for (const char *p : {"json", "image", "version"}) {
        QTest::addRow("%s, no answer at all", p) << QString::fromLatin1(p) << QByteArray("/stall-headers");
        QTest::addRow("%s, stalls in the body", p) << QString::fromLatin1(p) << QByteArray("/stall-body");
    }
}

void TestTransfer::silentServerEndsOnClosing()
{
    QFETCH(QString, profile);
    QFETCH(QByteArray, path);
    const Profile run = profileNamed(profile);
    const QByteArray url = m_server->url(path.constData());
    auto pending = std::async(std::launch::async, [run, url] { return run(url); });

    QVERIFY(m_server->waitForStalled(1, 5000));
    // Connected and silent: the transfer waits (up to its limits, seconds
    // away) until the closing flag ends it.
    QCOMPARE(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);

    QElapsedTimer timer;
    timer.start();
    setClosing();
    QVERIFY2(pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready,
             "transfer did not end after the closing flag was set");
    const qint64 elapsed = timer.elapsed();
    const TransferResult r = pending.get();
    qDebug("ended %lld ms after the closing flag", elapsed);
    QVERIFY2(elapsed < 2500, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    QVERIFY(!r.ok);
    QVERIFY(r.aborted);
}

void TestTransfer::closingFlagStopsBeforeFirstChunk()
{
    setClosing();
    const TransferResult r = jsonGet(m_server->url("/status/200"));
    QVERIFY(!r.ok);
    QVERIFY(r.aborted);
    QVERIFY(r.body.isEmpty());
}

void TestTransfer::silentServerEndsAtTheLowSpeedLimit_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("path");
    for (const char *p : {"json", "image", "version", "form", "channel", "sync form", "download"}) {
        QTest::addRow("%s, no answer at all", p) << QString::fromLatin1(p) << QByteArray("/stall-headers");
        QTest::addRow("%s, silent in the body", p) << QString::fromLatin1(p) << QByteArray("/stall-body");
    }
}

void TestTransfer::silentServerEndsAtTheLowSpeedLimit()
{
    // Without the closing flag: a peer that goes silent ends the transfer as
    // a network failure once (almost) nothing moved for the low-speed time
    // (one second here instead of a minute).
    QFETCH(QString, profile);
    QFETCH(QByteArray, path);
    // libcurl averages the speed over its last few seconds: with a limit of
    // one byte per second the first bytes of the body would keep it above
    // the limit for about five seconds more, so the test asks for more.
    TransferLimits limits;
    limits.lowSpeedBytes = 1024;
    limits.lowSpeedSeconds = 1;
    setTransferLimitsForTest(limits);
    const QByteArray url = m_server->url(path.constData());
    QTemporaryDir dir;
    const QByteArray target = dir.filePath(QStringLiteral("download.bin")).toUtf8();

    QElapsedTimer timer;
    timer.start();
    int curlCode = -1; // -1: the function tells only whether it succeeded
    bool ok = true;
    bool aborted = false;
    if (profile == QLatin1String("sync form")) {
        std::string response;
        ok = syncFormRequest(url, response, false, "a=1", {});
    } else if (profile == QLatin1String("download")) {
        const std::atomic_bool cancel{false};
        ok = ::fileDownload(url, target, cancel, {}) == DownloadOutcome::Completed;
        QVERIFY(!QFile::exists(QString::fromUtf8(target)));
    } else {
        const TransferResult r = profileNamed(profile)(url);
        ok = r.ok;
        curlCode = r.curlCode;
        aborted = r.aborted;
    }
    const qint64 elapsed = timer.elapsed();
    QVERIFY(!ok);
    if (curlCode != -1)
        QCOMPARE(curlCode, int(CURLE_OPERATION_TIMEDOUT));
    QVERIFY(!aborted); // a network failure, not a stop
    QVERIFY2(elapsed >= 900 && elapsed < 5000, qPrintable(QString::number(elapsed)));
    m_server->release();
}

void TestTransfer::totalLimits_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("path");
    for (const char *p : {"version", "json within", "channel within"}) {
        QTest::addRow("%s, no answer at all", p) << QString::fromLatin1(p) << QByteArray("/stall-headers");
        QTest::addRow("%s, silent in the body", p) << QString::fromLatin1(p) << QByteArray("/stall-body");
    }
}

void TestTransfer::totalLimits()
{
    // The exchanges with a limit in all end after it, even while the
    // low-speed limit (a minute) is far away.
    QFETCH(QString, profile);
    QFETCH(QByteArray, path);
    TransferLimits limits;
    limits.versionCheckMs = 1200;
    setTransferLimitsForTest(limits);
    TransferBounds bounds;
    bounds.totalMs = 1200;
    const QByteArray url = m_server->url(path.constData());

    QElapsedTimer timer;
    timer.start();
    TransferResult r;
    if (profile == QLatin1String("version"))
        r = versionGet(url);
    else if (profile == QLatin1String("json within"))
        r = jsonGet(url, bounds);
    else
        r = channelPost(url, QByteArray(), bounds);
    const qint64 elapsed = timer.elapsed();
    QVERIFY(!r.ok);
    QCOMPARE(r.curlCode, int(CURLE_OPERATION_TIMEDOUT));
    QVERIFY2(elapsed >= 1100 && elapsed < 5000, qPrintable(QString::number(elapsed)));
    m_server->release();
}

void TestTransfer::stopFlagEndsChannelPost_data()
{
    QTest::addColumn<bool>("reusedHandle");
    QTest::newRow("own handle") << false;
    QTest::newRow("caller's handle") << true;
}

// A channel thread's own stop flag reaches its bookkeeping POST while the
// server says nothing; the closing flag stays untouched.
void TestTransfer::stopFlagEndsChannelPost()
{
    QFETCH(bool, reusedHandle);
    const QByteArray url = m_server->url("/stall-headers");
    std::atomic_bool stop{false};
    auto pending = std::async(std::launch::async, [url, reusedHandle, &stop] {
        if (!reusedHandle)
            return channelPost(url, QByteArray(), &stop);
        CurlEasy easy;
        return postOnHandle(easy.get(), url, QByteArray(), &stop);
    });
    QVERIFY(m_server->waitForStalled(1, 5000));
    QCOMPARE(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);

    QElapsedTimer timer;
    timer.start();
    stop = true;
    QVERIFY2(pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready,
             "transfer did not end after its stop flag was set");
    const qint64 elapsed = timer.elapsed();
    const PostResult r = pending.get();
    QVERIFY2(elapsed < 2500, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    QVERIFY(!r.ok);
    QVERIFY(r.aborted);
    QVERIFY(!isClosing());
}

void TestTransfer::answerLargerThanCapFails_data()
{
    QTest::addColumn<QString>("profile");
    QTest::newRow("json") << "json";
    QTest::newRow("image") << "image";
}

void TestTransfer::answerLargerThanCapFails()
{
    QFETCH(QString, profile);
    const TransferResult r = profileNamed(profile)(m_server->url("/big"));
    QVERIFY(!r.ok);
    QVERIFY(r.tooLarge);
    QCOMPARE(r.curlCode, int(CURLE_WRITE_ERROR));
    QVERIFY(std::size_t(r.body.size()) <= kMaxAnswerBytes);
    QVERIFY(!r.error.isEmpty());
}

void TestTransfer::unreachableHost_data()
{
    QTest::addColumn<QString>("profile");
    for (const char *p : {"json", "image", "version", "form", "channel"})
        QTest::newRow(p) << QString::fromLatin1(p);
}

void TestTransfer::unreachableHost()
{
    QFETCH(QString, profile);
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(closedLocalPort()) + "/x";
    QElapsedTimer timer;
    timer.start();
    const TransferResult r = profileNamed(profile)(url);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!r.ok);
    QCOMPARE(r.status, 0L);
    QCOMPARE(r.curlCode, int(CURLE_COULDNT_CONNECT));
    QVERIFY(!r.error.isEmpty());
}

void TestTransfer::onlyHttpUrls_data()
{
    QTest::addColumn<QString>("profile");
    for (const char *p : {"json", "image", "form", "channel"})
        QTest::newRow(p) << QString::fromLatin1(p);
}

void TestTransfer::onlyHttpUrls()
{
    // URLs can come from answers of the service (thumbnails, installers):
    // nothing but HTTP(S) is fetched.
    QFETCH(QString, profile);
    QTemporaryDir dir;
    QFile local(dir.filePath(QStringLiteral("secret.txt")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("local secret");
    local.close();
    const TransferResult r = profileNamed(profile)("file://" + local.fileName().toUtf8());
    QVERIFY(!r.ok);
    QCOMPARE(r.curlCode, int(CURLE_UNSUPPORTED_PROTOCOL));
    QVERIFY(!r.body.contains("secret"));
    std::string response;
    QVERIFY(!syncFormRequest("file://" + local.fileName().toUtf8(), response, false, QByteArray(), {}));
    QVERIFY(response.empty());
}

void TestTransfer::syncFormRequestMethodsAndHeaders_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("isDelete");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("empty body: GET") << QByteArray() << false << QByteArray("GET /echo HTTP/1.1");
    QTest::newRow("empty body, delete: DELETE") << QByteArray() << true << QByteArray("DELETE /echo HTTP/1.1");
    QTest::newRow("body: POST") << QByteArray("cataname=%E6%96%B0+a&parentid=0") << false
                                << QByteArray("POST /echo HTTP/1.1");
    QTest::newRow("body, delete: DELETE with body") << QByteArray("vid=1") << true
                                                    << QByteArray("DELETE /echo HTTP/1.1");
}

void TestTransfer::syncFormRequestMethodsAndHeaders()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, isDelete);
    QFETCH(QByteArray, requestLine);
    RawCaptureServer raw;
    std::string response = "kept:";
    QVERIFY(syncFormRequest(raw.url("/echo"), response, isDelete, body,
                            {"X-First: 1", "X-Second: two"}));
    QCOMPARE(QByteArray::fromStdString(response), QByteArray("kept:ok"));

    const QList<QByteArray> got = raw.requests();
    QCOMPARE(got.size(), 1);
    const QByteArray request = got.first();
    const int headEnd = request.indexOf("\r\n\r\n");
    QVERIFY(headEnd > 0);
    const QList<QByteArray> lines = request.left(headEnd).split('\n');
    QCOMPARE(lines.first().trimmed(), requestLine);
    QList<QByteArray> headers;
    for (int i = 1; i < lines.size(); ++i)
        headers << QByteArray(lines[i]).replace('\r', QByteArray()); // keep trailing blanks
    const int ua = headers.indexOf("User-Agent: upload-basic ");
    const int ct = headers.indexOf("Content-Type:application/x-www-form-urlencoded;charset=UTF-8");
    const int x1 = headers.indexOf("X-First: 1");
    const int x2 = headers.indexOf("X-Second: two");
    QVERIFY2(ua >= 0, request.constData());
    QVERIFY2(ct > ua, request.constData());
    QVERIFY(x1 > ct);
    QVERIFY(x2 > x1);
    QCOMPARE(request.mid(headEnd + 4), body);
    if (body.isEmpty())
        QVERIFY(!request.toLower().contains("content-length"));
}

void TestTransfer::syncFormRequestFailures()
{
    std::string response;
    QVERIFY(!syncFormRequest(m_server->url("/status/404"), response, false, "a=1", {}));
    QVERIFY(!syncFormRequest(m_server->url("/status/301"), response, false, QByteArray(), {}));
    const QByteArray closed = "http://127.0.0.1:" + QByteArray::number(closedLocalPort()) + "/x";
    QVERIFY(!syncFormRequest(closed, response, false, "a=1", {}));
    std::string big;
    QVERIFY(!syncFormRequest(m_server->url("/big"), big, false, QByteArray(), {}));
    QVERIFY(big.size() <= kMaxAnswerBytes);
}

void TestTransfer::formPostSendsBody()
{
    const TransferResult r = formPost(m_server->url("/echo"), "ptime=1&sign=AB&vid=v&title=%E4%B8%AD");
    QVERIFY(r.ok);
    QVERIFY(r.body.contains("\"code\":200"));
    const auto got = m_server->received();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].method, std::string("POST"));
    QCOMPARE(got[0].body, std::string("ptime=1&sign=AB&vid=v&title=%E4%B8%AD"));
    QCOMPARE(got[0].contentType, std::string("application/x-www-form-urlencoded"));
}

void TestTransfer::imageUploadForm_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QString() << QStringLiteral("cover.jpg");
    QTest::newRow("Chinese and blanks") << QStringLiteral("课程 资料") << QStringLiteral("封面 图片.jpg");
}

void TestTransfer::imageUploadForm()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(folder.isEmpty() || QDir(dir.path()).mkpath(folder));
    const QString path = dir.filePath(folder.isEmpty() ? name : folder + QLatin1Char('/') + name);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const QByteArray image("\xff\xd8\xff\xe0 not really a jpeg \x00\x01", 26);
    f.write(image);
    f.close();

    const TransferResult r = imageUpload(m_server->url("/echo"), path.toUtf8(), "1511856000000",
                                         "ABCDEF", "vid123");
    QVERIFY2(r.ok, qPrintable(r.error));
    const auto got = m_server->received();
    QCOMPARE(got.size(), 1);
    const ReceivedRequest &req = got[0];
    QVERIFY(QByteArray::fromStdString(req.contentType).startsWith("multipart/form-data; boundary="));
    QCOMPARE(req.headerCount("Content-Type"), 1);
    QCOMPARE(req.headerCount("Expect"), 0);
    QCOMPARE(req.parts.count("image"), std::size_t(1));
    const auto &img = req.parts.find("image")->second;
    QCOMPARE(QByteArray::fromStdString(img.content), image);
    QCOMPARE(QString::fromStdString(img.filename), name);
    QCOMPARE(img.content_type, std::string("application/octet-stream"));
    QCOMPARE(req.parts.find("sign")->second.content, std::string("ABCDEF"));
    QCOMPARE(req.parts.find("vids")->second.content, std::string("vid123"));
    QCOMPARE(req.parts.find("ptime")->second.content, std::string("1511856000000"));
}

void TestTransfer::imageUploadWithoutFile()
{
    const TransferResult r = imageUpload(m_server->url("/echo"), "/nonexistent/cover.jpg", "1", "S", "v");
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
}

void TestTransfer::channelPostOnReusedHandle()
{
    CurlEasy easy;
    QVERIFY(easy);
    // No body given: an empty POST, never a read from standard input.
    PostResult first = postOnHandle(easy.get(), m_server->url("/echo"));
    QVERIFY(first.ok);
    PostResult second = postOnHandle(easy.get(), m_server->url("/echo"), "a=b");
    QVERIFY(second.ok);
    PostResult third = postOnHandle(easy.get(), m_server->url("/status/500"));
    QVERIFY(!third.ok);
    QCOMPARE(third.status, 500L);
    const auto got = m_server->received();
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].method, std::string("POST"));
    QCOMPARE(got[0].body, std::string());
    QCOMPARE(got[0].header("Content-Length"), QByteArray("0"));
    QCOMPARE(got[1].body, std::string("a=b"));
    QCOMPARE(postOnHandle(nullptr, m_server->url("/echo")).noHandle, true);
}

void TestTransfer::fileDownload()
{
    QTemporaryDir dir;
    const QByteArray target = dir.filePath(QStringLiteral("安装 setup.exe")).toUtf8();
    std::atomic_bool cancel{false};
    qint64 lastReceived = -1, lastTotal = -1;
    auto progress = [&](qint64 received, qint64 total) {
        lastReceived = received;
        lastTotal = total;
    };
    QCOMPARE(::fileDownload(m_server->url("/file/300000"), target, cancel, progress),
             DownloadOutcome::Completed);
    QFile f(QString::fromUtf8(target));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QCOMPARE(content.size(), 300000);
    QCOMPARE(content.at(27), 'b');
    QCOMPARE(lastReceived, qint64(300000));
    QCOMPARE(lastTotal, qint64(300000));
    f.close();

    // A failed download leaves no file behind (the download creates its
    // file itself: the finished one goes first).
    QVERIFY(QFile::remove(QString::fromUtf8(target)));
    QCOMPARE(::fileDownload(m_server->url("/status/404"), target, cancel, progress), DownloadOutcome::Failed);
    QVERIFY(!QFile::exists(QString::fromUtf8(target)));
    // A target that cannot be opened fails.
    QCOMPARE(::fileDownload(m_server->url("/file/10"), dir.filePath(QStringLiteral("no/such/dir/x")).toUtf8(),
                            cancel, progress),
             DownloadOutcome::Failed);
}

void TestTransfer::fileDownloadCancelled()
{
    QTemporaryDir dir;
    const QByteArray target = dir.filePath(QStringLiteral("partial.exe")).toUtf8();
    std::atomic_bool cancel{false};
    bool sawFile = false;
    auto progress = [&](qint64 received, qint64) {
        if (received > 0 && !cancel.load()) {
            sawFile = QFile::exists(QString::fromUtf8(target));
            cancel.store(true);
        }
    };
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(::fileDownload(m_server->url("/slowfile"), target, cancel, progress),
             DownloadOutcome::Cancelled);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(sawFile);
    QVERIFY(!QFile::exists(QString::fromUtf8(target)));
}

void TestTransfer::fileDownloadNeverWritesThroughWhatIsThere_data()
{
    QTest::addColumn<bool>("link");
    QTest::newRow("a file") << false;
    QTest::newRow("a link to another file") << true;
}

void TestTransfer::fileDownloadNeverWritesThroughWhatIsThere()
{
    QFETCH(bool, link);
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    QFile f(victim);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    QString target = victim;
    if (link) {
        target = dir.filePath(QStringLiteral("setup.exe"));
        QVERIFY(QFile::link(victim, target));
    }
    std::atomic_bool cancel{false};
    QCOMPARE(::fileDownload(m_server->url("/file/1000"), target.toUtf8(), cancel, {}), DownloadOutcome::Failed);
    // Neither the file nor the link was written, truncated or removed.
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
    QCOMPARE(QFileInfo(target).isSymLink(), link);
}

void TestTransfer::serverValuesForUrlsAndHeaders_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("isHttp");
    QTest::newRow("http") << "http://127.0.0.1:8080/a" << true;
    QTest::newRow("https upper case") << "HTTPS://127.0.0.1/" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("ftp") << "ftp://127.0.0.1/" << false;
    QTest::newRow("no scheme") << "127.0.0.1:8080" << false;
    QTest::newRow("no host") << "http:///x" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank inside") << "http://127.0.0.1 /x" << false;
}

void TestTransfer::serverValuesForUrlsAndHeaders()
{
    QFETCH(QString, url);
    QTEST(isHttpUrl(url), "isHttp");
    if (QTest::currentDataTag() != QByteArray("http"))
        return;
    // Header values: anything but control characters (tab allowed).
    QVERIFY(isSafeHeaderValue("wcs-0123abcd:Zm9v==\tx"));
    QVERIFY(isSafeHeaderValue(QByteArray()));
    for (const char *bad : {"a\r\nX-Evil: 1", "a\nb", "a\rb", "a\x01", "a\x7f"})
        QVERIFY2(!isSafeHeaderValue(bad), bad);
    QVERIFY(!isSafeHeaderValue(QByteArray("a\0b", 3)));
}

void TestTransfer::verboseOnlyOnRequest_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("set");
    QTest::addColumn<bool>("expected");
    QTest::newRow("unset") << QByteArray() << false << false;
    QTest::newRow("empty") << QByteArray() << true << false;
    QTest::newRow("zero") << QByteArray("0") << true << false;
    QTest::newRow("one") << QByteArray("1") << true << true;
}

void TestTransfer::verboseOnlyOnRequest()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, set);
    QFETCH(bool, expected);
    if (set)
        qputenv("ZAVIX_CURL_VERBOSE", value);
    else
        qunsetenv("ZAVIX_CURL_VERBOSE");
    QCOMPARE(curlVerboseRequested(), expected);
    qunsetenv("ZAVIX_CURL_VERBOSE");
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
