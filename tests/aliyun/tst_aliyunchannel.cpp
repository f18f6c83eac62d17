// AliyunUploadThread against the service emulator: the requests of a start,
// the evaluation of the init answer, the transfer into the OSS store with
// its callback, resuming, faults on the way and the abort paths.

#include "aliyunrig.h"
#include "net/transferlimits.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace aliyuntest;
using Results = QList<QPair<bool, int>>;

namespace {

const QString kCheckPath = QStringLiteral("/uc/video/checkUploadingVideo");
const QString kInsertPath = QStringLiteral("/uc/video/insertUploadingVideo");
const QString kInitPath = QStringLiteral("/v2/aliyunoss/.*/init");
const QString kCallbackPath = QStringLiteral("/uc/video/ossCallback");

QString describe(const Results &results)
{
    QStringList items;
    for (const auto &r : results)
        items.append(QStringLiteral("(%1,%2)").arg(r.first ? QStringLiteral("true") : QStringLiteral("false")).arg(r.second));
    return items.join(QLatin1Char(' '));
}

} // namespace

class TestAliyunChannel final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    AliyunRig m_rig;
    QtMessageHandler m_previousHandler = nullptr;

    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Checks that the store holds the task's object with this size and MD5
    // and that the service took the video into the account's library.
    void verifyStored(const UploadTask &task, qint64 size, const QByteArray &md5)
    {
        const AliyunRig::StoredObject object = m_rig.fetchObject(ossObjectKey(task));
        QCOMPARE(object.status, 200L);
        QCOMPARE(object.size, size);
        QCOMPARE(object.md5, md5);
        QVERIFY(m_rig.service->videoIds(kUserId).contains(task.vid));
        QCOMPARE(m_rig.service->video(task.vid).size, size);
    }

    // A start that is stopped once `partsBefore` parts are stored, with the
    // store's intake slowed down so that the stop falls in the middle.
    ThreadRun pausedRun(const UploadTask &task, int partsBefore, bool requeue)
    {
        m_rig.service->setBandwidthLimit(4 * kMiB);
        return m_rig.runThread(task, 30000, [&](AliyunUploadThread &thread) {
            QTRY_VERIFY_WITH_TIMEOUT(m_rig.partNumbers(true).size() >= partsBefore, 20000);
            thread.abort(requeue);
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        AlibabaCloud::OSS::InitializeSdk();
        QVERIFY2(m_rig.start(), qPrintable(m_rig.service->errorString()));
        m_previousHandler = qInstallMessageHandler(captureMessage);
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(m_previousHandler);
        m_rig.service.reset();
        AlibabaCloud::OSS::ShutdownSdk();
    }
    void init()
    {
        m_rig.reset();
        clearCapturedLines();
    }

    // A whole upload: the requests in order, the part table in use, the
    // callback, progress up to the file size, and the object at the store.
    void completeUpload_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("parts");
        QTest::addColumn<int>("threads");
        QTest::newRow("exactly 1 MiB: one part") << kMiB << 1 << 1;
        QTest::newRow("1 MiB + 1: two parts") << kMiB + 1 << 2 << 2;
        QTest::newRow("100 MiB: 1 MiB parts, 2 threads") << 100 * kMiB << 100 << 2;
        QTest::newRow("101 MiB: 1 MiB parts, 3 threads") << 101 * kMiB << 101 << 3;
    }
    void completeUpload()
    {
        QFETCH(qint64, size);
        QFETCH(int, parts);
        QFETCH(int, threads);
        // Capital suffix: the object key keeps it.
        const QString path = filePath(QStringLiteral("whole-%1.MP4").arg(size));
        const QByteArray md5 = writeRandomFile(path, size, quint32(size));
        const UploadTask task = m_rig.makeTask(path);

        const ThreadRun run = m_rig.runThread(task, 120000);
        QVERIFY(run.ended);
        QCOMPARE(describe(run.results), describe({{true, 0}}));
        QVERIFY(ossObjectKey(task).endsWith(QLatin1String(".MP4")));
        verifyStored(task, size, md5);

        // check, insert, init, then the store.
        const QList<devsvc::RequestLogEntry> log = m_rig.service->requestLog();
        QStringList order;
        for (const devsvc::RequestLogEntry &e : log) {
            if (e.path == kCheckPath || e.path == kInsertPath || e.path.contains(QLatin1String("/v2/aliyunoss/")))
                order.append(e.path.section(QLatin1Char('/'), -1));
        }
        QCOMPARE(order, (QStringList{QStringLiteral("checkUploadingVideo"),
                                     QStringLiteral("insertUploadingVideo"), QStringLiteral("init")}));
        QCOMPARE(m_rig.partNumbers(false).size(), parts);
        QCOMPARE(m_rig.initiateCount(), 1);

        // The callback travelled as the Base64 of the init answer's text.
        QByteArray callbackHeader;
        for (const devsvc::RequestLogEntry &e : m_rig.storeRequests()) {
            for (const auto &h : e.headers)
                if (h.first.toLower() == "x-oss-callback")
                    callbackHeader = h.second;
        }
        QVERIFY(!callbackHeader.isEmpty());
        QVERIFY(QByteArray::fromBase64(callbackHeader).contains("/uc/video/ossCallback"));
        QCOMPARE(m_rig.requestCount(kCallbackPath), 1);

        const QStringList planLines = capturedLinesWith(QStringLiteral("thread_num:"));
        QCOMPARE(planLines.size(), 1);
        QVERIFY2(planLines.first().contains(QStringLiteral("thread_num: %1 ").arg(threads)), qPrintable(planLines.first()));

        // Progress climbs to the file size; the increments add up to it.
        QVERIFY(!run.transferred.isEmpty());
        QCOMPARE(run.total, qlonglong(size));
        QCOMPARE(run.transferred.last(), qlonglong(size));
        for (int i = 1; i < run.transferred.size(); ++i)
            QVERIFY(run.transferred.at(i) >= run.transferred.at(i - 1));
        QCOMPARE(run.incrementSum, size);
        QVERIFY(!QFile::exists(path + QStringLiteral(".ucp")));
    }

    // Stopped in the middle, started again: the second start registers again,
    // sends only the missing parts and still ends with the file's bytes. When
    // the file changed in between, the old checkpoint gives way to a clean
    // new upload.
    void stopAndStartAgain_data()
    {
        QTest::addColumn<bool>("requeue");
        QTest::addColumn<bool>("changeFile");
        QTest::newRow("pause, resume") << false << false;
        QTest::newRow("re-queue, resume") << true << false;
        QTest::newRow("file changed in between") << false << true;
    }
    void stopAndStartAgain()
    {
        QFETCH(bool, requeue);
        QFETCH(bool, changeFile);
        const int totalParts = 9;
        const qint64 size = 8 * kMiB + 4321;
        const QString path = filePath(QStringLiteral("resume-%1-%2.mp4").arg(requeue).arg(changeFile));
        QByteArray md5 = writeRandomFile(path, size, 7);
        UploadTask task = m_rig.makeTask(path);

        const ThreadRun first = pausedRun(task, 3, requeue);
        QVERIFY(first.ended);
        QCOMPARE(describe(first.results), describe({{false, requeue ? 11 : 6}}));
        QVERIFY(QFile::exists(path + QStringLiteral(".ucp")));
        QCOMPARE(m_rig.requestCount(kCheckPath), 1);
        QCOMPARE(m_rig.requestCount(kInsertPath), 1);
        const QList<int> storedFirst = m_rig.partNumbers(true);
        QVERIFY(storedFirst.size() >= 3);
        QVERIFY(storedFirst.size() < totalParts);
        QVERIFY(!m_rig.service->videoIds(kUserId).contains(task.vid));

        if (changeFile) {
            QTest::qWait(20); // a distinct modification time
            md5 = writeRandomFile(path, size, 8);
        }
        m_rig.service->clearFaults();
        m_rig.settleRequestLog();
        m_rig.service->clearRequestLog();
        m_rig.refreshInitUrl(task);
        const ThreadRun second = m_rig.runThread(task);
        QVERIFY(second.ended);
        QCOMPARE(describe(second.results), describe({{true, 0}}));
        QCOMPARE(m_rig.requestCount(kCheckPath), 1);
        QCOMPARE(m_rig.requestCount(kInsertPath), 1);
        verifyStored(task, size, md5);

        const QList<int> sentSecond = m_rig.partNumbers(false);
        if (changeFile) {
            QCOMPARE(m_rig.initiateCount(), 1);
            const QList<int> accepted = m_rig.partNumbers(true);
            QCOMPARE(QSet<int>(accepted.begin(), accepted.end()).size(), totalParts);
            return;
        }
        QCOMPARE(m_rig.initiateCount(), 0);
        // Only what was missing went again (a part whose answer the stop cut
        // off may be among them), and together the starts cover every part.
        QVERIFY2(sentSecond.size() <= totalParts - storedFirst.size() + 2,
                 qPrintable(QStringLiteral("%1 parts sent again").arg(sentSecond.size())));
        QSet<int> all(storedFirst.begin(), storedFirst.end());
        all.unite(QSet<int>(sentSecond.begin(), sentSecond.end()));
        QCOMPARE(all.size(), totalParts);
        // The resumed progress starts from the stored parts, not from zero.
        QVERIFY(!second.transferred.isEmpty());
        QVERIFY(second.transferred.first() >= qlonglong(storedFirst.size() - 2) * kMiB);
        QCOMPARE(second.transferred.last(), qlonglong(size));
    }

    // Trouble at the store on the way: the part is sent again and the
    // upload still ends with the file's bytes.
    void storeTroubleIsRetried_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("extraPuts");
        QTest::newRow("a part answered 500 twice") << "500" << 2;
        QTest::newRow("connection reset in a part") << "reset" << 1;
    }
    void storeTroubleIsRetried()
    {
        QFETCH(QString, fault);
        QFETCH(int, extraPuts);
        const qint64 size = 3 * kMiB + 17;
        const QString path = filePath(QStringLiteral("trouble-%1.mp4").arg(fault));
        const QByteArray md5 = writeRandomFile(path, size, 11);
        const UploadTask task = m_rig.makeTask(path);
        if (fault == QLatin1String("500"))
            m_rig.service->answerNext(m_rig.bucketPaths(), 500, "", 2, QStringLiteral("PUT"));
        else
            m_rig.service->resetAfterBytes(m_rig.bucketPaths(), 300 * 1024, 1, QStringLiteral("PUT"));

        const ThreadRun run = m_rig.runThread(task);
        QCOMPARE(describe(run.results), describe({{true, 0}}));
        QCOMPARE(m_rig.partNumbers(false).size(), 4 + extraPuts);
        verifyStored(task, size, md5);
    }

    // A part that the store takes and then says nothing about: once nothing
    // moved for the low-speed time (a second here) the part counts as a
    // network failure and is sent again.
    void silentStoreIsRetried()
    {
        TransferLimits limits;
        limits.lowSpeedSeconds = 1;
        setTransferLimitsForTest(limits);
        const qint64 size = 3 * kMiB + 17;
        const QString path = filePath(QStringLiteral("silent.mp4"));
        const QByteArray md5 = writeRandomFile(path, size, 12);
        const UploadTask task = m_rig.makeTask(path);
        m_rig.service->stallNext(m_rig.bucketPaths(), 1, QStringLiteral("PUT"));
        const ThreadRun run = m_rig.runThread(task);
        resetTransferLimitsForTest();
        QCOMPARE(describe(run.results), describe({{true, 0}}));
        QCOMPARE(m_rig.service->stalledCount(), 1); // the silent one is still held
        verifyStored(task, size, md5);
        // The held part is answered once released; let it reach the request
        // log before the next case starts counting store requests.
        const int before = m_rig.storeRequests().size();
        m_rig.service->releaseStalls();
        QTest::qWaitFor([&] { return m_rig.storeRequests().size() > before; }, 3000);
    }

    // The init answer decides the start.
    void initAnswer_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("reachesStore");
        QTest::newRow("ptime too old") << "clock" << "(false,3)" << false;
        QTest::newRow("other rejection") << "rejected" << "(false,0)" << false;
        QTest::newRow("init answers 500") << "http500" << "(false,0)" << false;
        QTest::newRow("init answer not json") << "garbage" << "(false,0)" << false;
        QTest::newRow("space equal to the file") << "spaceEqual" << "(false,1)" << false;
        QTest::newRow("one byte more: warning, then done") << "spacePlusOne" << "(false,5) (true,0)" << true;
    }
    void initAnswer()
    {
        QFETCH(QString, setup);
        QFETCH(QString, expected);
        QFETCH(bool, reachesStore);
        const qint64 size = 200 * 1024;
        const QString path = filePath(QStringLiteral("init-%1.mp4").arg(setup));
        writeRandomFile(path, size, 3);
        if (setup == QLatin1String("clock"))
            m_rig.service->setClockOffsetMs(20 * 60 * 1000);
        else if (setup == QLatin1String("rejected"))
            m_rig.service->answerNext(kInitPath, 200, R"({"code":400,"status":"error","message":"sign is illegal.","data":""})");
        else if (setup == QLatin1String("http500"))
            m_rig.service->answerNext(kInitPath, 500, R"({"code":200,"status":"success","data":{}})");
        else if (setup == QLatin1String("garbage"))
            m_rig.service->answerNext(kInitPath, 200, "<html>busy</html>");
        else if (setup == QLatin1String("spaceEqual"))
            m_rig.service->setRemainSpace(kUserId, size);
        else if (setup == QLatin1String("spacePlusOne"))
            m_rig.service->setRemainSpace(kUserId, size + 1);
        const UploadTask task = m_rig.makeTask(path);

        const ThreadRun run = m_rig.runThread(task);
        QCOMPARE(describe(run.results), expected);
        QCOMPARE(m_rig.requestCount(kInsertPath), 1);
        QCOMPARE(m_rig.storeRequests().isEmpty(), !reachesStore);
        if (!run.results.first().first && run.results.size() == 1)
            QCOMPARE(capturedLinesWith(QStringLiteral("getting accessKeyId failure")).size(), 1);
    }

    // The service already holds the file: nothing but the check is sent.
    void checkAnswersOne()
    {
        const QString path = filePath(QStringLiteral("held.mp4"));
        writeRandomFile(path, 1000, 5);
        m_rig.service->answerNext(kCheckPath, 200, "1");
        const ThreadRun run = m_rig.runThread(m_rig.makeTask(path));
        QCOMPARE(describe(run.results), describe({{true, 4}}));
        QCOMPARE(m_rig.requestCount(kCheckPath), 1);
        QCOMPARE(m_rig.requestCount(kInsertPath), 0);
        QCOMPARE(m_rig.requestCount(kInitPath), 0);
        QVERIFY(m_rig.storeRequests().isEmpty());
    }

    // Refused credentials end the start at once with a failure, and the
    // store's refusal is in the log.
    void wrongSecretFails()
    {
        const QString path = filePath(QStringLiteral("wrongkey.mp4"));
        writeRandomFile(path, 3 * kMiB, 9);
        QJsonObject data;
        data.insert(QStringLiteral("remainSpace"), double(kPlentyOfSpace));
        data.insert(QStringLiteral("callback"), QStringLiteral("{}"));
        data.insert(QStringLiteral("bucketName"), m_rig.oss.bucket);
        data.insert(QStringLiteral("endpoint"), m_rig.oss.endpoint);
        data.insert(QStringLiteral("accessId"), m_rig.oss.accessId);
        data.insert(QStringLiteral("accessKey"), m_rig.oss.accessKey + QStringLiteral("x"));
        data.insert(QStringLiteral("token"), QString());
        QJsonObject root{{QStringLiteral("code"), 200}, {QStringLiteral("status"), QStringLiteral("success")},
                         {QStringLiteral("data"), data}};
        m_rig.service->answerNext(kInitPath, 200, QJsonDocument(root).toJson(QJsonDocument::Compact));

        const ThreadRun run = m_rig.runThread(m_rig.makeTask(path));
        QCOMPARE(describe(run.results), describe({{false, 0}}));
        QVERIFY2(run.elapsedMs < 5000, qPrintable(QString::number(run.elapsedMs)));
        QVERIFY(m_rig.partNumbers(false).isEmpty());
        const QList<devsvc::RequestLogEntry> store = m_rig.storeRequests();
        QVERIFY(!store.isEmpty());
        QCOMPARE(store.first().status, 403);
        const QStringList failure = capturedLinesWith(QStringLiteral("ResumableUploadObject fail"));
        QCOMPARE(failure.size(), 1);
        QVERIFY2(failure.first().contains(QStringLiteral("SignatureDoesNotMatch")), qPrintable(failure.first()));
    }

    // Store coordinates that are not a web address, or values that would
    // break a header, fail the start like a failed transfer before any
    // request reaches the store (a file:// endpoint would read a local file).
    void unusableStoreCoordinatesFailBeforeTheStore_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("bucket");
        QTest::addColumn<QString>("accessId");
        QTest::addColumn<QString>("token");
        const QString local = QStringLiteral("file://") + filePath(QString());
        QTest::newRow("file endpoint") << local << QString() << QString() << QString();
        QTest::newRow("ftp endpoint") << QStringLiteral("ftp://127.0.0.1:1") << QString() << QString() << QString();
        QTest::newRow("gopher endpoint") << QStringLiteral("gopher://127.0.0.1:1/") << QString() << QString()
                                         << QString();
        QTest::newRow("no host") << QStringLiteral("http://") << QString() << QString() << QString();
        QTest::newRow("bucket with a slash") << QString() << QStringLiteral("a/../b") << QString() << QString();
        QTest::newRow("bucket with an at") << QString() << QStringLiteral("x@127.0.0.1") << QString() << QString();
        QTest::newRow("empty bucket") << QString() << QStringLiteral("") << QString() << QString();
        QTest::newRow("id with a line break") << QString() << QString() << QStringLiteral("id\r\nX-Evil: 1")
                                              << QString();
        QTest::newRow("token with a line feed") << QString() << QString() << QString()
                                                << QStringLiteral("t\nX-Evil: 1");
    }
    void unusableStoreCoordinatesFailBeforeTheStore()
    {
        QFETCH(QString, endpoint);
        QFETCH(QString, bucket);
        QFETCH(QString, accessId);
        QFETCH(QString, token);
        const QString path = filePath(QStringLiteral("coords-%1.mp4").arg(QString::fromLatin1(QTest::currentDataTag()).size()));
        writeRandomFile(path, 2 * kMiB, 17);
        QJsonObject data;
        data.insert(QStringLiteral("remainSpace"), double(kPlentyOfSpace));
        data.insert(QStringLiteral("callback"), QStringLiteral("{}"));
        data.insert(QStringLiteral("bucketName"), bucket.isNull() ? m_rig.oss.bucket : bucket);
        data.insert(QStringLiteral("endpoint"), endpoint.isEmpty() ? m_rig.oss.endpoint : endpoint);
        data.insert(QStringLiteral("accessId"), accessId.isEmpty() ? m_rig.oss.accessId : accessId);
        data.insert(QStringLiteral("accessKey"), m_rig.oss.accessKey);
        data.insert(QStringLiteral("token"), token);
        QJsonObject root{{QStringLiteral("code"), 200}, {QStringLiteral("status"), QStringLiteral("success")},
                         {QStringLiteral("data"), data}};
        m_rig.service->answerNext(kInitPath, 200, QJsonDocument(root).toJson(QJsonDocument::Compact));

        const ThreadRun run = m_rig.runThread(m_rig.makeTask(path));
        QCOMPARE(describe(run.results), describe({{false, 0}}));
        QVERIFY(m_rig.storeRequests().isEmpty());
        QCOMPARE(capturedLinesWith(QStringLiteral("store coordinates refused")).size(), 1);
        QVERIFY(capturedLinesWith(QStringLiteral("ResumableUploadObject fail")).isEmpty());
    }

    // A bare host (no scheme) is still taken as http.
    void bareEndpointIsTakenAsHttp()
    {
        const QString path = filePath(QStringLiteral("bare.mp4"));
        writeRandomFile(path, 1000, 23);
        QJsonObject data;
        data.insert(QStringLiteral("remainSpace"), double(kPlentyOfSpace));
        data.insert(QStringLiteral("callback"), QStringLiteral("{}"));
        data.insert(QStringLiteral("bucketName"), m_rig.oss.bucket);
        data.insert(QStringLiteral("endpoint"), QString(m_rig.oss.endpoint).remove(QStringLiteral("http://")));
        data.insert(QStringLiteral("accessId"), m_rig.oss.accessId);
        data.insert(QStringLiteral("accessKey"), m_rig.oss.accessKey);
        data.insert(QStringLiteral("token"), QString());
        QJsonObject root{{QStringLiteral("code"), 200}, {QStringLiteral("status"), QStringLiteral("success")},
                         {QStringLiteral("data"), data}};
        m_rig.service->answerNext(kInitPath, 200, QJsonDocument(root).toJson(QJsonDocument::Compact));
        const ThreadRun run = m_rig.runThread(m_rig.makeTask(path));
        QVERIFY(capturedLinesWith(QStringLiteral("store coordinates refused")).isEmpty());
        QVERIFY(!m_rig.storeRequests().isEmpty());
    }

    // The store could not reach the callback: the object is there but the
    // service does not know the video, so the upload failed.
    void failedCallbackFails()
    {
        const QString path = filePath(QStringLiteral("nocallback.mp4"));
        writeRandomFile(path, 2 * kMiB, 13);
        m_rig.service->answerNext(kCallbackPath, 500, R"({"code":500})");
        const UploadTask task = m_rig.makeTask(path);
        const ThreadRun run = m_rig.runThread(task);
        QCOMPARE(describe(run.results), describe({{false, 0}}));
        QCOMPARE(m_rig.requestCount(kCallbackPath), 1);
        QVERIFY(!m_rig.service->videoIds(kUserId).contains(task.vid));
        const QStringList failure = capturedLinesWith(QStringLiteral("ResumableUploadObject fail"));
        QCOMPARE(failure.size(), 1);
        QVERIFY2(failure.first().contains(QStringLiteral("CallbackFailed")), qPrintable(failure.first()));
    }

    // An abort that comes while the start still talks to the service ends
    // the thread with the stop's code and without a transfer.
    void abortBeforeTheTransfer_data()
    {
        QTest::addColumn<QString>("heldPath");
        QTest::addColumn<bool>("requeue");
        QTest::newRow("during check, pause") << kCheckPath << false;
        QTest::newRow("during check, re-queue") << kCheckPath << true;
        QTest::newRow("during init, re-queue") << kInitPath << true;
    }
    void abortBeforeTheTransfer()
    {
        QFETCH(QString, heldPath);
        QFETCH(bool, requeue);
        const QString path = filePath(QStringLiteral("early-%1.mp4").arg(QString::fromLatin1(QTest::currentDataTag()).size()));
        writeRandomFile(path, 3 * kMiB, 21);
        m_rig.service->stallNext(heldPath);
        const ThreadRun run = m_rig.runThread(m_rig.makeTask(path), 20000, [&](AliyunUploadThread &thread) {
            QTRY_COMPARE_WITH_TIMEOUT(m_rig.service->stalledCount(), 1, 10000);
            thread.abort(requeue);
            m_rig.service->releaseStalls();
        });
        QVERIFY(run.ended);
        QCOMPARE(describe(run.results), describe({{false, requeue ? 11 : 6}}));
        QVERIFY(m_rig.storeRequests().isEmpty());
        if (heldPath == kCheckPath)
            QCOMPARE(m_rig.requestCount(kInitPath), 0);
        QCOMPARE(capturedLinesWith(QStringLiteral("thread abort:")).size(), 1);
    }

    // A file that went away after it was queued: reported as unreadable
    // (the row leaves the queue) instead of failing every retry.
    void vanishedFileIsReported()
    {
        const QString path = filePath(QStringLiteral("gone.mp4"));
        writeRandomFile(path, 4096, 1);
        const UploadTask task = m_rig.makeTask(path);
        QVERIFY(QFile::remove(path));
        const ThreadRun run = m_rig.runThread(task);
        QCOMPARE(describe(run.results), describe({{false, 2}}));
        QVERIFY(m_rig.storeRequests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAliyunChannel)
#include "tst_aliyunchannel.moc"
