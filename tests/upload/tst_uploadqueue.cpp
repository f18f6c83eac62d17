#include "queuefixture.h"

#include "dialoghelper.h"
#include "upload/retiredthreads.h"
#include "upload/uploaddisplay.h"
#include "upload/uploadinit.h"

#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>

namespace {

QStringList g_log;

void captureLog(QtMsgType, const QMessageLogContext &, const QString &text)
{
    g_log.append(text);
}

int logCount(const QString &prefix)
{
    int n = 0;
    for (const QString &line : qAsConst(g_log))
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

QString statusLabel(const QueueFixture &f)
{
    return f.page->findChild<QLabel *>(QStringLiteral("uploadStatusLbl"))->text();
}

QPushButton *allStart(const QueueFixture &f)
{
    return f.page->findChild<QPushButton *>(QStringLiteral("allStartBtn"));
}

} // namespace

class TestUploadQueue final : public QObject
{
    Q_OBJECT

private slots:
    void init() { g_log.clear(); }

    void limitTwoWithFiveFiles_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("oss") << 0;
        QTest::newRow("wcs") << 1;
    }
    void limitTwoWithFiveFiles()
    {
        QFETCH(int, channel);
        QueueFixture f(channel);
        QVERIFY(f.add(f.makeFiles(5)));
        QCOMPARE(f.queue()->rowCount(), 5);
        QCOMPARE(f.queue()->currentLinks(), 2);
        QCOMPARE(f.uploadingRows(), 2);
        QVERIFY(f.queue()->row(0)->isUploading());
        QVERIFY(f.queue()->row(1)->isUploading());
        QVERIFY(f.queue()->isRunning());
        QCOMPARE(allStart(f)->text(), QStringLiteral("全部暂停"));
        QVERIFY(!f.queue()->row(0)->task()->initUrl.isEmpty());

        // The first row completes: it leaves and the third row starts.
        const QString firstVid = f.queue()->row(0)->task()->vid;
        const QString thirdVid = f.queue()->row(2)->task()->vid;
        if (channel == 0) {
            f.ossOf(0)->finish(true, 0);
        } else {
            QTRY_VERIFY(f.blockOf(0));
            f.blockOf(0)->finish(true, 0);
        }
        QTRY_COMPARE(f.queue()->rowCount(), 4);
        QCOMPARE(f.finished, QStringList{firstVid + QStringLiteral(" 已完成")});
        QCOMPARE(f.queue()->row(1)->task()->vid, thirdVid);
        QVERIFY(f.queue()->row(1)->isUploading());
        QCOMPARE(f.queue()->currentLinks(), 2);
        QVERIFY(!f.queue()->queuedVids().contains(firstVid));
    }

