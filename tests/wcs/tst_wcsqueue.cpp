// The upload queue with the program's WCS channel against the local service:
// a transfer whose token expires fails, the queue's retry makes a fresh init
// with the kept fileid and dateStr, skips the blocks already stored and
// finishes the file; the store's opaque contexts survive a pause, a restart
// and the record file.

#include "tests/upload/queuefixture.h"

#include "demoservice.h"
#include "devservice/devservice.h"
#include "net/servicehosts.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"
#include "upload/wcsprotocol.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

class TestWcsQueue final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        startDemoService(m_service);
        if (QTest::currentTestFailed())
            return;
        installProgramChannels();
    }
    void cleanupTestCase() { m_service.stop(); }

    void expiredTokenRetriedByTheQueue()
    {
        QueueFixture f(WcsChannel, 2);
        setUploadChannelFactory(nullptr); // the program's channels
        f.queue()->setAccount(f.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        // Two blocks; the second one is held until the token has expired.
        const qint64 size = wcs::kBlockSize + 4321;
        const QString path = f.makeFile(QStringLiteral("expiring.mp4"), int(size), 'q');
        m_service.stallNext(QStringLiteral("/mkblk/\\d+/1"), 1);
        QVERIFY(f.add({path}));
        QCOMPARE(f.queue()->rowCount(), 1);
        UploadTask *task = f.queue()->row(0)->task();
        QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(task->blocks.size(), 1, 10000);
        const QString fileid = task->fileid;
        QVERIFY(!fileid.isEmpty());
        m_service.expireWcsTokens();
        m_service.clearRequestLog();
        m_service.releaseStalls();

        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 30000);
        QCOMPARE(f.finished.size(), 1);
        QVERIFY2(f.finished.first().endsWith(QStringLiteral("已完成")), qPrintable(f.finished.first()));

        // The refused block, then the retry: one init that resumes, only block 1 again.
        QList<int> mkblkStatuses;
        QStringList blocks;
        for (const devsvc::RequestLogEntry &e : m_service.requests(QStringLiteral("/mkblk/.*"))) {
            mkblkStatuses.append(e.status);
            blocks.append(e.path.section(QLatin1Char('/'), -1));
        }
        QCOMPARE(mkblkStatuses, (QList<int>{401, 200}));
        QCOMPARE(blocks, (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
        const QList<devsvc::RequestLogEntry> inits = m_service.requests(QStringLiteral("/v2/uploadvideo_wcs/.*"));
        QCOMPARE(inits.size(), 1);
        QVERIFY(inits.first().query.contains(QStringLiteral("fileid=") + fileid));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray md5 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex();
        const QString vid = f.finished.first().section(QLatin1Char(' '), 0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_service.video(vid).exists, 10000);
        QCOMPARE(m_service.video(vid).md5, md5);
    }

    // A file that grows between adding and starting (it was still being
    // copied) uploads whole: the blocks and mkfile follow the size that the
    // init announced.
    void fileGrownBeforeItsStart()
    {
        QueueFixture f(WcsChannel, 1);
        setUploadChannelFactory(nullptr);
        f.queue()->setAccount(f.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        // The first row's init is held while the second file grows.
        const QString first = f.makeFile(QStringLiteral("before.mp4"), 20000, 'b');
        const QString growing = f.makeFile(QStringLiteral("growing.mp4"), int(wcs::kBlockSize + 1000), 'g');
        m_service.stallNext(QStringLiteral("/v2/uploadvideo_wcs/.*/init"), 1);
        QVERIFY(f.add({first, growing}));
        QCOMPARE(f.queue()->rowCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 1, 10000);
        const qint64 addedSize = f.queue()->row(1)->task()->fileSize;
        {
            QFile file(growing);
            QVERIFY(file.open(QIODevice::Append));
            file.write(QByteArray(300000, 'h'));
        }
        const qint64 grownSize = QFileInfo(growing).size();
        QVERIFY(grownSize > addedSize);
        const QString vid = f.queue()->row(1)->task()->vid;
        m_service.releaseStalls();

        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 30000);
        QCOMPARE(f.finished.size(), 2);
        QFile file(growing);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray md5 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex();
        QTRY_VERIFY_WITH_TIMEOUT(m_service.video(vid).exists, 10000);
        QCOMPARE(m_service.video(vid).size, grownSize);
        QCOMPARE(m_service.video(vid).md5, md5);
    }

    // The store's contexts are 120 characters of URL-safe Base64 with "-",
    // "_" and "=". Each one must reach the store again exactly as given:
    // in a bput path after a pause inside the block, in the record file, and
    // in mkfile after a restart (the store refuses any context it did not
    // hand out).
    void storeContextsSurvivePauseRestartAndRecord()
    {
        QTemporaryDir keep;
        const QString path = keep.filePath(QStringLiteral("opaque.mp4"));
        const qint64 size = 4 * wcs::kBlockSize + 1000; // blocks 0-3 in parallel, then block 4
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray bytes(int(size), '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = char((i * 131 + i / 4099) & 0xff);
            QCOMPARE(file.write(bytes), size);
        }
        const QString record = keep.filePath(QStringLiteral("uploadInfo.json"));
        QStringList storedCtx;
        QString vid;
        {
            QueueFixture f(WcsChannel, 2);
            setUploadChannelFactory(nullptr); // the program's channels
            f.queue()->setAccount(f.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")));
            f.category = {QStringLiteral("1"), QStringLiteral("全部")};
            m_service.clearRequestLog();
            // Every block's first bput waits until the row is paused.
            m_service.stallNext(QStringLiteral("/bput/.*"), 4);
            QVERIFY(f.add({path}));
            QCOMPARE(f.queue()->rowCount(), 1);
            UploadWidget *row = f.queue()->row(0);
            UploadTask *task = row->task();
            vid = task->vid;
            QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 4, 20000);
            row->suspendButton()->click(); // pause
            QTRY_COMPARE(row->statusText(), QStringLiteral("暂停中"));
            m_service.releaseStalls();
            QTRY_COMPARE_WITH_TIMEOUT(m_service.requests(QStringLiteral("/bput/.*")).size(), 4, 10000);

            // Resumed: the chunks after the pause go on from the contexts
            // given before it; block 4 is then held until the restart.
            m_service.stallNext(QStringLiteral("/mkblk/\\d+/4"), 1);
            row->suspendButton()->click();
            QTRY_COMPARE(row->statusText(), QStringLiteral("上传中"));
            QTRY_COMPARE_WITH_TIMEOUT(task->blocks.size(), 4, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 1, 10000);
            const QList<devsvc::RequestLogEntry> bputs = m_service.requests(QStringLiteral("/bput/.*"));
            QCOMPARE(bputs.size(), 12); // chunks 1-3 of blocks 0-3, none sent twice
            for (const devsvc::RequestLogEntry &e : bputs)
                QCOMPARE(e.status, 200);
            for (qint64 i = 0; i < 4; ++i) {
                const QString ctx = task->blocks.value(i).ctx;
                QCOMPARE(task->blocks.value(i).status, 2);
                QCOMPARE(ctx.size(), 120);
                QVERIFY2(ctx.contains(QLatin1Char('-')) && ctx.contains(QLatin1Char('_'))
                             && ctx.endsWith(QLatin1String("==")),
                         qPrintable(ctx));
                storedCtx.append(ctx);
            }

            // The window ends: the record file is written from the rows.
            UploadRecordKeeper keeper(f.queue(), record);
            QVERIFY(keeper.saveUploadData());
            m_service.releaseStalls();
        }
        const QJsonArray saved = userdata::readFile(record).document.array();
        QCOMPARE(saved.size(), 1);
        const QJsonObject object = saved.first().toObject();
        QCOMPARE(object.value(QStringLiteral("ctxStr")).toString(), storedCtx.join(QLatin1Char(',')) + QLatin1Char(','));
        QCOMPARE(object.value(QStringLiteral("indexStr")).toString(), QStringLiteral("0,1,2,3,"));

        // The next start restores the row; only block 4 goes out, and mkfile
        // names the four restored contexts.
        m_service.clearRequestLog();
        QueueFixture again(WcsChannel, 2);
        setUploadChannelFactory(nullptr);
        again.queue()->setAccount(again.serviceAccount(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")));
        UploadRecordKeeper keeper(again.queue(), record);
        QTimer status;
        QCOMPARE(keeper.loadUploadData(true, &status).restored, 1);
        QCOMPARE(again.queue()->row(0)->task()->blocks.value(2).ctx, storedCtx.at(2));
        QTRY_COMPARE_WITH_TIMEOUT(again.queue()->rowCount(), 0, 30000);
        QCOMPARE(again.finished.size(), 1);
        QVERIFY2(again.finished.first().endsWith(QStringLiteral("已完成")), qPrintable(again.finished.first()));
        QStringList blocks;
        for (const devsvc::RequestLogEntry &e : m_service.requests(QStringLiteral("/mkblk/.*")))
            blocks.append(e.path.section(QLatin1Char('/'), -1));
        QCOMPARE(blocks, QStringList{QStringLiteral("4")});
        QCOMPARE(m_service.requests(QStringLiteral("/mkfile/.*")).size(), 1);
        QCOMPARE(m_service.requests(QStringLiteral("/mkfile/.*")).first().status, 200);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray md5 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex();
        QTRY_VERIFY_WITH_TIMEOUT(m_service.video(vid).exists, 10000);
        QCOMPARE(m_service.video(vid).md5, md5);
    }

private:
    devsvc::DevService m_service;
};

QTEST_MAIN(TestWcsQueue)
#include "tst_wcsqueue.moc"
