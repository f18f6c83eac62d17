// The upload record file: its objects per channel, the block strings, the
// restore (channel switches, missing files and keys, overflow, damaged
// files), the orderly save and the snapshots written while the client runs.

#include "tests/upload/queuefixture.h"

#include "upload/uploaddisplay.h"
#include "upload/uploadinit.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QRegularExpression>
#include <QListWidget>
#include <QTimer>
#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

QJsonObject baseObject(const QString &path, int uploadType)
{
    QJsonObject o;
    o.insert("path", path);
    o.insert("vid", QStringLiteral("vid-") + QFileInfo(path).fileName());
    o.insert("cataid", "11");
    o.insert("cataStr", QStringLiteral("默认分类"));
    o.insert("insertUrl", "http://127.0.0.1:1/insert");
    o.insert("deleteUrl", "http://127.0.0.1:1/delete");
    o.insert("checkUrl", "http://127.0.0.1:1/check");
    o.insert("everUploaded", true);
    o.insert("uploadType", uploadType);
    o.insert("alreadyUploadSize", 4194304.0);
    o.insert("uuid", "old-uuid");
    o.insert("fileid", "F1");
    o.insert("dateStr", "D1");
    o.insert("ctxStr", "c0,c1,c3,");
    o.insert("indexStr", "0,1,3,");
    o.insert("date", "20200101");
    return o;
}

bool writeRecord(const QString &path, const QJsonArray &array)
{
    return userdata::writeFile(path, QJsonDocument(array));
}

