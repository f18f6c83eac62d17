#include "wcsfixture.h"

#include "net/api.h"
#include "net/closingflag.h"
#include "net/transferlimits.h"
#include "upload/uploadrecord.h"
#include "upload/wcsprotocol.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>

#include <QRegularExpression>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// What a row told the queue.
struct RowWatch
{
    QList<bool> deleted;
    QList<int> errors;

    explicit RowWatch(UploadWidget &row)
    {
        QObject::connect(&row, &UploadWidget::deleteFile, &row, [this](bool ok) { deleted.append(ok); });
        QObject::connect(&row, &UploadWidget::uploadError, &row, [this](int code) { errors.append(code); });
    }
};

// The request paths of mkblk for each block index.
QMap<int, int> mkblkPerBlock(const devsvc::DevService &service)
{
    QMap<int, int> perBlock;
    const QRegularExpression re(QStringLiteral("^/mkblk/\\d+/(\\d+)$"));
    for (const devsvc::RequestLogEntry &e : service.requests(QStringLiteral("/mkblk/.*"))) {
        const auto m = re.match(e.path);
        if (m.hasMatch())
            ++perBlock[m.captured(1).toInt()];
    }
    return perBlock;
}

// No chunk that the store confirmed was sent a second time: every bput
// continues from a distinct ctx and offset, and every answered chunk
// request was answered once.
bool noConfirmedChunkResent(const devsvc::DevService &service)
{
    QSet<QString> seen;
    for (const devsvc::RequestLogEntry &e : service.requests(QStringLiteral("/bput/.*"))) {
        if (e.status != 200)
            continue;
        if (seen.contains(e.path))
            return false;
        seen.insert(e.path);
    }
    return true;
}

} // namespace

class TestWcsChannel final : public QObject
{
    Q_OBJECT

private slots:
    // ---- token thread --------------------------------------------------

