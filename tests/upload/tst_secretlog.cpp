// The day's log after an OSS upload, a WCS upload, a refused OSS start and
// both speed tests against the local service: none of the keys, tokens,
// policies and signatures that the service handed out is in it, while the
// lines themselves are still written.

#include "queuefixture.h"

#include "app/log.h"
#include "demoservice.h"
#include "devservice/devservice.h"
#include "upload/nettestrequest.h"
#include "upload/nettestuploadthread.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestSecretLog final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_previousFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_folder.path()));
        openLog();
        m_previousHandler = qInstallMessageHandler(logMessageHandler);
        startDemoService(m_service);
        if (QTest::currentTestFailed())
            return;
        installProgramChannels();
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(m_previousHandler);
        closeLog();
        m_service.stop();
        QDir::setCurrent(m_previousFolder);
    }

    void noSecretReachesTheLog()
    {
        upload(0, QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a"), QStringLiteral("oss.mp4"));
        upload(1, QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"), QStringLiteral("wcs.mp4"));
        // A start refused for lack of space: the answer with the keys goes
        // to the failure line.
        const qint64 space = m_service.remainSpace(QStringLiteral("10001"));
        m_service.setRemainSpace(QStringLiteral("10001"), 10);
        refusedStart();
        m_service.setRemainSpace(QStringLiteral("10001"), space);
        speedTest(nettest::OssMode, QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a"));
        speedTest(nettest::WcsMode, QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"));
        if (QTest::currentTestFailed())
            return;

        const QString log = readLog();

        // The lines are there, with what may be shown.
        QVERIFY(log.contains(QStringLiteral("response3:")));
        QVERIFY(log.contains(QStringLiteral("bucketName")));
        QVERIFY(log.contains(QStringLiteral("getting accessKeyId failure")));
        QVERIFY(log.contains(QStringLiteral("WsTokenThread ret:")));

        const QStringList secrets = m_service.handedOutSecrets();
        // Store key id and secret, a WCS token per init, the speed-test
        // policy and signature.
        QVERIFY2(secrets.size() >= 6, qPrintable(secrets.join(QLatin1Char(' '))));
        for (const QString &secret : secrets)
            QVERIFY2(!log.contains(secret), qPrintable(QStringLiteral("in the log: ") + secret));
    }

private:
    // The day's log as it is now (every line is flushed when written).
    QString readLog() const
    {
        QFile file(QDir(m_folder.path()).filePath(
            QStringLiteral("log/%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    void upload(int channel, const QString &userId, const QString &secretKey, const QString &name)
    {
        QueueFixture f(channel, 1);
        setUploadChannelFactory(nullptr); // the program's channels
        f.queue()->setAccount(f.serviceAccount(userId, secretKey));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};
        QVERIFY(f.add({f.makeFile(name, 200000)}));
        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 60000);
        QCOMPARE(f.finished.size(), 1);
        QVERIFY2(f.finished.first().endsWith(QStringLiteral("已完成")), qPrintable(f.finished.first()));
    }

    void refusedStart()
    {
        QueueFixture f(0, 1);
        setUploadChannelFactory(nullptr);
        f.queue()->setAccount(f.serviceAccount(QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a")));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};
        QVERIFY(f.add({f.makeFile(QStringLiteral("nospace.mp4"), 5000)}));
        QTRY_VERIFY_WITH_TIMEOUT(readLog().contains(QStringLiteral("getting accessKeyId failure")), 20000);
    }

    void speedTest(nettest::Mode mode, const QString &userId, const QString &secretKey)
    {
        nettest::TestAccount account;
        account.uid = account.userId = userId;
        account.secretKey = secretKey;
        account.apiHost = hosts::apiHost();
        const QString file = QDir(m_folder.path()).filePath(QStringLiteral("speed.bin"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(100000, 's'));
        }
        const nettest::Credentials credentials = nettest::requestCredentials(mode, account, file);
        QVERIFY(credentials.accepted);
        NetTestUploadThread thread(credentials.params);
        QSignalSpy result(&thread, &NetTestUploadThread::ResultA);
        thread.start();
        QVERIFY(result.wait(30000));
        thread.wait();
        QCOMPARE(result.first().at(0).toBool(), true);
    }

    QTemporaryDir m_folder;
    QString m_previousFolder;
    QtMessageHandler m_previousHandler = nullptr;
    devsvc::DevService m_service;
};

QTEST_MAIN(TestSecretLog)
#include "tst_secretlog.moc"
