// The OSS client against the whole emulator: the store's routes among the
// service's others, and the service's own fault switches on store paths.

#include "devservice/devservice.h"
#include "devservice/servicecore.h"

#include "ossrig.h"

#include "oss/OssClient.h"
#include "oss/OssOperations.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace AlibabaCloud::OSS;

class TestOssDevService : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<devsvc::DevService> m_service;
    devsvc::OssCoordinates m_oss;

    PutObjectOutcome upload(const QString &path, const std::string &key)
    {
        ClientConfiguration configuration;
        configuration.retryDelayMs = 20;
        OssClient client(m_oss.endpoint.toStdString(), m_oss.accessId.toStdString(),
                         m_oss.accessKey.toStdString(), configuration);
        UploadObjectRequest request(m_oss.bucket.toStdString(), key, path.toLocal8Bit().toStdString(),
                                    QFileInfo(path).absolutePath().toLocal8Bit().toStdString());
        request.setPartSize(512 * 1024);
        request.setThreadNum(2);
        return client.ResumableUploadObject(request);
    }
    int partPuts() const
    {
        int n = 0;
        for (const devsvc::RequestLogEntry &e : m_service->requestLog())
            n += e.method == QLatin1String("PUT") && e.query.contains(QLatin1String("partNumber=")) ? 1 : 0;
        return n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        InitializeSdk();
        devsvc::DevService::Options options;
        options.dataDir = m_dir.filePath(QStringLiteral("service"));
        m_service = std::make_unique<devsvc::DevService>(options);
        QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
        m_oss = m_service->core().ossCoordinates();
        QVERIFY(!m_oss.bucket.isEmpty());
        QVERIFY(!m_oss.accessId.isEmpty());
    }
    void cleanupTestCase()
    {
        m_service.reset();
        ShutdownSdk();
    }
    void init()
    {
        m_service->clearFaults();
        m_service->clearRequestLog();
    }

    void uploadThroughTheService_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("extraPuts");
        QTest::newRow("no fault") << "" << 0;
        QTest::newRow("service answers 500 twice") << "answer" << 2;
        QTest::newRow("service resets a part") << "reset" << 1;
        QTest::newRow("service caps the bandwidth") << "bandwidth" << 0;
    }
    void uploadThroughTheService()
    {
        QFETCH(QString, fault);
        QFETCH(int, extraPuts);
        const QString path = m_dir.filePath(QStringLiteral("f-%1.mp4").arg(QString::fromLatin1(QTest::currentDataTag()).size()));
        const qint64 size = 3 * 512 * 1024 + 99; // 4 parts
        const QByteArray md5 = writeRandomFile(path, size, 77);
        const QString bucketPaths = QStringLiteral("/%1/.*").arg(m_oss.bucket);
        if (fault == QLatin1String("answer"))
            m_service->answerNext(bucketPaths, 500, "{}", 2, QStringLiteral("PUT"));
        else if (fault == QLatin1String("reset"))
            m_service->resetAfterBytes(bucketPaths, 100 * 1024, 1, QStringLiteral("PUT"));
        else if (fault == QLatin1String("bandwidth"))
            m_service->setBandwidthLimit(8 * 1024 * 1024);

        const std::string key = "uploadvideo/20261210/svc-" + std::to_string(size) + fault.toStdString() + ".mp4";
        const PutObjectOutcome outcome = upload(path, key);
        QVERIFY2(outcome.isSuccess(), (outcome.error().Code() + ": " + outcome.error().Message()).c_str());
        QCOMPARE(partPuts(), 4 + extraPuts);
        QVERIFY(!QFile::exists(path + QStringLiteral(".ucp")));

        // Read the object back through the store and compare.
        m_service->clearFaults();
        detail::ClientContext context(m_oss.endpoint.toStdString(), m_oss.accessId.toStdString(),
                                      m_oss.accessKey.toStdString(), ClientConfiguration());
        detail::HttpSession session(context);
        detail::OssOperations ops(context, session);
        detail::HttpRequest get;
        get.method = "GET";
        const detail::HttpResponse back = ops.send(get, m_oss.bucket.toStdString(), key, {}, std::string(), std::string());
        QCOMPARE(back.status, 200L);
        QCOMPARE(qint64(back.body.size()), size);
        QCOMPARE(QCryptographicHash::hash(QByteArray::fromStdString(back.body), QCryptographicHash::Md5).toHex(), md5);
    }
};

QTEST_GUILESS_MAIN(TestOssDevService)
#include "tst_ossdevservice.moc"