    void checkAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("secondPass");
        QTest::newRow("exactly 1") << QByteArray("1") << true;
        QTest::newRow("space then 1") << QByteArray(" 1") << false;
        QTest::newRow("1 and line end") << QByteArray("1\n") << false;
        QTest::newRow("0") << QByteArray("0") << false;
    }
    void checkAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, secondPass);
        WcsFixture f;
        QVERIFY(f.start());
        std::unique_ptr<UploadTask> task(f.makeTask(f.makeFile(QStringLiteral("clip.mp4"), 1000)));
        f.prepareInit(task.get());
        f.service.answerNext(QStringLiteral("/uc/video/checkUploadingVideo"), 200, answer);

        const TokenOutcome r = runTokenThread(task.get());
        QCOMPARE(f.count(QStringLiteral("/uc/video/checkUploadingVideo")), 1);
        if (secondPass) {
            QCOMPARE(r.ok, true);
            QCOMPARE(r.code, 4);
            QCOMPARE(f.count(QStringLiteral("/uc/video/insertUploadingVideo")), 0);
            QCOMPARE(f.count(QStringLiteral("/v2/uploadvideo_wcs/.*")), 0);
            QVERIFY(!task->everUploaded);
        } else {
            QCOMPARE(r.ok, true);
            QCOMPARE(r.code, 2);
            QCOMPARE(f.count(QStringLiteral("/uc/video/insertUploadingVideo")), 1);
            QCOMPARE(f.count(QStringLiteral("/v2/uploadvideo_wcs/10002/init")), 1);
            QVERIFY(task->everUploaded);
            QVERIFY(!task->fileid.isEmpty());
            QVERIFY(!task->dateStr.isEmpty());
            QVERIFY(!task->uploadToken.isEmpty());
            QVERIFY(!task->uploadHost.isEmpty());
            QVERIFY(f.service.isUploadRegistered(task->vid));
        }
    }

    void everUploadedSendsOnlyTheInit()
    {
        WcsFixture f;
        QVERIFY(f.start());
        std::unique_ptr<UploadTask> task(f.makeTask(f.makeFile(QStringLiteral("again.mp4"), 5000)));
        task->everUploaded = true;
        f.prepareInit(task.get());
        const TokenOutcome r = runTokenThread(task.get());
        QCOMPARE(r.ok, true);
        QCOMPARE(r.code, 2);
        const QList<devsvc::RequestLogEntry> log = f.service.requestLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().path, QStringLiteral("/v2/uploadvideo_wcs/10002/init"));
    }

    void spaceRule_data()
    {
        QTest::addColumn<qint64>("extra"); // remain space minus the file size
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("code");
        QTest::newRow("no space at all") << qint64(-5000) << false << 1;
        QTest::newRow("exactly the file") << qint64(0) << false << 1;
        QTest::newRow("one byte more: warning") << qint64(1) << true << 5;
        QTest::newRow("plenty") << qint64(400) * kMiB << true << 2;
    }
    void spaceRule()
    {
        QFETCH(qint64, extra);
        QFETCH(bool, ok);
        QFETCH(int, code);
        WcsFixture f;
        QVERIFY(f.start());
        std::unique_ptr<UploadTask> task(f.makeTask(f.makeFile(QStringLiteral("space.mp4"), 5000)));
        f.service.setRemainSpace(QStringLiteral("10002"), std::max<qint64>(0, 5000 + extra));
        f.prepareInit(task.get());
        const TokenOutcome r = runTokenThread(task.get());
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.code, code);
        // Only an initialised start stores the WCS coordinates.
        QCOMPARE(task->fileid.isEmpty(), !ok);
        QCOMPARE(task->dateStr.isEmpty(), !ok);
        QCOMPARE(task->uploadToken.isEmpty(), !ok);
        QCOMPARE(task->uploadHost.isEmpty(), !ok);
    }

    void rejectedInit_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        QTest::newRow("time stamp")
            << 200 << QByteArray(R"({"code":400,"status":"error","message":"ptime is too old."})") << 3;
        QTest::newRow("other rejection")
            << 200 << QByteArray(R"({"code":400,"status":"error","message":"sign is illegal."})") << 0;
        QTest::newRow("http 500") << 500 << QByteArray("{}") << 0;
        QTest::newRow("not json") << 200 << QByteArray("<html>") << 0;
    }
    void rejectedInit()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        WcsFixture f;
        QVERIFY(f.start());
        std::unique_ptr<UploadTask> task(f.makeTask(f.makeFile(QStringLiteral("r.mp4"), 100)));
        f.prepareInit(task.get());
        f.service.answerNext(QStringLiteral("/v2/uploadvideo_wcs/.*"), status, body);
        const TokenOutcome r = runTokenThread(task.get());
        QCOMPARE(r.ok, false);
        QCOMPARE(r.code, code);
        QVERIFY(task->everUploaded); // the insert went out
        QVERIFY(task->fileid.isEmpty());
    }

    // ---- whole uploads through the row ----------------------------------

    void completeUpload_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("three blocks, last one short") << 2 * wcs::kBlockSize + 12345;
        QTest::newRow("under one chunk") << qint64(777);
        QTest::newRow("exactly one block") << wcs::kBlockSize;
        QTest::newRow("more blocks than threads") << 6 * wcs::kBlockSize + 1;
    }
    void completeUpload()
    {
        QFETCH(qint64, size);
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("whole.mp4"), size);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        QVERIFY(watch.errors.isEmpty());

        const devsvc::VideoState video = f.service.video(row.task()->vid);
        QVERIFY(video.exists);
        QCOMPARE(video.size, size);
        QCOMPARE(video.md5, WcsFixture::md5Of(path));
        QVERIFY(f.service.videoIds(QStringLiteral("10002")).contains(row.task()->vid));

        const qint64 blocks = wcs::blockCount(size);
        QCOMPARE(qint64(row.task()->blocks.size()), blocks);
        for (const UploadBlock &b : qAsConst(row.task()->blocks)) {
            QCOMPARE(b.status, 2);
            QVERIFY(!b.ctx.isEmpty());
        }
        QCOMPARE(row.task()->alreadyUploadSize, size);
        QCOMPARE(row.progressText(), QStringLiteral("100%"));
        QCOMPARE(f.count(QStringLiteral("/mkfile/.*")), 1);
        QCOMPARE(qint64(mkblkPerBlock(f.service).size()), blocks);
        // Every request to the store carries the token and the batch.
        for (const devsvc::RequestLogEntry &e : f.service.requests(QStringLiteral("/(mkblk|bput|mkfile)/.*"))) {
            bool token = false;
            bool batch = false;
            for (const auto &h : e.headers) {
                token |= h.first.compare("Authorization", Qt::CaseInsensitive) == 0
                         && h.second == row.task()->uploadToken.toUtf8();
                batch |= h.first.compare("uploadBatch", Qt::CaseInsensitive) == 0
                         && h.second == row.task()->uuid.toUtf8();
            }
            QVERIFY2(token && batch, qPrintable(e.path));
        }
    }

    // An upload host that is not a web address, or a token that would
    // break the header, fails the row's transfer (code 10) before any
    // request reaches the store.
    void unusableHostOrTokenFailsBeforeTheStore_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("token");
        QTest::newRow("file host") << QStringLiteral("file:///etc") << QStringLiteral("wcs-ok");
        QTest::newRow("ftp host") << QStringLiteral("ftp://127.0.0.1:1") << QStringLiteral("wcs-ok");
        QTest::newRow("token with a line break") << QString() << QStringLiteral("wcs-ok\r\nX-Evil: 1");
        QTest::newRow("token with a control character") << QString() << QStringLiteral("wcs\x01ok");
    }
    void unusableHostOrTokenFailsBeforeTheStore()
    {
        QFETCH(QString, host);
        QFETCH(QString, token);
        WcsFixture f;
        QVERIFY(f.start());
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("hostile.mp4"), 1000)));
        RowWatch watch(row);
        QJsonObject data{{QStringLiteral("remainSpace"), 1e12},
                         {QStringLiteral("fileid"), QStringLiteral("F1")},
                         {QStringLiteral("dateStr"), QStringLiteral("20260101")},
                         {QStringLiteral("uploadToken"), token},
                         {QStringLiteral("host"), host.isEmpty() ? f.service.baseUrl() : host}};
        const QJsonObject answer{{QStringLiteral("code"), 200}, {QStringLiteral("status"), QStringLiteral("success")},
                                 {QStringLiteral("data"), data}};
        f.service.answerNext(QStringLiteral("/v2/uploadvideo_wcs/.*"), 200,
                             QJsonDocument(answer).toJson(QJsonDocument::Compact));
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{10}, 10000);
        QCOMPARE(f.count(QStringLiteral("/(mkblk|bput|mkfile)/.*")), 0);
    }

    void secondPassRowFinishes()
    {
        WcsFixture f;
        QVERIFY(f.start());
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("known.mp4"), 1000)));
        RowWatch watch(row);
        f.service.answerNext(QStringLiteral("/uc/video/checkUploadingVideo"), 200, "1");
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 10000);
        QVERIFY(row.isSecondPass());
        QCOMPARE(f.count(QStringLiteral("/mkblk/.*")), 0);
    }

    void spaceShortageStopsTheRow()
    {
        WcsFixture f;
        QVERIFY(f.start());
        f.service.setRemainSpace(QStringLiteral("10002"), 0);
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("big.mp4"), 1000)));
        RowWatch watch(row);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{1}, 10000);
        QCOMPARE(row.statusText(), QStringLiteral("等待中"));
        QVERIFY(row.task()->fileid.isEmpty());
        QVERIFY(row.task()->uploadToken.isEmpty());
        QCOMPARE(f.count(QStringLiteral("/mkblk/.*")), 0);
    }

    void pauseInsideABlockAndResume()
    {
        WcsFixture f;
        QVERIFY(f.start());
        const qint64 size = 2 * wcs::kBlockSize;
        const QString path = f.makeFile(QStringLiteral("pause.mp4"), size);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        // Hold the second chunk of both blocks until the pause is in place.
        f.service.stallNext(QStringLiteral("/bput/.*"), 2);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 2, 10000);
        row.pauseBlockTransfer(true);
        f.service.releaseStalls();
        QTRY_COMPARE_WITH_TIMEOUT(f.count(QStringLiteral("/bput/.*")), 2, 10000);

        // Held at the chunk boundary: nothing more goes out, for longer than
        // the service keeps an idle connection open.
        const int before = f.service.requestLog().size();
        QTest::qWait(5500);
        QCOMPARE(f.service.requestLog().size(), before);
        QVERIFY(watch.deleted.isEmpty());
        QVERIFY(watch.errors.isEmpty());
        QCOMPARE(row.task()->alreadyUploadSize, 4 * kMiB);

        row.pauseBlockTransfer(false);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        QCOMPARE(mkblkPerBlock(f.service), (QMap<int, int>{{0, 1}, {1, 1}}));
        QCOMPARE(f.count(QStringLiteral("/bput/.*")), 6);
        QVERIFY(noConfirmedChunkResent(f.service));
        QCOMPARE(f.service.video(row.task()->vid).md5, WcsFixture::md5Of(path));
    }

    void stopThenRestoredStartSkipsStoredBlocks()
    {
        WcsFixture f;
        QVERIFY(f.start());
        const qint64 size = 3 * wcs::kBlockSize - 100;
        const QString path = f.makeFile(QStringLiteral("resume.mp4"), size);
        auto row = std::make_unique<UploadWidget>(f.makeTask(path));
        RowWatch watch(*row);
        f.service.stallNext(QStringLiteral("/mkblk/\\d+/2"), 1);
        f.startRow(*row);
        QTRY_COMPARE_WITH_TIMEOUT(row->task()->blocks.size(), 2, 20000);
        row->stopUpload(false);
        f.service.releaseStalls();
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{6}, 10000);
        QCOMPARE(row->statusText(), QStringLiteral("暂停中"));
        QVERIFY(!f.service.video(row->task()->vid).exists);

        // The record as it is saved and read back at the next start.
        const uploadrecord::BlockStrings strings = uploadrecord::blockStrings(row->task()->blocks);
        QCOMPARE(strings.indexStr, QStringLiteral("0,1,"));
        const QJsonObject object = uploadrecord::recordObject(*row->task(), WcsChannel, strings);
        uploadrecord::RestoreContext context;
        context.channel = WcsChannel;
        context.ptime = currentPtime();
        context.today = QDate::currentDate();
        const uploadrecord::RestoredTask back = uploadrecord::restoreTask(object, context);
        QVERIFY(back.fileExists);
        auto *restored = new UploadTask(back.task);
        QCOMPARE(restored->blocks.keys(), (QList<qint64>{0, 1}));
        QCOMPARE(restored->uuid, row->task()->uuid);
        QCOMPARE(restored->fileid, row->task()->fileid);
        row.reset();

        f.service.clearRequestLog();
        UploadWidget again(restored);
        RowWatch watchAgain(again);
        f.startRow(again);
        QTRY_COMPARE_WITH_TIMEOUT(watchAgain.deleted, QList<bool>{true}, 30000);
        QCOMPARE(mkblkPerBlock(f.service), (QMap<int, int>{{2, 1}}));
        QCOMPARE(f.count(QStringLiteral("/uc/video/checkUploadingVideo")), 0);
        const QList<devsvc::RequestLogEntry> inits = f.service.requests(QStringLiteral("/v2/uploadvideo_wcs/.*"));
        QCOMPARE(inits.size(), 1);
        QVERIFY(inits.first().query.contains(QStringLiteral("fileid=") + restored->fileid));
        QCOMPARE(f.service.video(restored->vid).md5, WcsFixture::md5Of(path));
        QCOMPARE(again.task()->alreadyUploadSize, size);
    }

    void storeFaultsAreRetried_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("wrong crc32")
            << QStringLiteral("/bput/.*") << 200
            << QByteArray(R"({"ctx":"0123456789abcdef","checksum":"0","crc32":12345,"offset":2097152})");
        QTest::newRow("503 on mkblk") << QStringLiteral("/mkblk/.*") << 503 << QByteArray(R"({"code":503})");
        QTest::newRow("500 on bput") << QStringLiteral("/bput/.*") << 500 << QByteArray(R"({"code":500})");
        QTest::newRow("502 on mkfile") << QStringLiteral("/mkfile/.*") << 502 << QByteArray(R"({"code":502})");
    }
    void storeFaultsAreRetried()
    {
        QFETCH(QString, pattern);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("faults.mp4"), wcs::kBlockSize + 5);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.service.answerNext(pattern, status, body);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        QVERIFY(watch.errors.isEmpty());
        QCOMPARE(f.service.video(row.task()->vid).md5, WcsFixture::md5Of(path));
        QCOMPARE(row.task()->alreadyUploadSize, wcs::kBlockSize + 5);
        // The faulty answer and the request sent again.
        const QList<devsvc::RequestLogEntry> hits = f.service.requests(pattern);
        QVERIFY(hits.size() >= 2);
    }

    void brokenConnectionIsRetried()
    {
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("reset.mp4"), 3 * kMiB);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.service.resetAfterBytes(QStringLiteral("/bput/.*"), 100000);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        QCOMPARE(f.service.video(row.task()->vid).md5, WcsFixture::md5Of(path));
        QList<int> statuses;
        for (const devsvc::RequestLogEntry &e : f.service.requests(QStringLiteral("/bput/.*")))
            statuses.append(e.status);
        // The cut chunk, sent again, then the last chunk.
        QCOMPARE(statuses.size(), 3);
        QVERIFY(statuses.first() != 200);
    }

    void silentStoreIsRetried()
    {
        // The store takes a chunk and then says nothing: once nothing moved
        // for the low-speed time (a second here) the chunk counts as a
        // network failure and is sent again; no closing flag is needed.
        TransferLimits limits;
        limits.lowSpeedSeconds = 1;
        setTransferLimitsForTest(limits);
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("silent.mp4"), 3 * kMiB);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.service.stallNext(QStringLiteral("/bput/.*"), 1);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        resetTransferLimitsForTest();
        QVERIFY(watch.errors.isEmpty());
        QCOMPARE(f.service.video(row.task()->vid).md5, WcsFixture::md5Of(path));
        QCOMPARE(row.task()->alreadyUploadSize, 3 * kMiB);
        QCOMPARE(f.service.stalledCount(), 1); // the silent one is still held
        QVERIFY(noConfirmedChunkResent(f.service));
    }

    void persistentFaultFails()
    {
        WcsFixture f;
        QVERIFY(f.start());
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("down.mp4"), 1000)));
        RowWatch watch(row);
        f.service.answerNext(QStringLiteral("/mkblk/.*"), 579, R"({"code":579})", -1);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{10}, 30000);
        QVERIFY(row.isFailed());
        QCOMPARE(row.statusText(), QStringLiteral("失败"));
        QCOMPARE(f.count(QStringLiteral("/mkblk/.*")), 1);
    }

    void expiredTokenFailsAndRetryCompletes()
    {
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("expire.mp4"), wcs::kBlockSize + 3000);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.service.stallNext(QStringLiteral("/mkblk/.*"), 1);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 1, 10000);
        f.service.expireWcsTokens();
        f.service.releaseStalls();
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{10}, 20000);
        QVERIFY(row.isFailed());
        const QString fileid = row.task()->fileid;
        const QString dateStr = row.task()->dateStr;
        QVERIFY(!fileid.isEmpty());
        QVERIFY(!f.service.requests(QStringLiteral("/(mkblk|bput)/.*")).isEmpty());

        // The queue's retry: a fresh init that sends the kept fileid and dateStr.
        f.service.clearRequestLog();
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{true}, 30000);
        const QList<devsvc::RequestLogEntry> inits = f.service.requests(QStringLiteral("/v2/uploadvideo_wcs/.*"));
        QCOMPARE(inits.size(), 1);
        QVERIFY(inits.first().query.contains(QStringLiteral("fileid=") + fileid));
        QVERIFY(inits.first().query.contains(QStringLiteral("dateStr=") + dateStr));
        QCOMPARE(row.task()->fileid, fileid);
        QCOMPARE(f.service.video(row.task()->vid).md5, WcsFixture::md5Of(path));
    }

    void fileGoneMidUpload_data()
    {
        QTest::addColumn<bool>("remove"); // else: cut short
        QTest::newRow("removed") << true;
        QTest::newRow("truncated") << false;
    }
    void fileGoneMidUpload()
    {
        QFETCH(bool, remove);
        WcsFixture f;
        QVERIFY(f.start());
        const QString path = f.makeFile(QStringLiteral("gone.mp4"), 2 * wcs::kBlockSize);
        UploadWidget row(f.makeTask(path));
        RowWatch watch(row);
        f.service.stallNext(QStringLiteral("/bput/.*"), 2);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 2, 10000);
        if (remove) {
            QVERIFY(QFile::remove(path));
        } else {
            QFile file(path);
            QVERIFY(file.resize(kMiB + 10));
        }
        f.service.releaseStalls();
        QTRY_COMPARE_WITH_TIMEOUT(watch.deleted, QList<bool>{false}, 20000);
        QVERIFY(watch.errors.isEmpty());
        QVERIFY(!f.service.video(row.task()->vid).exists);
        QCOMPARE(f.count(QStringLiteral("/mkfile/.*")), 0);
    }

    void closingEndsTheTransfer()
    {
        WcsFixture f;
        QVERIFY(f.start());
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("closing.mp4"), 3 * kMiB)));
        RowWatch watch(row);
        f.service.stallNext(QStringLiteral("/bput/.*"), 1);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 1, 10000);
        row.pauseBlockTransfer(true);
        setClosing();
        f.service.releaseStalls();
        // Held by the pause and still ended: like a pause, the stored blocks stay usable.
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{6}, 5000);
        resetClosingForTest();
        QCOMPARE(f.count(QStringLiteral("/mkfile/.*")), 0);
    }

    void requeueStopReports11()
    {
        WcsFixture f;
        QVERIFY(f.start());
        UploadWidget row(f.makeTask(f.makeFile(QStringLiteral("requeue.mp4"), 3 * kMiB)));
        RowWatch watch(row);
        f.service.stallNext(QStringLiteral("/bput/.*"), 1);
        f.startRow(row);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.stalledCount(), 1, 10000);
        // A pause first; the stop must still end the held threads.
        row.pauseBlockTransfer(true);
        row.stopUpload(true);
        f.service.releaseStalls();
        QTRY_COMPARE_WITH_TIMEOUT(watch.errors, QList<int>{11}, 10000);
        QCOMPARE(row.statusText(), QStringLiteral("等待中"));
        QTest::qWait(300);
        QCOMPARE(watch.errors, QList<int>{11});
    }
};

QTEST_MAIN(TestWcsChannel)
#include "tst_wcschannel.moc"
