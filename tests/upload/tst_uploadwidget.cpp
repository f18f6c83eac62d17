#include "standinchannels.h"
#include "upload/uploadwidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

UploadTask *makeTask(int channel = 0, qint64 size = 10 * 1048576, qint64 done = 0)
{
    auto *task = new UploadTask;
    task->uploadType = channel;
    task->fileName = QStringLiteral("一个很长很长的视频文件名字用来测试省略.mp4");
    task->fileSize = size;
    task->alreadyUploadSize = done;
    task->cataStr = QStringLiteral("默认分类");
    task->vid = QStringLiteral("V1");
    task->path = QStringLiteral("/nonexistent/clip.mp4");
    task->deleteUrl = QStringLiteral("http://127.0.0.1:1/uc/video/cancelUploadingVideo?vid=V1");
    return task;
}

QString labelText(const UploadWidget &w, const char *name)
{
    return w.findChild<QLabel *>(QLatin1String(name))->text();
}

} // namespace

class TestUploadWidget final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setUploadChannelFactory(nullptr); }

    void headerRow()
    {
        UploadWidget header(static_cast<UploadTask *>(nullptr));
        QCOMPARE(header.objectName(), QStringLiteral("UploadWidget"));
        QCOMPARE(header.height(), 60);
        QVERIFY(!header.deleteButton()->isEnabled());
        QCOMPARE(header.deleteButton()->maximumSize(), QSize(95, 26));
        QVERIFY(header.suspendButton()->isHidden());
        header.setColumnTitles({QStringLiteral("名称"), QStringLiteral("分类目录")}, QStringLiteral("操作"));
        QCOMPARE(labelText(header, "fileNameLbl"), QStringLiteral("名称"));
        QCOMPARE(header.deleteButton()->text(), QStringLiteral("操作"));
    }

    void rowTexts()
    {
        UploadWidget row(makeTask(0, 1048576, 5 * 1048576));
        QCOMPARE(labelText(row, "sizeLbl"), QStringLiteral("1.00M"));
        QCOMPARE(row.task()->sizeText, QStringLiteral("1.00M"));
        QCOMPARE(row.progressText(), QStringLiteral("100%"));
        QCOMPARE(row.statusText(), QStringLiteral("等待中"));
        QCOMPARE(row.statusLabelText(), QStringLiteral("等待中"));
        QCOMPARE(row.speedLabelText(), QStringLiteral("--"));
        auto *name = row.findChild<QLabel *>(QStringLiteral("fileNameLbl"));
        QCOMPARE(name->toolTip(), row.task()->fileName);
        QVERIFY(name->text() != row.task()->fileName); // elided
        QVERIFY(row.offersStart());
        QCOMPARE(row.suspendButton()->text(), QStringLiteral("开始"));
        QVERIFY(row.suspendButton()->isCheckable());
        QVERIFY(row.isWaiting());
    }

    void displayTick_data()
    {
        QTest::addColumn<qint64>("counter");
        QTest::addColumn<qint64>("left");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("idle") << qint64(0) << qint64(1048576) << "0KB/S" << QStringLiteral("超过一天");
        QTest::newRow("1023 KiB/s") << qint64(1023) * 2048 << qint64(1023) * 1024 * 247 << "1023KB/S" << "00:04:07";
        QTest::newRow("1024 KiB/s") << qint64(1024) * 2048 << qint64(1024) * 1024 * 3600 << "1.00MB/S" << "01:00:00";
    }
    void displayTick()
    {
        QFETCH(qint64, counter);
        QFETCH(qint64, left);
        QFETCH(QString, speed);
        QFETCH(QString, remaining);
        const qint64 size = qint64(8) << 30;
        UploadWidget row(makeTask(0, size, size - left));
        row.startUpload(); // no channel installed: only the row's state changes
        QCOMPARE(row.statusText(), QStringLiteral("上传中"));
        QCOMPARE(row.suspendButton()->text(), QStringLiteral("暂停"));
        row.task()->speedBytes = counter;
        row.timeoutSlot();
        QCOMPARE(row.speedLabelText(), speed);
        QCOMPARE(row.remainingLabelText(), remaining);
        QCOMPARE(row.task()->speedBytes, qint64(0));
        QVERIFY(row.statusLabelText().startsWith(QStringLiteral("上传中")));
    }

    void progressFromOss()
    {
        UploadWidget row(makeTask());
        row.startUpload();
        row.AliyunUploadingProgress(4096, 459, 1000);
        row.AliyunUploadingProgress(-1, 460, 1000); // sign-extended increment
        QCOMPARE(row.task()->speedBytes, qint64(4095));
        QCOMPARE(row.task()->alreadyUploadSize, qint64(460));
        QCOMPARE(row.statusLabelText(), QStringLiteral("上传中46%"));
    }

    void results_data()
    {
        QTest::addColumn<bool>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("finishing");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("errors");   // uploadError emissions
        QTest::addColumn<int>("deletes");  // deleteFile emissions
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<bool>("failed");
        const QString up = QStringLiteral("上传中");
        const QString wait = QStringLiteral("等待中");
        QTest::newRow("done") << true << 0 << false << up << 0 << 1 << false << false;
        QTest::newRow("no file") << false << 2 << false << up << 0 << 1 << false << false;
        QTest::newRow("warning") << false << 5 << false << up << 1 << 0 << false << false;
        QTest::newRow("pause") << false << 6 << false << QStringLiteral("暂停中") << 1 << 0 << false << false;
        QTest::newRow("pause finishing") << false << 6 << true << QStringLiteral("暂停中") << 0 << 0 << false << false;
        QTest::newRow("requeue") << false << 11 << false << wait << 1 << 0 << false << false;
        QTest::newRow("failed") << false << 10 << false << QStringLiteral("失败") << 1 << 0 << false << true;
        QTest::newRow("failed finishing") << false << 10 << true << QStringLiteral("失败") << 1 << 0 << false << true;
        QTest::newRow("space") << false << 1 << false << wait << 1 << 0 << false << false;
        QTest::newRow("time") << false << 3 << false << wait << 1 << 0 << false << false;
        QTest::newRow("other") << false << 0 << false << wait << 1 << 0 << true << false;
        QTest::newRow("other finishing") << false << 0 << true << wait << 0 << 0 << true << false;
        QTest::newRow("unknown") << false << 42 << false << wait << 1 << 0 << false << false;
    }
    void results()
    {
        QFETCH(bool, status);
        QFETCH(int, code);
        QFETCH(bool, finishing);
        QFETCH(QString, text);
        QFETCH(int, errors);
        QFETCH(int, deletes);
        QFETCH(bool, waiting);
        QFETCH(bool, failed);
        UploadWidget row(makeTask());
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        QSignalSpy deleteSpy(&row, &UploadWidget::deleteFile);
        if (finishing) {
            row.deleteBtnClickSlot();
            deleteSpy.clear();
        }
        row.startUpload();
        row.uploadingResult(status, code);
        QCOMPARE(row.statusText(), text);
        QCOMPARE(errorSpy.count(), errors);
        if (errors)
            QCOMPARE(errorSpy.first().first().toInt(), code);
        QCOMPARE(deleteSpy.count(), deletes);
        if (deletes)
            QCOMPARE(deleteSpy.first().first().toBool(), status);
        QCOMPARE(row.isWaiting(), waiting);
        QCOMPARE(row.isFailed(), failed);
        if (!status && code != 5 && code != 2) {
            QVERIFY(row.offersStart());
            QCOMPARE(row.speedLabelText(), QStringLiteral("--"));
            QVERIFY(!row.isUploading());
        }
    }

    void laterOssResultReplacesEarlier()
    {
        UploadWidget row(makeTask());
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        QSignalSpy deleteSpy(&row, &UploadWidget::deleteFile);
        row.startUpload();
        row.OnUploadResult(false, 5);
        row.OnUploadResult(true, 0);
        QVERIFY(deleteSpy.wait(1000));
        QTest::qWait(350);
        QCOMPARE(deleteSpy.count(), 1);
        QCOMPARE(errorSpy.count(), 0);
    }

    void stoppedOssThreadIsRetiredAndReaped()
    {
        StandInFactory *factory = installStandIns();
        UploadWidget row(makeTask());
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        row.prepareUpload();
        row.startUpload();
        QVERIFY(row.isUploading());
        QPointer<StandInOssThread> thread = factory->oss.first();
        QTRY_VERIFY(thread->isRunning());
        row.stopUpload(true);
        QVERIFY(thread->wasAborted());
        QVERIFY(thread->abortedWithRequeue());
        QVERIFY(!row.isUploading());
        // Aborted threads of the stand-in end at once; a slow one stays
        // parked until the reaper finds it ended.
        QTRY_VERIFY(errorSpy.count() == 1);
        QCOMPARE(errorSpy.first().first().toInt(), 11);
        QCOMPARE(row.statusText(), QStringLiteral("等待中"));
        if (row.retiredThreadCount() == 1) {
            QTRY_VERIFY(!thread || thread->isFinished());
            row.OnThreadResult();
        }
        QCOMPARE(row.retiredThreadCount(), 0);
        QVERIFY(thread.isNull());
    }

    void wcsTokenThenBlocks()
    {
        StandInFactory *factory = installStandIns();
        factory->tokenCode = 5;
        UploadWidget row(makeTask(1));
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        row.prepareUpload();
        row.startUpload();
        QTRY_COMPARE(errorSpy.count(), 1); // the space warning, upload goes on
        QCOMPARE(errorSpy.first().first().toInt(), 5);
        QTRY_VERIFY(factory->blockFor(row.task()));
        QCOMPARE(row.task()->fileid, QStringLiteral("F-V1"));
        StandInBlockThread *block = factory->blockFor(row.task());
        QTRY_VERIFY(block->isRunning());
        row.pauseBlockTransfer(true);
        QVERIFY(block->isPaused());
        row.pauseBlockTransfer(false);
        QVERIFY(!block->isPaused());
        row.stopUpload(false);
        QVERIFY(row.isWaiting());
        QTRY_COMPARE(errorSpy.count(), 2);
        QCOMPARE(errorSpy.last().first().toInt(), 6);
        QCOMPARE(row.statusText(), QStringLiteral("暂停中"));
    }

    void lateTokenAnswerAfterStopStartsNothing()
    {
        StandInFactory *factory = installStandIns();
        factory->holdTokens = true;
        UploadWidget row(makeTask(1));
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        row.prepareUpload();
        row.startUpload();
        row.stopUpload(false); // paused before the token answer came
        factory->holdTokens = false;
        QTRY_VERIFY(row.task()->everUploaded);
        QTest::qWait(50);
        QVERIFY(!factory->blockFor(row.task()));
        QVERIFY(!row.isUploading());
        QCOMPARE(errorSpy.count(), 0);
    }

    void pauseWithoutBlocksReportsOtherFailure()
    {
        UploadWidget row(makeTask(1));
        QSignalSpy errorSpy(&row, &UploadWidget::uploadError);
        row.pauseBlockTransfer(true);
        QCOMPARE(errorSpy.count(), 1);
        QCOMPARE(errorSpy.first().first().toInt(), 0);
        QVERIFY(row.isWaiting());
    }

    void cancelIsSentOnce()
    {
        UploadWidget row(makeTask());
        row.cancelOnServer();
        QVERIFY(row.hasCancelRequest());
        row.cancelOnServer(); // waits for the first one and sends nothing more
        QVERIFY(!row.hasCancelRequest());
    }
};

QTEST_MAIN(TestUploadWidget)
#include "tst_uploadwidget.moc"
