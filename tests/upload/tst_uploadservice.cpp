// The bookkeeping and init requests of the queue against the local service:
// the service checks the signatures, so this pins the escaping and signing
// rules from the other side.

#include "queuefixture.h"

#include "dialoghelper.h"
#include "demoservice.h"
#include "devservice/devservice.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/transfer.h"
#include "upload/uploadinit.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

class TestUploadService final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        startDemoService(m_service);
    }
    void cleanupTestCase() { m_service.stop(); }
    void cleanup() { setUploadChannelFactory(nullptr); }

    void requestsAreAccepted_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("secretKey");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("oss") << 0 << "10001" << "sk-oss-5f2c9d1a" << "plain.mp4";
        QTest::newRow("oss chinese") << 0 << "10001" << "sk-oss-5f2c9d1a" << QStringLiteral("我的 视频 (1).mp4");
        QTest::newRow("wcs") << 1 << "10002" << "sk-wcs-8b47e0c3" << "plain.mp4";
        QTest::newRow("wcs chinese") << 1 << "10002" << "sk-wcs-8b47e0c3" << QStringLiteral("课程 第1讲&2.mkv");
    }
    void requestsAreAccepted()
    {
        QFETCH(int, channel);
        QFETCH(QString, userId);
        QFETCH(QString, secretKey);
        QFETCH(QString, fileName);
        QueueFixture f(channel, 1);
        const UploadAccount account = f.serviceAccount(userId, secretKey);
        f.queue()->setAccount(account);
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        QVERIFY(f.add({f.makeFile(fileName, 4000)}));
        QCOMPARE(f.queue()->rowCount(), 1);
        const UploadTask task = *f.queue()->row(0)->task();

        const PostResult check = channelPost(task.checkUrl.toUtf8());
        QVERIFY2(check.ok, check.error.toUtf8());
        QVERIFY(check.body != "1");
        QVERIFY(channelPost(task.insertUrl.toUtf8()).ok);
        QTRY_VERIFY(m_service.isUploadRegistered(task.vid));

        const QString url = buildInitUrl(account, task.path, task.cataid, task.vid, task.fileid,
                                         task.dateStr);
        const PostResult init = channelPost(url.toUtf8());
        QVERIFY2(init.ok, init.body.constData());
        const InitAnswer answer = evaluateInitAnswer(init.ok, QString::fromUtf8(init.body), task.fileSize);
        QVERIFY2(answer.accepted, init.body.constData());
        QCOMPARE(answer.code, 2);
        if (channel == 1) {
            QVERIFY(!answer.text("fileid").isEmpty());
            // A resume sends the fileid and dateStr back, signed as well.
            const QString resume = buildInitUrl(account, task.path, task.cataid, task.vid,
                                                answer.text("fileid"), answer.text("dateStr"));
            const PostResult again = channelPost(resume.toUtf8());
            QVERIFY2(evaluateInitAnswer(again.ok, QString::fromUtf8(again.body), task.fileSize).accepted,
                     again.body.constData());
        } else {
            QVERIFY(!answer.text("bucketName").isEmpty());
        }

        // Removing the row cancels the registration once.
        m_service.clearRequestLog();
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.queue()->row(0)->deleteButton()->click();
        QTRY_COMPARE(f.queue()->rowCount(), 0);
        QVERIFY(m_service.waitForRequest(QStringLiteral("/uc/video/cancelUploadingVideo"), 5000));
        QTRY_VERIFY(!m_service.isUploadRegistered(task.vid));
        QCOMPARE(m_service.requests(QStringLiteral("/uc/video/cancelUploadingVideo")).size(), 1);
    }

    // A stored file id and date from an earlier answer go back escaped in
    // the query and raw in the signed text: the service, which checks the
    // signature over the values it decoded, takes the resume.
    void serverValuesAreEscapedInTheInitQuery()
    {
        QueueFixture f(1, 1);
        const UploadAccount account = f.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"));
        const QString path = f.makeFile(QStringLiteral("resume.mp4"));
        const QString fileid = QStringLiteral("a&vid=x#y z%2");
        const QString dateStr = QStringLiteral("2026/12?1");
        const QString vid = makeVid(account.userId, QStringLiteral("resume.mp4"), QStringLiteral("1"),
                                    QFileInfo(path).size(), path);
        const BookkeepingUrls urls = makeBookkeepingUrls(account, vid, QStringLiteral("resume"), QStringLiteral("1"));
        QVERIFY(channelPost(urls.insertUrl.toUtf8()).ok);
        m_service.clearRequestLog();
        const InitRequest request = buildInitRequest(account, path, QStringLiteral("1"), vid, fileid, dateStr,
                                                     currentPtime());
        QVERIFY(request.signText.contains(QStringLiteral("&fileid=") + fileid + QStringLiteral("&")));
        QVERIFY(request.signText.contains(QStringLiteral("&dateStr=") + dateStr + QStringLiteral("&")));
        const PostResult init = channelPost(request.url.toUtf8());
        const InitAnswer answer = evaluateInitAnswer(init.ok, QString::fromUtf8(init.body), 10);
        QVERIFY2(answer.accepted, init.body.constData());
        const QList<devsvc::RequestLogEntry> sent = m_service.requests(QStringLiteral("/v2/uploadvideo_wcs/.*"));
        QCOMPARE(sent.size(), 1);
        QVERIFY2(sent.first().query.contains(QStringLiteral("&fileid=a%26vid%3Dx%23y+z%252&")),
                 qPrintable(sent.first().query));
        QVERIFY2(sent.first().query.contains(QStringLiteral("&dateStr=2026%2F12%3F1&")), qPrintable(sent.first().query));
        QVERIFY(sent.first().query.endsWith(QStringLiteral("&vid=") + vid));
    }

    void timeStampRejection()
    {
        QueueFixture f(1, 1);
        const UploadAccount account = f.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"));
        const QString path = f.makeFile(QStringLiteral("t.mp4"));
        m_service.setClockOffsetMs(3600 * 1000);
        const PostResult init = channelPost(
            buildInitUrl(account, path, QStringLiteral("1"), QStringLiteral("10002abc_1"), QString(), QString())
                .toUtf8());
        m_service.setClockOffsetMs(0);
        const InitAnswer answer = evaluateInitAnswer(init.ok, QString::fromUtf8(init.body), 10);
        QCOMPARE(answer.code, 3);
        QVERIFY(!answer.ok);
    }

private:
    devsvc::DevService m_service;
};

QTEST_MAIN(TestUploadService)
#include "tst_uploadservice.moc"