QJsonArray readRecord(const QString &path)
{
    const userdata::ReadResult r = userdata::readFile(path);
    return r.document.array();
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestUploadRecord final : public QObject
{
    Q_OBJECT

private slots:
    // ---- block strings ------------------------------------------------------
    void blockStringsKeepOnlyStoredBlocksAscending()
    {
        QMap<qint64, UploadBlock> blocks;
        blocks.insert(3, {2, "c3"});
        blocks.insert(0, {2, "c0"});
        blocks.insert(2, {1, "c2-in-flight"});
        blocks.insert(1, {2, "c1"});
        const uploadrecord::BlockStrings s = uploadrecord::blockStrings(blocks);
        QCOMPARE(s.indexStr, QStringLiteral("0,1,3,"));
        QCOMPARE(s.ctxStr, QStringLiteral("c0,c1,c3,"));

        const QMap<qint64, UploadBlock> back = uploadrecord::blocksFromStrings(s.ctxStr, s.indexStr);
        QCOMPARE(back.keys(), (QList<qint64>{0, 1, 3}));
        for (qint64 i : back.keys()) {
            QCOMPARE(back.value(i).status, 2);
            QCOMPARE(back.value(i).ctx, blocks.value(i).ctx);
        }

        const uploadrecord::BlockStrings none = uploadrecord::blockStrings({});
        QVERIFY(none.ctxStr.isEmpty() && none.indexStr.isEmpty());
        QVERIFY(uploadrecord::blocksFromStrings(QString(), QString()).isEmpty());
    }

    void damagedBlockStrings_data()
    {
        QTest::addColumn<QString>("ctxStr");
        QTest::addColumn<QString>("indexStr");
        QTest::addColumn<QList<qint64>>("indexes");
        QTest::newRow("piece without comma ignored") << "a,b" << "0,1" << QList<qint64>{0};
        QTest::newRow("fewer ctx than indexes") << "a," << "0,1," << QList<qint64>{0};
        QTest::newRow("index not a number") << "a,b,c," << "0,x,2," << QList<qint64>{0, 2};
        QTest::newRow("empty ctx") << "a,,c," << "0,1,2," << QList<qint64>{0, 2};
        QTest::newRow("negative index") << "a,b," << "-1,4," << QList<qint64>{4};
        QTest::newRow("large index") << "a," << "5000000000," << QList<qint64>{5000000000LL};
    }
    void damagedBlockStrings()
    {
        QFETCH(QString, ctxStr);
        QFETCH(QString, indexStr);
        QFETCH(QList<qint64>, indexes);
        QCOMPARE(uploadrecord::blocksFromStrings(ctxStr, indexStr).keys(), indexes);
    }

    // ---- objects -------------------------------------------------------------
    void objectKeysFollowTheAccountChannel()
    {
        UploadTask task;
        task.path = "/x/a.mp4";
        task.alreadyUploadSize = 5000000000LL;
        task.uploadType = WcsChannel;
        const QJsonObject wcs = uploadrecord::recordObject(task, WcsChannel, {"c,", "0,"});
        QStringList keys = wcs.keys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"alreadyUploadSize", "cataStr", "cataid", "checkUrl", "ctxStr",
                                    "dateStr", "deleteUrl", "everUploaded", "fileid", "indexStr",
                                    "insertUrl", "path", "uploadType", "uuid", "vid"}));
        QCOMPARE(wcs.value("indexStr").toString(), QStringLiteral("0,"));
        QCOMPARE(qint64(wcs.value("alreadyUploadSize").toDouble()), 5000000000LL);

        const QJsonObject oss = uploadrecord::recordObject(task, OssChannel, {});
        keys = oss.keys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"alreadyUploadSize", "cataStr", "cataid", "checkUrl", "date",
                                    "deleteUrl", "everUploaded", "insertUrl", "path", "uploadType",
                                    "vid"}));
    }

    // ---- restoring one object ----------------------------------------------------
    void restoreSwitchesChannels_data()
    {
        QTest::addColumn<int>("account");
        QTest::addColumn<int>("stored");
        QTest::newRow("WCS task on WCS") << int(WcsChannel) << int(WcsChannel);
        QTest::newRow("OSS task on WCS") << int(WcsChannel) << int(OssChannel);
        QTest::newRow("WCS task on OSS") << int(OssChannel) << int(WcsChannel);
        QTest::newRow("OSS task on OSS") << int(OssChannel) << int(OssChannel);
    }
    void restoreSwitchesChannels()
    {
        QFETCH(int, account);
        QFETCH(int, stored);
        QTemporaryDir dir;
        const QString path = dir.filePath("clip.mp4");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1234, 'z'));
        f.close();

        uploadrecord::RestoreContext context{account, 1700000000000LL, QDate(2026, 12, 10)};
        const uploadrecord::RestoredTask r = uploadrecord::restoreTask(baseObject(path, stored), context);
        QVERIFY(r.fileExists);
        const UploadTask &t = r.task;
        QCOMPARE(t.uploadType, account);
        QCOMPARE(t.fileName, QStringLiteral("clip.mp4"));
        QCOMPARE(t.fileSize, qint64(1234)); // the file as it is now
        QCOMPARE(t.vid, QStringLiteral("vid-clip.mp4"));
        QVERIFY(t.everUploaded);
        QCOMPARE(t.checkUrl, QStringLiteral("http://127.0.0.1:1/check"));
        if (account == WcsChannel && stored == WcsChannel) {
            QCOMPARE(t.alreadyUploadSize, qint64(4194304));
            QCOMPARE(t.uuid, QStringLiteral("old-uuid"));
            QCOMPARE(t.fileid, QStringLiteral("F1"));
            QCOMPARE(t.dateStr, QStringLiteral("D1"));
            QCOMPARE(t.blocks.keys(), (QList<qint64>{0, 1, 3}));
            QCOMPARE(t.blocks.value(3).ctx, QStringLiteral("c3"));
            QCOMPARE(t.blocks.value(3).status, 2);
        } else if (account == WcsChannel) {
            QCOMPARE(t.uuid, makeUuid("clip.mp4", 1700000000000LL));
            QVERIFY(t.fileid.isEmpty() && t.dateStr.isEmpty());
            QVERIFY(t.ctxStr.isEmpty() && t.indexStr.isEmpty() && t.blocks.isEmpty());
            QCOMPARE(t.alreadyUploadSize, qint64(0));
        } else if (stored == WcsChannel) {
            QCOMPARE(t.date, QStringLiteral("20261210"));
            QCOMPARE(t.alreadyUploadSize, qint64(0));
            QVERIFY(t.blocks.isEmpty());
        } else {
            QCOMPARE(t.date, QStringLiteral("20200101"));
            QCOMPARE(t.alreadyUploadSize, qint64(4194304));
        }
    }

    void restoreWithMissingKeys()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.mp4");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("abc");
        f.close();
        QJsonObject o;
        o.insert("path", path);
        o.insert("alreadyUploadSize", 12.9);
        // On an OSS account: no "uploadType" reads as 0, so an OSS task with its size.
        uploadrecord::RestoredTask r =
            uploadrecord::restoreTask(o, {OssChannel, 1, QDate(2026, 1, 2)});
        QVERIFY(r.fileExists);
        QVERIFY(!r.task.everUploaded);
        QCOMPARE(r.task.uploadType, int(OssChannel));
        QCOMPARE(r.task.alreadyUploadSize, qint64(12)); // truncated
        QVERIFY(r.task.vid.isEmpty() && r.task.date.isEmpty());
        // On a WCS account the same object is an OSS task switched over.
        r = uploadrecord::restoreTask(o, {WcsChannel, 7, QDate(2026, 1, 2)});
        QCOMPARE(r.task.uploadType, int(WcsChannel));
        QCOMPARE(r.task.alreadyUploadSize, qint64(0));
        QCOMPARE(r.task.uuid, makeUuid("a.mp4", 7));

        QVERIFY(!uploadrecord::restoreTask(baseObject(dir.filePath("gone.mp4"), 1), {}).fileExists);
        QVERIFY(!uploadrecord::restoreTask(QJsonObject(), {}).fileExists);
        QVERIFY(!uploadrecord::restoreTask(baseObject(dir.path(), 1), {}).fileExists); // a folder
    }

    // ---- the whole file ---------------------------------------------------------
    void restoresRowsAndOverflow()
    {
        QueueFixture f(WcsChannel, 2);
        QJsonArray array;
        for (int i = 0; i < 250; ++i)
            array.append(baseObject(f.makeFile(QStringLiteral("r%1.mp4").arg(i), 100), 1));
        array.insert(5, baseObject(f.dir.filePath("missing.mp4"), 1));
        const QString record = f.dir.filePath("uploadInfo.json");
        QVERIFY(writeRecord(record, array));

        UploadRecordKeeper keeper(f.queue(), record);
        QTimer status;
        const UploadRecordKeeper::LoadResult r = keeper.loadUploadData(false, &status);
        QCOMPARE(r.objects, 251);
        QCOMPARE(r.restored, 250);
        QCOMPARE(r.skipped, 1);
        QCOMPARE(f.queue()->rowCount(), 200);
        QCOMPARE(f.queue()->overflowCount(), 50);
        QCOMPARE(f.queue()->queuedVids().size(), 250);
        QCOMPARE(f.queue()->row(5)->task()->vid, QStringLiteral("vid-r5.mp4"));
        QCOMPARE(f.queue()->overflowSnapshot().first().vid, QStringLiteral("vid-r200.mp4"));
        QVERIFY(!f.queue()->isLoading());
        QVERIFY(f.page->findChild<QWidget *>("uploadFrame")->isVisible());
        QVERIFY(!f.page->findChild<QWidget *>("loadinULbl")->isVisible());
        QVERIFY(f.queue()->row(0)->isWaiting());
        QCOMPARE(f.uploadingRows(), 0); // auto-start off
        QVERIFY(status.isActive());
        // Waiting counts every object of the file, the skipped one included.
        QCOMPARE(f.page->findChild<QLabel *>("uploadStatusLbl")->text(),
                 uploaddisplay::statusLine(0, 251, uploaddisplay::networkRating(0), 0));
        // The overflow keeps its block strings through the next write.
        QVERIFY(keeper.saveUploadData());
        const QJsonArray saved = readRecord(record);
        QCOMPARE(saved.size(), 250);
        QCOMPARE(saved.at(249).toObject().value("indexStr").toString(), QStringLiteral("0,1,3,"));
        QCOMPARE(saved.at(249).toObject().value("vid").toString(), QStringLiteral("vid-r249.mp4"));
    }

    void autoStartRunsRestoredRows()
    {
        QueueFixture f(OssChannel, 2);
        QJsonArray array;
        for (int i = 0; i < 3; ++i)
            array.append(baseObject(f.makeFile(QStringLiteral("s%1.mp4").arg(i)), 0));
        const QString record = f.dir.filePath("uploadInfo.json");
        QVERIFY(writeRecord(record, array));
        UploadRecordKeeper keeper(f.queue(), record);
        QTimer status;
        keeper.loadUploadData(true, &status);
        QCOMPARE(f.queue()->currentLinks(), 2);
        QCOMPARE(f.uploadingRows(), 2);
        QVERIFY(f.queue()->isRunning());
    }

    void unreadableFilesGiveAnEmptyQueue_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("damaged"); // kept aside before anything is written
        QTest::newRow("missing") << QByteArray() << false << false;
        QTest::newRow("not json") << QByteArray("this is not json {").toBase64() << true << true;
        QTest::newRow("not base64") << QByteArray("%%%%") << true << true;
        QTest::newRow("object") << QByteArray(R"({"path":"x"})").toBase64() << true << true;
        QTest::newRow("empty array") << QByteArray("[]").toBase64() << true << false;
        QTest::newRow("empty file") << QByteArray() << true << false;
    }
    void unreadableFilesGiveAnEmptyQueue()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(bool, damaged);
        QueueFixture f(WcsChannel);
        const QString record = f.dir.filePath("uploadInfo.json");
        if (exists) {
            QFile file(record);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        f.page->findChild<QWidget *>("uploadFrame")->show();
        UploadRecordKeeper keeper(f.queue(), record);
        QTimer status;
        const QDateTime before = QDateTime::currentDateTime();
        if (damaged)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^upload record cannot be read, moved aside to .*damaged-")));
        const UploadRecordKeeper::LoadResult r = keeper.loadUploadData(true, &status);
        const QStringList aside = QDir(f.dir.path()).entryList({QStringLiteral("uploadInfo.json.damaged-*")});
        if (damaged) {
            // Moved aside under its time stamp, byte for byte, before the
            // first new snapshot replaces it.
            QCOMPARE(aside.size(), 1);
            const QDateTime stamp = QDateTime::fromString(aside.first().mid(QStringLiteral("uploadInfo.json.damaged-").size()),
                                                          QStringLiteral("yyyyMMdd-hhmmss"));
            QVERIFY2(stamp.isValid() && qAbs(stamp.secsTo(before)) <= 5, qPrintable(aside.first()));
            QCOMPARE(fileBytes(f.dir.filePath(aside.first())), content);
            QVERIFY(!QFile::exists(record));
            QVERIFY(f.add(f.makeFiles(1)));
            QVERIFY(keeper.writeSnapshot());
            QCOMPARE(readRecord(record).size(), 1);
            QCOMPARE(fileBytes(f.dir.filePath(aside.first())), content);
            f.queue()->tearDownQueue();
            return;
        }
        QVERIFY(aside.isEmpty());
        QCOMPARE(r.objects, 0);
        QCOMPARE(f.queue()->rowCount(), 0);
        QVERIFY(!f.page->findChild<QWidget *>("uploadFrame")->isVisible());
        QVERIFY(status.isActive()); // the status tick runs in every case
        QCOMPARE(f.page->findChild<QLabel *>("uploadStatusLbl")->text(), uploaddisplay::statusLineReset());
    }

    // ---- writing ---------------------------------------------------------------
    void orderlySaveWritesBlockStringsAndRestoresThem()
    {
        QString record;
        QTemporaryDir keep;
        const QString file = keep.filePath("big.mp4");
        {
            QueueFixture f(WcsChannel);
            // The row may start at once; hold its token answer so that the
            // stand-in cannot write its own file id over the one set below.
            f.factory->holdTokens = true;
            QFile::copy(f.makeFile("big.mp4", 3000), file);
            QVERIFY(f.add({file}));
            record = keep.filePath("uploadInfo.json");
            UploadRecordKeeper keeper(f.queue(), record);
            UploadTask *task = f.queue()->row(0)->task();
            task->blocks.insert(0, {2, "ctx-0"});
            task->blocks.insert(1, {2, "ctx-1"});
            task->blocks.insert(2, {1, QString()});
            task->blocks.insert(3, {2, "ctx-3"});
            task->fileid = "FID";
            QVERIFY(keeper.saveUploadData());
            QCOMPARE(task->indexStr, QStringLiteral("0,1,3,"));
            const QJsonObject o = readRecord(record).first().toObject();
            QCOMPARE(o.value("indexStr").toString(), QStringLiteral("0,1,3,"));
            QCOMPARE(o.value("ctxStr").toString(), QStringLiteral("ctx-0,ctx-1,ctx-3,"));
            QCOMPARE(o.value("uploadType").toInt(), 1);
            QVERIFY(!o.contains("date"));
            f.factory->holdTokens = false;
        }
        QueueFixture again(WcsChannel);
        UploadRecordKeeper keeper(again.queue(), record);
        QTimer status;
        keeper.loadUploadData(false, &status);
        QCOMPARE(again.queue()->rowCount(), 1);
        const UploadTask *restored = again.queue()->row(0)->task();
        QCOMPARE(restored->blocks.keys(), (QList<qint64>{0, 1, 3}));
        QCOMPARE(restored->blocks.value(1).ctx, QStringLiteral("ctx-1"));
        QCOMPARE(restored->fileid, QStringLiteral("FID"));
    }

    void noStoredBlockWritesEmptyStrings()
    {
        QueueFixture f(WcsChannel);
        QVERIFY(f.add(f.makeFiles(1)));
        const QString record = f.dir.filePath("uploadInfo.json");
        UploadRecordKeeper keeper(f.queue(), record);
        QVERIFY(keeper.saveUploadData());
        const QJsonObject o = readRecord(record).first().toObject();
        QCOMPARE(o.value("indexStr").toString(), QString());
        QCOMPARE(o.value("ctxStr").toString(), QString());
        QueueFixture again(WcsChannel);
        UploadRecordKeeper back(again.queue(), record);
        QTimer status;
        back.loadUploadData(false, &status);
        QCOMPARE(again.queue()->rowCount(), 1);
        QVERIFY(again.queue()->row(0)->task()->blocks.isEmpty());
    }

    void snapshotsFollowTheQueueWithoutStoppingRows()
    {
        QueueFixture f(WcsChannel, 1);
        const QString record = f.dir.filePath("uploadInfo.json");
        UploadRecordKeeper keeper(f.queue(), record);
        QTimer status;
        keeper.loadUploadData(false, &status);
        QVERIFY(keeper.isSnapshotting());
        QVERIFY(!QFile::exists(record)); // nothing to write yet
        keeper.setSnapshotInterval(20);

        QVERIFY(f.add(f.makeFiles(3)));
        QTRY_COMPARE(readRecord(record).size(), 3);
        QTRY_VERIFY(f.blockOf(0) != nullptr); // the first row runs
        UploadWidget *running = f.queue()->row(0);
        QVERIFY(running->isUploading());

        // A stored block reaches the file while the row goes on.
        running->task()->blocks.insert(0, {2, "live-ctx"});
        QTRY_COMPARE(readRecord(record).first().toObject().value("indexStr").toString(),
                     QStringLiteral("0,"));
        QVERIFY(running->isUploading());
        QVERIFY(!f.blockOf(0)->isFinished());
        QVERIFY(running->task()->indexStr.isEmpty()); // the record itself is not rewritten

        // Unchanged state is not written again.
        const int writes = keeper.writeCount();
        QTest::qWait(100);
        QCOMPARE(keeper.writeCount(), writes);

        // The end of the window writes once more and the snapshots stop, so
        // the emptied list never overwrites the record.
        QVERIFY(keeper.saveUploadData());
        f.queue()->tearDownQueue();
        QVERIFY(!keeper.isSnapshotting());
        QTest::qWait(60);
        QCOMPARE(readRecord(record).size(), 3);
    }

    void failedWriteKeepsThePreviousFile()
    {
#ifdef Q_OS_WIN
        QSKIP("the full disk is made with a file size limit, which Windows does not have");
#else
        QueueFixture f(OssChannel);
        QVERIFY(f.add(f.makeFiles(40)));
        const QString record = f.dir.filePath("uploadInfo.json");
        QFile old(record);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray("[]").toBase64());
        old.close();
        const QByteArray before = fileBytes(record);
        UploadRecordKeeper keeper(f.queue(), record);

        // A full disk: the write stops after a few hundred bytes.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 512;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = keeper.saveUploadData();
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(!written);
        QCOMPARE(fileBytes(record), before);
        QCOMPARE(QDir(f.dir.path()).entryList({"uploadInfo.json*"}, QDir::Files | QDir::Hidden),
                 QStringList{"uploadInfo.json"}); // no half-written leftovers

        if (geteuid() != 0) {
            QFile::setPermissions(f.dir.path(), QFile::ReadOwner | QFile::ExeOwner);
            const bool again = keeper.saveUploadData();
            QFile::setPermissions(f.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY(!again);
            QCOMPARE(fileBytes(record), before);
        }
        QVERIFY(keeper.saveUploadData());
        QCOMPARE(readRecord(record).size(), 40);
#endif
    }
};

QTEST_MAIN(TestUploadRecord)
#include "tst_uploadrecord.moc"
