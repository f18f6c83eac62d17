// The upload page of an OSS account with the program's own channels: a file
// added to the queue is uploaded and appears in the account's library.

#include "aliyunrig.h"

#include "upload/uploadchannel.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/uploadwidget.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace aliyuntest;

class TestAliyunQueue final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    AliyunRig m_rig;

    // Shows `page` with the rig's account, `limit` parallel rows and the
    // default category; returns its queue.
    UploadQueue *openQueue(UploadPage &page, int limit)
    {
        page.resize(800, 600);
        page.show();
        UploadQueue *queue = page.queue();
        queue->setAccount(m_rig.account);
        queue->setLimit(limit);
        queue->setCategorySource([]() { return UploadCategory{kCataid, QStringLiteral("默认分类")}; });
        return queue;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        AlibabaCloud::OSS::InitializeSdk();
        QVERIFY2(m_rig.start(), qPrintable(m_rig.service->errorString()));
        setUploadChannelFactory(nullptr);
        installProgramChannels();
    }
    void cleanupTestCase()
    {
        m_rig.service.reset();
        AlibabaCloud::OSS::ShutdownSdk();
    }

    void queuedFilesReachTheLibrary()
    {
        m_rig.reset();
        UploadPage page(nullptr);
        UploadQueue *queue = openQueue(page, 2);
        QStringList finished;
        queue->setFinishedHandler([&finished](const UploadTask &task, const QString &status) {
            finished.append(task.vid + QLatin1Char(' ') + status);
        });

        // Three files for two slots: the third starts when a slot is free.
        QStringList paths;
        QList<QByteArray> digests;
        const qint64 sizes[] = {3 * kMiB + 5, 700 * 1024, 2 * kMiB};
        for (int i = 0; i < 3; ++i) {
            paths.append(m_dir.filePath(QStringLiteral("queued%1.mp4").arg(i)));
            digests.append(writeRandomFile(paths.last(), sizes[i], quint32(40 + i)));
        }
        QSignalSpy added(queue, &UploadQueue::addingFinished);
        queue->addUploadTask(paths);
        QVERIFY(added.count() > 0 || added.wait(10000));
        QCOMPARE(queue->rowCount(), 3);
        QStringList vids;
        QList<UploadTask> tasks;
        for (int i = 0; i < 3; ++i) {
            tasks.append(*queue->row(i)->task());
            vids.append(tasks.last().vid);
        }
        QCOMPARE(queue->currentLinks(), 2);

        QTRY_COMPARE_WITH_TIMEOUT(queue->rowCount(), 0, 60000);
        QCOMPARE(finished.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(finished.contains(vids.at(i) + QStringLiteral(" 已完成")));
            QVERIFY(m_rig.service->videoIds(kUserId).contains(vids.at(i)));
            const AliyunRig::StoredObject object = m_rig.fetchObject(ossObjectKey(tasks.at(i)));
            QCOMPARE(object.size, sizes[i]);
            QCOMPARE(object.md5, digests.at(i));
            QVERIFY(!QFile::exists(paths.at(i) + QStringLiteral(".ucp")));
        }
        QCOMPARE(queue->currentLinks(), 0);
    }

    // Pausing a running OSS row stops its thread (parked until it ends);
    // starting the row again resumes from the checkpoint and finishes.
    void pauseAndResumeARow()
    {
        m_rig.reset();
        UploadPage page(nullptr);
        UploadQueue *queue = openQueue(page, 1);

        const QString path = m_dir.filePath(QStringLiteral("paused.mp4"));
        const qint64 size = 8 * kMiB + 99;
        const QByteArray md5 = writeRandomFile(path, size, 77);
        m_rig.service->setBandwidthLimit(4 * kMiB);
        QSignalSpy added(queue, &UploadQueue::addingFinished);
        queue->addUploadTask({path});
        QVERIFY(added.count() > 0 || added.wait(10000));
        QCOMPARE(queue->rowCount(), 1);
        UploadWidget *row = queue->row(0);
        const UploadTask task = *row->task();
        QVERIFY(row->isUploading());

        QTRY_VERIFY_WITH_TIMEOUT(m_rig.partNumbers(true).size() >= 3, 20000);
        row->suspendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(row->statusText(), QStringLiteral("暂停中"), 5000);
        QVERIFY(!row->isUploading());
        QVERIFY(row->offersStart());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path + QStringLiteral(".ucp")), 5000);
        // The stopped thread ends on its own and the reaper deletes it.
        QTRY_COMPARE_WITH_TIMEOUT(row->retiredThreadCount(), 0, 10000);
        QVERIFY(!m_rig.service->videoIds(kUserId).contains(task.vid));

        m_rig.service->clearFaults();
        m_rig.settleRequestLog();
        const int storedBefore = m_rig.partNumbers(true).size();
        m_rig.service->clearRequestLog();
        row->suspendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(queue->rowCount(), 0, 30000);
        QVERIFY(m_rig.service->videoIds(kUserId).contains(task.vid));
        const AliyunRig::StoredObject object = m_rig.fetchObject(ossObjectKey(task));
        QCOMPARE(object.size, size);
        QCOMPARE(object.md5, md5);
        QCOMPARE(m_rig.initiateCount(), 0);
        QVERIFY(m_rig.partNumbers(false).size() <= 9 - storedBefore + 2);
    }
};

QTEST_MAIN(TestAliyunQueue)
#include "tst_aliyunqueue.moc"
