// Resumable uploads of the OSS client library against the in-process store.

#include "ossrig.h"

#include "oss/OssClient.h"
#include "oss/OssOperations.h"
#include "oss/UploadCheckpoint.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <mutex>
#include <vector>

using namespace AlibabaCloud::OSS;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;

struct ProgressCall
{
    size_t increment;
    int64_t transferred;
    int64_t total;
};

struct ProgressLog
{
    std::mutex mutex;
    std::vector<ProgressCall> calls;
    std::function<void(int64_t transferred)> hook;

    static void handler(size_t increment, int64_t transferred, int64_t total, void *userData)
    {
        auto *log = static_cast<ProgressLog *>(userData);
        {
            std::lock_guard<std::mutex> lock(log->mutex);
            log->calls.push_back({increment, transferred, total});
        }
        if (log->hook)
            log->hook(transferred);
    }
    TransferProgress progress() { return TransferProgress{&ProgressLog::handler, this}; }
};

std::string base64(const QByteArray &text)
{
    return text.toBase64().toStdString();
}

std::vector<int> partNumbersSent(const QList<devsvc::OssRequestRecord> &records)
{
    std::vector<int> numbers;
    for (const auto &r : records)
        if (r.operation == QLatin1String("uploadPart"))
            numbers.push_back(r.partNumber);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A loopback port that nobody listens on.
int closedPort()
{
    const socket_t s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
#ifdef _WIN32
    ::closesocket(s);
#else
    ::close(s);
#endif
    return port;
}

int countOf(const QList<devsvc::OssRequestRecord> &records, const char *operation)
{
    int n = 0;
    for (const auto &r : records)
        n += r.operation == QLatin1String(operation) ? 1 : 0;
    return n;
}

} // namespace