    void secondPassFinishesAfterASecond()
    {
        QueueFixture f(1, 1);
        f.factory->tokenCode = 4;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.add(f.makeFiles(1)));
        const QString vid = f.queue()->row(0)->task()->vid;
        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 5000);
        QVERIFY(clock.elapsed() >= 950);
        QCOMPARE(f.finished, QStringList{vid + QStringLiteral(" 已秒传")});
        QVERIFY(!allStart(f)->isVisible());
    }

    void failureFreesSlotAndRetriesOneSecondLater()
    {
        QueueFixture f(0);
        QVERIFY(f.add(f.makeFiles(3)));
        f.ossOf(0)->finish(false, 10);
        // The 300 ms delayed result marks the row failed and frees its slot.
        QTRY_VERIFY(f.queue()->row(0)->isFailed());
        QCOMPARE(f.queue()->row(0)->statusText(), QStringLiteral("失败"));
        QTRY_COMPARE(f.queue()->currentLinks(), 1);
        QVERIFY(!f.queue()->row(2)->isUploading());
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(f.queue()->row(2)->isUploading(), 3000);
        QVERIFY(clock.elapsed() >= 800);
        QCOMPARE(f.queue()->currentLinks(), 2);
        QVERIFY(!f.queue()->row(0)->isUploading()); // failed rows are not taken again at once
    }

    void twoFailuresWithinASecondRetryOnce()
    {
        installMessageHandler();
        QueueFixture f(0);
        QVERIFY(f.add(f.makeFiles(4)));
        f.ossOf(0)->finish(false, 0);
        f.ossOf(1)->finish(false, 0);
        QTRY_COMPARE(f.queue()->currentLinks(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("errorCurrentFileSlot  currentLinks:")), 1, 3000);
        QTest::qWait(1300);
        QCOMPARE(logCount(QStringLiteral("errorCurrentFileSlot  currentLinks:")), 1);
        // Code 0 leaves the rows waiting: the single retry restarts them.
        QCOMPARE(f.queue()->currentLinks(), 2);
        QVERIFY(f.queue()->row(0)->isUploading());
        QVERIFY(f.queue()->row(1)->isUploading());
        qInstallMessageHandler(nullptr);
    }

    void startOfPausedRowTakesTheSlots_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("oss") << 0;
        QTest::newRow("wcs") << 1;
    }
    void startOfPausedRowTakesTheSlots()
    {
        QFETCH(int, channel);
        QueueFixture f(channel);
        QVERIFY(f.add(f.makeFiles(3)));
        UploadWidget *pressed = f.queue()->row(2);
        QVERIFY(!pressed->isUploading());
        if (channel == 1)
            QTRY_COMPARE(f.factory->blocks.size(), 2);
        pressed->suspendButton()->click();
        QTRY_VERIFY(pressed->isUploading());
        for (int i = 0; i < 2; ++i) {
            UploadWidget *other = f.queue()->row(i);
            QVERIFY(other->offersStart());
            if (channel == 0) {
                QCOMPARE(other->statusText(), QStringLiteral("等待中"));
                QVERIFY(other->isWaiting());
                QVERIFY(f.ossOf(i)->abortedWithRequeue());
            } else {
                QCOMPARE(other->statusText(), QStringLiteral("暂停中"));
                QVERIFY(!other->isWaiting());
                QVERIFY(f.blockOf(i)->isPaused());
            }
        }
        QVERIFY(!pressed->offersStart());
    }

    void pauseAllAndStartAll_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("oss") << 0;
        QTest::newRow("wcs") << 1;
    }
    void pauseAllAndStartAll()
    {
        QFETCH(int, channel);
        QueueFixture f(channel);
        QVERIFY(f.add(f.makeFiles(3)));
        if (channel == 1)
            QTRY_COMPARE(f.factory->blocks.size(), 2);
        allStart(f)->click();
        QVERIFY(!f.queue()->isRunning());
        QCOMPARE(allStart(f)->text(), QStringLiteral("全部开始"));
        QCOMPARE(f.queue()->currentLinks(), 0);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(f.queue()->row(i)->offersStart());
            QVERIFY(!f.queue()->row(i)->isWaiting());
        }
        if (channel == 0) {
            QCOMPARE(f.uploadingRows(), 0);
        } else {
            QVERIFY(f.blockOf(0)->isPaused());
            QVERIFY(f.blockOf(1)->isPaused());
        }

        allStart(f)->click();
        QVERIFY(f.queue()->isRunning());
        QCOMPARE(allStart(f)->text(), QStringLiteral("全部暂停"));
        QCOMPARE(f.queue()->currentLinks(), 2);
        // Never more than the limit: the third row waits for a free slot.
        QVERIFY(!f.queue()->row(2)->isUploading());
        QVERIFY(f.queue()->row(2)->isWaiting());
        if (channel == 0) {
            QVERIFY(f.queue()->row(0)->isUploading());
            QVERIFY(f.queue()->row(1)->isUploading());
            QCOMPARE(f.queue()->row(2)->statusText(), QStringLiteral("等待中"));
        } else {
            QVERIFY(!f.blockOf(0)->isPaused());
            QVERIFY(!f.queue()->row(0)->offersStart());
        }
    }

    void overflowListFeedsTheRows()
    {
        QueueFixture f(0, 1);
        QVERIFY(f.add(f.makeFiles(202)));
        QCOMPARE(f.queue()->rowCount(), 200);
        QCOMPARE(f.queue()->overflowCount(), 2);
        QCOMPARE(f.queue()->queuedVids().size(), 202);
        const QString nextVid = f.queue()->overflowSnapshot().first().vid;

        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.queue()->row(5)->deleteButton()->click();
        QTRY_COMPARE(f.queue()->overflowCount(), 1);
        QCOMPARE(answerer.last().message, QStringLiteral("确定删除吗？"));
        QCOMPARE(f.queue()->rowCount(), 200);
        QCOMPARE(f.queue()->row(199)->task()->vid, nextVid);
        QCOMPARE(f.queue()->queuedVids().size(), 201);
    }

    void duplicatesPerCategory()
    {
        QueueFixture f(0, 1);
        const QString path = f.makeFile(QStringLiteral("same.mp4"));
        QVERIFY(f.add({path, path}));
        QCOMPARE(f.queue()->rowCount(), 1);
        QVERIFY(f.add({path}));
        QCOMPARE(f.queue()->rowCount(), 1);
        f.category = {QStringLiteral("12"), QStringLiteral("其他")};
        QVERIFY(f.add({path}));
        QCOMPARE(f.queue()->rowCount(), 2);
        QCOMPARE(f.queue()->row(1)->task()->cataStr, QStringLiteral("其他"));
        QVERIFY(f.queue()->row(0)->task()->vid != f.queue()->row(1)->task()->vid);
    }

    void emptyFilesAndMissingCategory()
    {
        QueueFixture f(1);
        const QString empty = f.dir.filePath(QStringLiteral("empty.mp4"));
        QFile(empty).open(QIODevice::WriteOnly);
        QVERIFY(f.add({empty}));
        QCOMPARE(f.queue()->rowCount(), 0);
        QVERIFY(!f.page->findChild<QWidget *>(QStringLiteral("uploadFrame"))->isVisible());
        QCOMPARE(f.queue()->lastFolder(), f.dir.path() + QLatin1Char('/'));

        f.category = {};
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.queue()->addUploadTask({f.makeFile(QStringLiteral("a.mp4"))});
        QCOMPARE(answerer.answeredCount(), 1);
        QCOMPARE(answerer.last().message, QStringLiteral("无法上传视频\r\n请检查网络或刷新目录"));
        QVERIFY(!f.queue()->isAdding());
        QCOMPARE(f.queue()->rowCount(), 0);
    }

    void wcsTaskRecord()
    {
        QueueFixture f(1, 1);
        QVERIFY(f.add(f.makeFiles(1)));
        const UploadTask *task = f.queue()->row(0)->task();
        QCOMPARE(task->uploadType, 1);
        QCOMPARE(task->uuid.size(), 40);
        QCOMPARE(task->title, QStringLiteral("clip0"));
        QCOMPARE(task->cataid, QStringLiteral("11"));
        QVERIFY(task->checkUrl.contains(QStringLiteral("/uc/video/checkUploadingVideo?vid=") + task->vid));
        QVERIFY(task->deleteUrl.contains(QStringLiteral("/uc/video/cancelUploadingVideo?")));
        QVERIFY(task->initUrl.contains(QStringLiteral("/v2/uploadvideo_wcs/u1/init?")));
        QTRY_VERIFY(task->everUploaded); // written by the token thread
    }

    void removalQuestions()
    {
        QueueFixture f(0, 1);
        QVERIFY(f.add(f.makeFiles(2)));
        const QString ucp = f.queue()->row(0)->task()->path + QStringLiteral(".ucp");
        QFile(ucp).open(QIODevice::WriteOnly);

        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("cancelBtn"));
        f.queue()->row(0)->deleteButton()->click();
        QVERIFY(answerer.waitAnswered(1));
        QCOMPARE(answerer.last().message, QStringLiteral("当前任务正在运行，确定删除吗？"));
        QTest::qWait(50);
        QCOMPARE(f.queue()->rowCount(), 2);
        QVERIFY(QFile::exists(ucp));

        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.queue()->row(0)->deleteButton()->click();
        QTRY_COMPARE(f.queue()->rowCount(), 1);
        QTRY_VERIFY(!QFile::exists(ucp)); // once the row's thread has ended
        // The freed slot goes to the next row.
        QVERIFY(f.queue()->row(0)->isUploading());
        QCOMPARE(f.queue()->currentLinks(), 1);
    }

    void lastRowLeavingStartsShutDown()
    {
        QueueFixture f(0, 1);
        int shutdowns = 0;
        f.queue()->setAutoShutDown(true);
        f.queue()->setShutDownHandler([&shutdowns]() { ++shutdowns; });
        QVERIFY(f.add(f.makeFiles(1)));
        f.ossOf(0)->finish(true, 0);
        QTRY_COMPARE(f.queue()->rowCount(), 0);
        QCOMPARE(shutdowns, 1);
        QVERIFY(!f.queue()->isRunning());
        QCOMPARE(statusLabel(f), uploaddisplay::statusLineReset());
    }

    void clearList()
    {
        QueueFixture f(0, 2);
        int shutdowns = 0;
        f.queue()->setAutoShutDown(true);
        f.queue()->setShutDownHandler([&shutdowns]() { ++shutdowns; });
        QVERIFY(f.add(f.makeFiles(203)));
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("cancelBtn"));
        f.page->on_clearListBtn_clicked();
        QCOMPARE(answerer.last().message, QStringLiteral("当前上传列表有任务，是否要清空列表"));
        QCOMPARE(f.queue()->rowCount(), 200);

        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.page->on_clearListBtn_clicked();
        QCOMPARE(f.queue()->rowCount(), 0);
        QCOMPARE(f.queue()->overflowCount(), 0);
        QVERIFY(f.queue()->queuedVids().isEmpty());
        QCOMPARE(f.queue()->currentLinks(), 0);
        QVERIFY(!f.queue()->isRunning());
        QVERIFY(!allStart(f)->isVisible());
        QCOMPARE(shutdowns, 0);
    }

    void clearAndCloseRefusedWhileAdding()
    {
        QueueFixture f(0, 2);
        const QStringList paths = f.makeFiles(30);
        f.queue()->addUploadTask(paths);
        QVERIFY(f.queue()->isAdding());
        QVERIFY(f.queue()->isFilling());
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.page->on_clearListBtn_clicked();
        QCOMPARE(answerer.last().message, QStringLiteral("上传任务添加中，请您稍后清空"));
        QTRY_VERIFY(!f.queue()->isAdding());
        QCOMPARE(f.queue()->rowCount(), 30);
        // Rows keep the order of the chosen files.
        for (int i = 0; i < 30; ++i)
            QCOMPARE(f.queue()->row(i)->task()->path, paths.at(i));
    }

    void statusLine()
    {
        QueueFixture f(0, 2);
        QVERIFY(f.add(f.makeFiles(4)));
        f.queue()->totalTimeoutSlot(); // speed 0 with running rows: not refreshed
        QCOMPARE(statusLabel(f), uploaddisplay::statusLineReset());

        f.queue()->row(0)->setSpeed(600);
        f.queue()->row(1)->setSpeed(1000);
        f.queue()->totalTimeoutSlot();
        QCOMPARE(statusLabel(f), uploaddisplay::statusLine(2, 2, QStringLiteral("优秀"), 1600));
        QVERIFY(statusLabel(f).contains(QStringLiteral("1.56MB/S")));

        f.queue()->row(0)->setSpeed(20);
        f.queue()->row(1)->setSpeed(0);
        f.queue()->totalTimeoutSlot();
        QCOMPARE(statusLabel(f), uploaddisplay::statusLine(2, 2, QStringLiteral("欠佳"), 20));

        // The tick corrects the slot count to the rows that really run.
        f.queue()->setCurrentLinks(5);
        f.queue()->totalTimeoutSlot();
        QCOMPARE(f.queue()->currentLinks(), 2);
    }

    void raisingTheLimitStartsOneMore()
    {
        QueueFixture f(0, 2);
        QVERIFY(f.add(f.makeFiles(4)));
        QCOMPARE(f.uploadingRows(), 2);
        f.queue()->setLimit(3);
        QCOMPARE(f.uploadingRows(), 3);
        f.queue()->setLimit(1); // a smaller limit stops nothing
        QCOMPARE(f.uploadingRows(), 3);

        allStart(f)->click(); // stopped queue: a higher limit starts nothing
        f.queue()->setLimit(4);
        QCOMPARE(f.uploadingRows(), 0);
    }

    void alwaysFailingRowBacksOffAndGivesUp_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("oss") << 0;
        QTest::newRow("wcs") << 1;
    }
    // A row whose every start fails (refused init, failed callback, ...) is
    // retried after 1, 2, 4, ... delays up to the cap, stops after the
    // eighth failure in a row as "失败" with the reason, and the other rows
    // go on meanwhile; the user's start gives it a new round.
    void alwaysFailingRowBacksOffAndGivesUp()
    {
        QFETCH(int, channel);
        installMessageHandler();
        QueueFixture f(channel, 2);
        RetryPolicy policy; // the doubling with shorter delays
        policy.firstDelayMs = 40;
        policy.maxDelayMs = 160;
        f.queue()->setRetryPolicy(policy);
        const QStringList paths = f.makeFiles(3, QStringLiteral("backoff"));
        const QString failing = makeVid(QStringLiteral("u1"), QFileInfo(paths.first()).fileName(),
                                        f.category.cataid, QFileInfo(paths.first()).size(),
                                        paths.first());
        f.factory->failingVid = failing;
        auto attempts = [&]() {
            return channel == 0 ? f.factory->ossCountFor(failing) : f.factory->tokensMade.value(failing);
        };
        QVERIFY(f.add(paths));
        UploadWidget *row = f.queue()->row(0);
        UploadWidget *second = f.queue()->row(1);
        UploadWidget *third = f.queue()->row(2);
        QCOMPARE(row->task()->vid, failing);

        // While the failing row waits out its back-off, its slot goes to
        // the third row; then the other two finish.
        QTRY_VERIFY_WITH_TIMEOUT(third->isUploading(), 5000);
        QVERIFY(second->isUploading());
        for (UploadWidget *other : {second, third}) {
            if (channel == 0) {
                f.factory->ossFor(other->task()->vid)->finish(true, 0);
            } else {
                QTRY_VERIFY(f.factory->blockFor(other->task()));
                f.factory->blockFor(other->task())->finish(true, 0);
            }
        }
        QTRY_COMPARE(f.queue()->rowCount(), 1);
        QCOMPARE(f.finished.size(), 2);

        QTRY_VERIFY_WITH_TIMEOUT(row->hasGivenUp(), 10000);
        QCOMPARE(attempts(), 8);
        QCOMPARE(row->statusText(), QStringLiteral("失败"));
        QVERIFY(row->statusLabelText().startsWith(QStringLiteral("失败")));
        QVERIFY(row->findChild<QLabel *>(QStringLiteral("statusLbl"))->toolTip().contains(QStringLiteral("8")));
        QVERIFY(row->offersStart());
        QVERIFY(!row->isWaiting());
        QVERIFY(!row->isUploading());

        QStringList delays;
        const QRegularExpression retry(QStringLiteral("%1\\W+retry in (\\d+) ms").arg(failing));
        for (const QString &line : qAsConst(g_log)) {
            const QRegularExpressionMatch m = retry.match(line);
            if (m.hasMatch())
                delays.append(m.captured(1));
        }
        QCOMPARE(delays, (QStringList{"40", "80", "160", "160", "160", "160", "160"}));

        // No more starts of its own.
        QTest::qWait(500);
        QCOMPARE(attempts(), 8);

        // The user's start: a new round of eight.
        QVERIFY(!f.queue()->isRunning());
        allStart(f)->click();
        QVERIFY(!row->hasGivenUp());
        QCOMPARE(attempts(), 9);
        QTRY_VERIFY_WITH_TIMEOUT(row->hasGivenUp(), 10000);
        QCOMPARE(attempts(), 16);
        qInstallMessageHandler(nullptr);
    }

    void lateStopResultNeverEndsANewerStart_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("all");
        QTest::newRow("oss row") << 0 << false;
        QTest::newRow("oss all") << 0 << true;
        QTest::newRow("wcs row") << 1 << false;
        QTest::newRow("wcs all") << 1 << true;
    }
    // Pause and start again within the 300 ms in which the pause's stop
    // result is still on its way: the rows keep uploading.
    void lateStopResultNeverEndsANewerStart()
    {
        QFETCH(int, channel);
        QFETCH(bool, all);
        QueueFixture f(channel, 2);
        QVERIFY(f.add(f.makeFiles(2, QStringLiteral("late"))));
        if (channel == 1)
            QTRY_COMPARE(f.factory->blocks.size(), 2);
        QElapsedTimer clock;
        clock.start();
        if (all) {
            allStart(f)->click();
            allStart(f)->click();
        } else {
            f.queue()->row(0)->suspendButton()->click();
            QTRY_VERIFY(f.queue()->row(0)->offersStart());
            f.queue()->row(0)->suspendButton()->click();
            QTRY_VERIFY(!f.queue()->row(0)->offersStart());
        }
        if (clock.elapsed() >= 300)
            QSKIP("the machine was too slow to start again within 300 ms");
        QTest::qWait(700);
        for (int i = 0; i < 2; ++i) {
            UploadWidget *row = f.queue()->row(i);
            QVERIFY2(row->isUploading(), qPrintable(QString::number(i)));
            QVERIFY(!row->offersStart());
            QCOMPARE(row->statusText(), QStringLiteral("上传中"));
            if (channel == 0)
                QVERIFY(!f.ossOf(i)->wasAborted());
            else
                QVERIFY(!f.blockOf(i)->isPaused());
        }
        QCOMPARE(f.queue()->currentLinks(), 2);
        QVERIFY(f.queue()->isRunning());
    }

    // A WCS row paused while its token is requested stays paused: the
    // request is given up, nothing starts it again, and its next start
    // makes exactly one new request.
    void pauseDuringTokenRequestStaysPaused()
    {
        QueueFixture f(1, 2);
        f.factory->holdTokens = true;
        QVERIFY(f.add(f.makeFiles(1, QStringLiteral("tokenpause"))));
        UploadWidget *row = f.queue()->row(0);
        QVERIFY(row->isUploading());
        QCOMPARE(f.factory->tokenThreads, 1);
        QPointer<StandInTokenThread> first = f.factory->tokens.first();

        row->suspendButton()->click();
        QTRY_VERIFY(row->offersStart());
        QTRY_VERIFY(first.isNull() || first->wasAbandoned());
        // Longer than the old one-second retry.
        QTest::qWait(1500);
        QCOMPARE(f.factory->tokenThreads, 1);
        QVERIFY(f.factory->blocks.isEmpty());
        QVERIFY(!row->isUploading());
        QVERIFY(!row->isWaiting());
        QCOMPARE(row->statusText(), QStringLiteral("暂停中"));
        QCOMPARE(f.queue()->currentLinks(), 0);
        QVERIFY(!row->task()->everUploaded); // the abandoned answer writes nothing

        f.factory->holdTokens = false;
        row->suspendButton()->click();
        QTRY_COMPARE(f.factory->blocks.size(), 1);
        QCOMPARE(f.factory->tokenThreads, 2);
        QVERIFY(row->isUploading());
        QCOMPARE(row->statusText(), QStringLiteral("上传中"));
    }

    void removedRowsCheckpointGoesAfterItsThread_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("delete row") << false;
        QTest::newRow("clear list") << true;
    }
    // The OSS thread of a removed row may still store a part's checkpoint
    // after it was told to stop; the checkpoint is removed after that.
    void removedRowsCheckpointGoesAfterItsThread()
    {
        QFETCH(bool, clear);
        QueueFixture f(0, 1);
        f.factory->ossWritesCheckpointAfterAbort = true;
        QVERIFY(f.add(f.makeFiles(1, QStringLiteral("checkpoint"))));
        const QString ucp = f.queue()->row(0)->task()->path + QStringLiteral(".ucp");
        QVERIFY(QFile(ucp).open(QIODevice::WriteOnly));
        QPointer<StandInOssThread> thread = f.ossOf(0);
        QVERIFY(thread);

        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        if (clear)
            f.page->on_clearListBtn_clicked();
        else
            f.queue()->row(0)->deleteButton()->click();
        QTRY_COMPARE(f.queue()->rowCount(), 0);
        QTRY_VERIFY(thread.isNull());
        QCOMPARE(retiredthreads::pendingCount(), 0);
        QVERIFY(!QFile::exists(ucp));
    }

    void spaceMessages()
    {
        QueueFixture f(0, 2);
        QVERIFY(f.add(f.makeFiles(3)));
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.ossOf(0)->report(false, 5);
        QVERIFY(answerer.waitAnswered(1));
        QCOMPARE(answerer.last().message, QStringLiteral("上传空间即将用完\r\n请及时联系管理员"));
        QCOMPARE(f.queue()->row(0)->statusText(), QStringLiteral("上传中"));
        QVERIFY(f.queue()->row(0)->isUploading());

        answerer.clickWhenShown(QStringLiteral("addBtn"));
        f.ossOf(1)->finish(false, 1);
        QVERIFY(answerer.waitAnswered(2));
        QCOMPARE(answerer.last().message, QStringLiteral("上传空间不足，无法进行上传\r\n请联系管理员"));
        QTRY_VERIFY(!f.queue()->isRunning());
        QCOMPARE(f.queue()->currentLinks(), 0);
        QCOMPARE(f.uploadingRows(), 0);
    }

private:
    static void installMessageHandler() { qInstallMessageHandler(captureLog); }
};

QTEST_MAIN(TestUploadQueue)
#include "tst_uploadqueue.moc"