class TestOssUpload : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<OssRig> m_rig;
    int m_fileSeq = 0;

    ClientConfiguration config() const
    {
        ClientConfiguration c;
        c.retryDelayMs = 20; // the part digest check is on by default: exercised as the channel uses it
        return c;
    }
    std::unique_ptr<OssClient> client(const std::string &secretOverride = std::string(),
                                      const std::string &idOverride = std::string()) const
    {
        const devsvc::OssCredentials c = m_rig->store().credentials();
        return std::make_unique<OssClient>(
            m_rig->endpoint(), idOverride.empty() ? c.accessKeyId.toStdString() : idOverride,
            secretOverride.empty() ? c.accessKeySecret.toStdString() : secretOverride, config());
    }
    QString newFilePath(const QString &suffix = QStringLiteral(".mp4"))
    {
        return m_dir.filePath(QStringLiteral("files/video%1%2").arg(++m_fileSeq).arg(suffix));
    }
    UploadObjectRequest request(const QString &path, const std::string &key, uint64_t partSize,
                                uint32_t threads) const
    {
        UploadObjectRequest r(m_rig->store().bucket().toStdString(), "provisional",
                              path.toLocal8Bit().toStdString(),
                              QFileInfo(path).absolutePath().toLocal8Bit().toStdString());
        r.setKey(key);
        r.setPartSize(partSize);
        r.setThreadNum(threads);
        return r;
    }
    static QString checkpointOf(const QString &path) { return path + QStringLiteral(".ucp"); }

    // Runs an upload that is stopped through DisableRequest once `stopAt`
    // bytes went out; returns the checkpoint it left.
    detail::UploadCheckpoint interruptedUpload(const QString &path, const std::string &key,
                                               uint64_t partSize, uint32_t threads, int64_t stopAt)
    {
        auto c = client();
        OssClient *raw = c.get();
        ProgressLog log;
        log.hook = [raw, stopAt](int64_t transferred) {
            if (transferred >= stopAt)
                raw->DisableRequest();
        };
        UploadObjectRequest r = request(path, key, partSize, threads);
        r.setTransferProgress(log.progress());
        const PutObjectOutcome outcome = c->ResumableUploadObject(r);
        detail::UploadCheckpoint cp;
        if (!outcome.isSuccess() && outcome.error().Code() == ClientErrorCode::RequestDisabled)
            detail::UploadCheckpoint::load(checkpointOf(path).toStdString(), cp);
        return cp;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("files"))));
        InitializeSdk();
        m_rig = std::make_unique<OssRig>(m_dir.filePath(QStringLiteral("store")));
        QVERIFY(m_rig->port() > 0);
    }
    void cleanupTestCase()
    {
        m_rig.reset();
        ShutdownSdk();
    }
    void init()
    {
        m_rig->store().clearFaults();
        m_rig->store().clearRequests();
        m_rig->store().setClock(nullptr);
        m_rig->store().setCallbackTimeoutMs(5000);
        m_rig->callbackStatus = 200;
        m_rig->callbackDelayMs = 0;
        m_rig->resetConnections();
    }

    void completeUpload_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<int>("threads");
        QTest::addColumn<QString>("key");
        QTest::newRow("small file, one part") << qint64(1000) << 1000LL << 1 << "uploadvideo/20261210/v1.mp4";
        QTest::newRow("empty file") << qint64(0) << 0LL << 1 << "uploadvideo/20261210/empty.mp4";
        QTest::newRow("exact multiple, 2 threads") << 3 * MiB << MiB << 2 << "uploadvideo/20261210/v2.MP4";
        QTest::newRow("short tail, 3 threads") << 3 * MiB + 512 * KiB + 17 << MiB << 3 << "uploadvideo/20261210/v3.flv";
        QTest::newRow("many parts, 1 thread") << 2 * MiB + 5 << 128 * KiB << 1 << "uploadvideo/20261210/v4.mkv";
        QTest::newRow("key needing escapes") << 300 * KiB << 100 * KiB << 2
                                             << QStringLiteral("uploadvideo/20261210/测试 a+b&c%20.mp4");
    }
    void completeUpload()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, partSize);
        QFETCH(int, threads);
        QFETCH(QString, key);
        const QString path = newFilePath();
        const QByteArray md5 = writeRandomFile(path, size, quint32(size + 7));

        const QByteArray callbackJson =
            QStringLiteral("{\"callbackUrl\":\"%1\",\"callbackBody\":\"bucket=${bucket}&object=${object}"
                           "&size=${size}&etag=${etag}&mimeType=${mimeType}\",\"callbackBodyType\":"
                           "\"application/x-www-form-urlencoded\"}")
                .arg(m_rig->callbackUrl())
                .toUtf8();
        UploadObjectRequest r = request(path, key.toStdString(), uint64_t(partSize), uint32_t(threads));
        r.setCallback(base64(callbackJson), std::string());
        ProgressLog log;
        r.setTransferProgress(log.progress());

        const PutObjectOutcome outcome = client()->ResumableUploadObject(r);
        QVERIFY2(outcome.isSuccess(), (outcome.error().Code() + ": " + outcome.error().Message()).c_str());
        QCOMPARE(QString::fromStdString(outcome.result().CallbackResponse()), QStringLiteral("{\"Status\":\"OK\"}"));

        const devsvc::OssObjectInfo info = m_rig->store().object(key);
        QVERIFY(info.exists);
        QCOMPARE(info.size, size);
        QCOMPARE(info.md5, md5);
        const qint64 parts = size == 0 ? 1 : (size + partSize - 1) / partSize;
        QCOMPARE(qint64(info.partCount), parts);
        QVERIFY2(!QFile::exists(checkpointOf(path)), "a finished upload leaves no checkpoint");

        // The parts went over at most one kept-alive connection per thread.
        QVERIFY2(m_rig->connectionCount() <= threads,
                 qPrintable(QStringLiteral("%1 connections").arg(m_rig->connectionCount())));

        // Progress: monotonic, increments add up, ends at the total.
        int64_t sum = 0;
        int64_t previous = 0;
        for (const ProgressCall &call : log.calls) {
            QCOMPARE(call.total, int64_t(size));
            QVERIFY(call.transferred >= previous);
            QCOMPARE(int64_t(call.increment), call.transferred - previous);
            previous = call.transferred;
            sum += int64_t(call.increment);
        }
        QCOMPARE(sum, int64_t(size));
        if (size > 0)
            QCOMPARE(log.calls.back().transferred, int64_t(size));

        // The callback saw the stored object.
        const QList<QByteArray> bodies = m_rig->callbackBodies();
        QVERIFY(!bodies.isEmpty());
        const QByteArray body = bodies.last();
        QVERIFY2(body.contains("object=" + QUrl::toPercentEncoding(key) + '&'), body.constData());
        QVERIFY(body.contains("&size=" + QByteArray::number(size) + '&'));
        QVERIFY(body.contains("bucket=" + m_rig->store().bucket().toUtf8()));
    }

    void resumeSendsOnlyMissingParts()
    {
        const qint64 size = 2 * MiB + 5;
        const qint64 partSize = 128 * KiB; // 17 parts
        const QString path = newFilePath();
        const QByteArray md5 = writeRandomFile(path, size, 99);
        const std::string key = "uploadvideo/20261210/resume.mp4";
        m_rig->store().setPartReadRate(4 * MiB); // long enough to stop in the middle

        const detail::UploadCheckpoint cp = interruptedUpload(path, key, partSize, 2, size / 3);
        QVERIFY2(!cp.uploadId.empty(), "the stopped upload keeps its checkpoint");
        QVERIFY(!cp.parts.empty());
        QVERIFY(cp.parts.size() < 17);
        QVERIFY(!m_rig->store().object(QString::fromStdString(key)).exists);

        m_rig->store().clearFaults();
        m_rig->store().clearRequests();
        ProgressLog log;
        UploadObjectRequest r = request(path, key, partSize, 2);
        r.setTransferProgress(log.progress());
        const PutObjectOutcome outcome = client()->ResumableUploadObject(r);
        QVERIFY2(outcome.isSuccess(), outcome.error().Message().c_str());

        const auto records = m_rig->store().requests();
        QCOMPARE(countOf(records, "initiate"), 0);
        QCOMPARE(countOf(records, "listParts"), 1);
        std::vector<int> expected;
        for (int n = 1; n <= 17; ++n)
            if (std::none_of(cp.parts.begin(), cp.parts.end(),
                             [n](const detail::CheckpointPart &p) { return int(p.number) == n; }))
                expected.push_back(n);
        QCOMPARE(partNumbersSent(records), expected);

        const devsvc::OssObjectInfo info = m_rig->store().object(QString::fromStdString(key));
        QCOMPARE(info.size, size);
        QCOMPARE(info.md5, md5);

        // The finished parts are reported once, at the start, without increment.
        QVERIFY(!log.calls.empty());
        int64_t finished = 0;
        for (const auto &p : cp.parts)
            finished += int64_t(p.size);
        QCOMPARE(log.calls.front().increment, size_t(0));
        QCOMPARE(log.calls.front().transferred, finished);
        QCOMPARE(log.calls.back().transferred, int64_t(size));
    }

    void checkpointFollowsEveryPart()
    {
        const qint64 partSize = 100 * KiB;
        const QString path = newFilePath();
        writeRandomFile(path, 10 * partSize, 17);
        QList<QPair<int64_t, int>> seen; // transferred, parts in the checkpoint file
        ProgressLog log;
        log.hook = [&](int64_t transferred) {
            if (transferred % partSize != 0)
                return;
            detail::UploadCheckpoint cp;
            const bool loaded = detail::UploadCheckpoint::load(checkpointOf(path).toStdString(), cp);
            seen.append({transferred, loaded ? int(cp.parts.size()) : -1});
        };
        UploadObjectRequest r = request(path, "uploadvideo/20261210/steps.mp4", uint64_t(partSize), 1);
        r.setTransferProgress(log.progress());
        QVERIFY(client()->ResumableUploadObject(r).isSuccess());
        // Each finished part is in the checkpoint file before it is reported
        // (the last bytes count as transferred once sent, answer or not).
        QVERIFY(seen.size() >= 10);
        for (const auto &step : seen) {
            if (step.first < 10 * partSize)
                QCOMPARE(step.second, int(step.first / partSize));
            else
                QVERIFY(step.second >= 9);
        }
        QVERIFY(!QFile::exists(checkpointOf(path)));
    }

    void staleCheckpointGivesCleanUpload_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("file content and time changed") << "rewrite";
        QTest::newRow("file grew") << "grow";
        QTest::newRow("checkpoint damaged") << "damage";
        QTest::newRow("upload gone at the store") << "abort";
        QTest::newRow("other part size") << "partsize";
    }
    void staleCheckpointGivesCleanUpload()
    {
        QFETCH(QString, change);
        const qint64 size = MiB + 300 * KiB;
        qint64 partSize = 128 * KiB;
        const QString path = newFilePath();
        writeRandomFile(path, size, 5);
        const std::string key = "uploadvideo/20261210/stale-" + change.toStdString() + ".mp4";
        const int openBefore = m_rig->store().openUploadCount();
        m_rig->store().setPartReadRate(4 * MiB);
        const detail::UploadCheckpoint cp = interruptedUpload(path, key, uint64_t(partSize), 2, size / 2);
        QVERIFY(!cp.uploadId.empty());
        m_rig->store().clearFaults();

        QByteArray md5;
        if (change == QLatin1String("rewrite")) {
            md5 = writeRandomFile(path, size, 6);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        } else if (change == QLatin1String("grow")) {
            md5 = writeRandomFile(path, size + 1000, 7);
        } else if (change == QLatin1String("damage")) {
            md5 = fileMd5(path);
            QFile f(checkpointOf(path));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray text = f.readAll();
            text.replace("\"partSize\": ", "\"partSize\": 1");
            f.seek(0);
            f.write(text);
        } else if (change == QLatin1String("abort")) {
            md5 = fileMd5(path);
            auto c = client();
            detail::ClientContext context(m_rig->endpoint(), m_rig->store().credentials().accessKeyId.toStdString(),
                                          m_rig->store().credentials().accessKeySecret.toStdString(), config());
            detail::HttpSession session(context);
            detail::OssOperations ops(context, session);
            QVERIFY(ops.abortUpload(cp.bucket, cp.key, cp.uploadId).isSuccess());
        } else {
            md5 = fileMd5(path);
            partSize = 256 * KiB;
        }

        m_rig->store().clearRequests();
        const PutObjectOutcome outcome =
            client()->ResumableUploadObject(request(path, key, uint64_t(partSize), 2));
        QVERIFY2(outcome.isSuccess(), outcome.error().Message().c_str());
        const auto records = m_rig->store().requests();
        QCOMPARE(countOf(records, "initiate"), 1);
        const qint64 newSize = QFileInfo(path).size();
        const int parts = int((newSize + partSize - 1) / partSize);
        std::vector<int> all;
        for (int n = 1; n <= parts; ++n)
            all.push_back(n);
        QCOMPARE(partNumbersSent(records), all);
        const devsvc::OssObjectInfo info = m_rig->store().object(QString::fromStdString(key));
        QCOMPARE(info.size, newSize);
        QCOMPARE(info.md5, md5);
        // The old upload was freed, except when its checkpoint was unreadable.
        QCOMPARE(m_rig->store().openUploadCount(), openBefore + (change == QLatin1String("damage") ? 1 : 0));
    }

    void partFaults_data()
    {
        QTest::addColumn<int>("failCount");
        QTest::addColumn<int>("failStatus");
        QTest::addColumn<int>("resets");
        QTest::addColumn<int>("corrupted");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("partPuts");
        QTest::addColumn<QString>("code");
        // 6 parts each time.
        QTest::newRow("500 twice, then accepted") << 2 << 500 << 0 << 0 << true << 8 << "";
        QTest::newRow("503 beyond the retries") << 100 << 503 << 0 << 0 << false << 4 << "InternalError";
        QTest::newRow("403 fails at once") << 1 << 403 << 0 << 0 << false << 1 << "AccessDenied";
        QTest::newRow("connection reset in a part") << 0 << 0 << 1 << 0 << true << 7 << "";
        QTest::newRow("two resets") << 0 << 0 << 2 << 0 << true << 8 << "";
        QTest::newRow("part damaged on the way") << 0 << 0 << 0 << 1 << true << 7 << "";
        QTest::newRow("part damaged on every try") << 0 << 0 << 0 << 100 << false << 4 << "DigestMismatch";
    }
    void partFaults()
    {
        QFETCH(int, failCount);
        QFETCH(int, failStatus);
        QFETCH(int, resets);
        QFETCH(int, corrupted);
        QFETCH(bool, succeeds);
        QFETCH(int, partPuts);
        QFETCH(QString, code);
        const qint64 size = 6 * 100 * KiB;
        const QString path = newFilePath();
        const QByteArray md5 = writeRandomFile(path, size, 11);
        const std::string key = "uploadvideo/20261210/faults-" + std::to_string(m_fileSeq) + ".mp4";
        if (failCount)
            m_rig->store().failNextParts(failCount, failStatus);
        if (resets)
            m_rig->store().resetNextParts(resets, 50 * KiB);
        if (corrupted)
            m_rig->store().corruptNextParts(corrupted);

        ProgressLog log;
        UploadObjectRequest r = request(path, key, 100 * KiB, 1);
        r.setTransferProgress(log.progress());
        const PutObjectOutcome outcome = client()->ResumableUploadObject(r);
        QCOMPARE(outcome.isSuccess(), succeeds);
        QCOMPARE(m_rig->store().partPutCount(), partPuts);
        int64_t previous = 0;
        for (const ProgressCall &call : log.calls) { // a part sent again never counts twice
            QVERIFY(call.transferred > previous);
            QCOMPARE(int64_t(call.increment), call.transferred - previous);
            previous = call.transferred;
        }
        QVERIFY(previous <= size);
        if (succeeds) {
            QCOMPARE(previous, size);
            QCOMPARE(m_rig->store().object(QString::fromStdString(key)).md5, md5);
        } else {
            QCOMPARE(QString::fromStdString(outcome.error().Code()), code);
            QVERIFY(!outcome.error().RequestId().empty());
            QVERIFY2(QFile::exists(checkpointOf(path)), "a failed upload keeps its checkpoint");
            // A part the store does not hold as sent is never made into an object.
            QCOMPARE(countOf(m_rig->store().requests(), "complete"), 0);
            QVERIFY(!m_rig->store().object(QString::fromStdString(key)).exists);
        }
    }

    void refusedRequests_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("code");
        QTest::newRow("wrong secret") << "secret" << "SignatureDoesNotMatch";
        QTest::newRow("unknown key id") << "id" << "InvalidAccessKeyId";
        QTest::newRow("clock far off") << "clock" << "RequestTimeTooSkewed";
    }
    void refusedRequests()
    {
        QFETCH(QString, what);
        QFETCH(QString, code);
        const QString path = newFilePath();
        writeRandomFile(path, 200 * KiB, 3);
        if (what == QLatin1String("clock"))
            m_rig->store().setClock([] { return QDateTime::currentMSecsSinceEpoch() + 16 * 60 * 1000; });
        auto c = what == QLatin1String("secret") ? client("not-the-secret")
               : what == QLatin1String("id")     ? client(std::string(), "LTAIunknown")
                                                 : client();
        const PutObjectOutcome outcome = c->ResumableUploadObject(request(path, "uploadvideo/x/refused.mp4", 100 * KiB, 2));
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(QString::fromStdString(outcome.error().Code()), code);
        QCOMPARE(outcome.error().Status(), 403);
        QVERIFY(!outcome.error().Message().empty());
        QVERIFY(!outcome.error().RequestId().empty());
        QCOMPARE(m_rig->store().partPutCount(), 0);
        QCOMPARE(m_rig->store().requests().size(), 1); // refused at the initiate, not retried
    }

    void failedCallbackFailsUpload_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("callback answers 500") << "status";
        QTest::newRow("callback too slow") << "slow";
        QTest::newRow("callback unreachable") << "unreachable";
        QTest::newRow("callback outside loopback") << "foreign";
    }
    void failedCallbackFailsUpload()
    {
        QFETCH(QString, how);
        const QString path = newFilePath();
        const QByteArray md5 = writeRandomFile(path, 250 * KiB, 21);
        QString url = m_rig->callbackUrl();
        if (how == QLatin1String("status")) {
            m_rig->callbackStatus = 500;
        } else if (how == QLatin1String("slow")) {
            m_rig->store().setCallbackTimeoutMs(200);
            m_rig->callbackDelayMs = 600;
        } else if (how == QLatin1String("unreachable")) {
            m_rig->store().setCallbackTimeoutMs(1000);
            url = QStringLiteral("http://127.0.0.1:%1/cb").arg(closedPort());
        } else {
            url = QStringLiteral("http://192.0.2.10/uc/video/ossCallback");
        }
        const QByteArray json = QStringLiteral("{\"callbackUrl\":\"%1\",\"callbackBody\":\"object=${object}\"}")
                                    .arg(url).toUtf8();
        const std::string key = "uploadvideo/20261210/cb-" + how.toStdString() + ".mp4";
        UploadObjectRequest r = request(path, key, 100 * KiB, 2);
        r.setCallback(base64(json));
        const PutObjectOutcome outcome = client()->ResumableUploadObject(r);
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(QString::fromStdString(outcome.error().Code()), QStringLiteral("CallbackFailed"));
        QCOMPARE(outcome.error().Status(), 203);
        // The bytes are stored all the same; the service just never heard of them.
        QCOMPARE(m_rig->store().object(QString::fromStdString(key)).md5, md5);
        QCOMPARE(m_rig->store().callbacks().size(), 1);
        QVERIFY(!m_rig->store().callbacks().first().succeeded);
    }

    void disabledBeforeStart()
    {
        const QString path = newFilePath();
        writeRandomFile(path, 300 * KiB, 8);
        auto c = client();
        c->DisableRequest();
        const PutObjectOutcome outcome = c->ResumableUploadObject(request(path, "uploadvideo/x/d.mp4", 100 * KiB, 2));
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(outcome.error().Code(), std::string(ClientErrorCode::RequestDisabled));
        QVERIFY(m_rig->store().requests().isEmpty());
    }

    void disableEndsRunningPartPromptly()
    {
        const qint64 size = 16 * MiB;
        const QString path = newFilePath();
        const QByteArray md5 = writeRandomFile(path, size, 13);
        const std::string key = "uploadvideo/20261210/prompt.mp4";
        m_rig->store().setPartReadRate(2 * MiB); // one 8 MiB part takes 4 s, far beyond socket buffers

        auto c = client();
        OssClient *raw = c.get();
        QElapsedTimer sinceDisable;
        std::once_flag once;
        std::thread stopper;
        ProgressLog log;
        log.hook = [&](int64_t) {
            std::call_once(once, [&] {
                stopper = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    sinceDisable.start();
                    raw->DisableRequest();
                });
            });
        };
        UploadObjectRequest r = request(path, key, 8 * MiB, 2);
        r.setTransferProgress(log.progress());
        const PutObjectOutcome outcome = c->ResumableUploadObject(r);
        const qint64 elapsed = sinceDisable.isValid() ? sinceDisable.elapsed() : -1;
        if (stopper.joinable())
            stopper.join();
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(outcome.error().Code(), std::string(ClientErrorCode::RequestDisabled));
        QVERIFY2(elapsed >= 0 && elapsed < 1500, qPrintable(QStringLiteral("ended %1 ms after the stop").arg(elapsed)));
        QVERIFY(QFile::exists(checkpointOf(path)));

        // Enabled again, the same client finishes the upload from its checkpoint.
        m_rig->store().clearFaults();
        m_rig->store().clearRequests();
        c->EnableRequest();
        QVERIFY(c->ResumableUploadObject(request(path, key, 8 * MiB, 2)).isSuccess());
        QCOMPARE(countOf(m_rig->store().requests(), "listParts"), 1);
        QCOMPARE(m_rig->store().object(QString::fromStdString(key)).md5, md5);
    }

    void fileChangedDuringUpload()
    {
        const QString path = newFilePath();
        writeRandomFile(path, 800 * KiB, 31);
        const std::string key = "uploadvideo/20261210/changing.mp4";
        std::once_flag once;
        ProgressLog log;
        log.hook = [&](int64_t) {
            std::call_once(once, [&] {
                QFile f(path);
                if (f.open(QIODevice::ReadWrite)) {
                    f.write("changed");
                    f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
                }
            });
        };
        UploadObjectRequest r = request(path, key, 100 * KiB, 2);
        r.setTransferProgress(log.progress());
        const PutObjectOutcome outcome = client()->ResumableUploadObject(r);
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(outcome.error().Code(), std::string(ClientErrorCode::FileChanged));
        QVERIFY(!m_rig->store().object(QString::fromStdString(key)).exists);
        // The next start sees the new file and uploads it whole.
        m_rig->store().clearRequests();
        QVERIFY(client()->ResumableUploadObject(request(path, key, 100 * KiB, 2)).isSuccess());
        QCOMPARE(countOf(m_rig->store().requests(), "initiate"), 1);
        QCOMPARE(m_rig->store().object(QString::fromStdString(key)).md5, fileMd5(path));
    }

    void invalidRequests_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("code");
        QTest::newRow("missing file") << "missing" << ClientErrorCode::FileNotReadable;
        QTest::newRow("parts below 100 KiB") << "small" << ClientErrorCode::InvalidArgument;
        QTest::newRow("more than 10000 parts") << "many" << ClientErrorCode::InvalidArgument;
    }
    void invalidRequests()
    {
        QFETCH(QString, what);
        QFETCH(QString, code);
        const QString path = newFilePath();
        uint64_t partSize = 100 * KiB;
        if (what == QLatin1String("small")) {
            writeRandomFile(path, 200 * KiB, 1);
            partSize = 64 * KiB;
        } else if (what == QLatin1String("many")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(10001) * 100 * KiB)); // sparse
        }
        const PutObjectOutcome outcome = client()->ResumableUploadObject(request(path, "uploadvideo/x/bad.mp4", partSize, 2));
        QVERIFY(!outcome.isSuccess());
        QCOMPARE(QString::fromStdString(outcome.error().Code()), code);
        QVERIFY(m_rig->store().requests().isEmpty());
        QFile::remove(path);
    }
};

QTEST_GUILESS_MAIN(TestOssUpload)
#include "tst_ossupload.moc"
