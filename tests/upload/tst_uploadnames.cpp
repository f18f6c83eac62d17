// Files whose names and folders hold Chinese text and blanks, as every user
// of this client has them: they upload on both channels through the queue,
// an OSS upload resumes from its checkpoint (whose name holds the same
// text), and the name survives the record file and the history file. Runs
// natively and, in the Windows build, under wine against a native service.

#include "queuefixture.h"
#include "testservice.h"

#include "net/servicehosts.h"
#include "prefs/historyrecord.h"
#include "upload/aliyunuploadthread.h"
#include "upload/uploadinit.h"
#include "upload/uploadrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <atomic>

namespace {

const QString kFolder = QStringLiteral("上传 文件");
const QString kName = QStringLiteral("课程 第一讲.mp4");

struct DemoUser
{
    QString userId;
    QString secretKey;
};
const DemoUser kOssUser{QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a")};
const DemoUser kWcsUser{QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")};

QByteArray contentOf(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + (i * 31 + i / 4093) % 97);
    return bytes;
}

// Writes the file in a folder of its own below dir; returns its path.
QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString folder = dir.filePath(kFolder);
    if (!QDir().mkpath(folder))
        return QString();
    const QString path = folder + QLatin1Char('/') + kName;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// An OSS task for the file as the queue makes it.
UploadTask ossTask(const UploadAccount &account, const QString &path)
{
    const QFileInfo info(path);
    UploadTask task;
    task.uploadType = OssChannel;
    task.fileName = info.fileName();
    task.fileSize = info.size();
    task.title = titleOfFileName(task.fileName);
    task.path = info.absoluteFilePath();
    task.cataid = QStringLiteral("1");
    task.cataStr = QStringLiteral("默认分类");
    task.vid = makeVid(account.userId, task.fileName, task.cataid, task.fileSize, task.path);
    const BookkeepingUrls urls = makeBookkeepingUrls(account, task.vid, task.title, task.cataid);
    task.checkUrl = urls.checkUrl;
    task.insertUrl = urls.insertUrl;
    task.deleteUrl = urls.cancelUrl;
    task.date = makeOssDate();
    task.initUrl = buildInitUrl(account, task.path, task.cataid, task.vid, QString(), QString());
    return task;
}

struct OssRun
{
    bool ended = false;
    QList<QPair<bool, int>> results;
    QList<qlonglong> transferred;
};

// Runs one OSS channel thread to its end. With stopAfter > 0 the thread is
// stopped by its owner, from its own progress report, once that many bytes
// went out: the parts stored so far stay in the checkpoint.
OssRun runOss(const UploadTask &task, qlonglong stopAfter)
{
    OssRun run;
    AliyunUploadThread thread(task);
    std::atomic_bool stopped{false};
    QObject context;
    QObject::connect(&thread, &OssChannelThread::Progress, &context,
                     [&](int, qlonglong transferred, qlonglong) {
                         if (stopAfter > 0 && transferred >= stopAfter && !stopped.exchange(true))
                             thread.abort(false);
                     },
                     Qt::DirectConnection);
    QObject::connect(&thread, &OssChannelThread::Progress, &context,
                     [&](int, qlonglong transferred, qlonglong) { run.transferred.append(transferred); },
                     Qt::QueuedConnection);
    QObject::connect(&thread, &OssChannelThread::Result, &context,
                     [&](bool ok, int code) { run.results.append(qMakePair(ok, code)); },
                     Qt::QueuedConnection);
    QObject::connect(&thread, &QThread::finished, &context, [&] { run.ended = true; }, Qt::QueuedConnection);
    thread.start();
    QElapsedTimer clock;
    clock.start();
    while (!run.ended && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    thread.wait();
    QCoreApplication::processEvents();
    return run;
}

} // namespace

class TestUploadNames final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        installProgramChannels();
    }
    void cleanupTestCase() { m_service.stop(); }

    void bothChannelsStoreTheFile_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("secretKey");
        QTest::newRow("oss") << 0 << kOssUser.userId << kOssUser.secretKey;
        QTest::newRow("wcs") << 1 << kWcsUser.userId << kWcsUser.secretKey;
    }
    void bothChannelsStoreTheFile()
    {
        QFETCH(int, channel);
        QFETCH(QString, userId);
        QFETCH(QString, secretKey);
        QueueFixture f(channel, 2);
        setUploadChannelFactory(nullptr); // the program's channels
        f.queue()->setAccount(f.serviceAccount(userId, secretKey));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        const QByteArray bytes = contentOf(300000 + channel * 1111, char('A' + channel));
        const QString path = writeFile(f.dir, bytes);
        QVERIFY(!path.isEmpty());
        QVERIFY(f.add({path}));
        QCOMPARE(f.queue()->rowCount(), 1);
        QCOMPARE(f.queue()->row(0)->task()->fileName, kName);
        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 60000);
        QCOMPARE(f.finished.size(), 1);
        QVERIFY2(f.finished.first().endsWith(QStringLiteral("已完成")), qPrintable(f.finished.first()));
        QTRY_VERIFY_WITH_TIMEOUT(m_service.storeHolds(bytes), 10000);
        // No checkpoint is left behind by a finished upload.
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".ucp")));
    }

    void ossResumesFromItsCheckpoint()
    {
        constexpr qlonglong kMiB = 1048576;
        QTemporaryDir dir;
        const QByteArray bytes = contentOf(int(5 * kMiB + 12345), 'k');
        const QString path = writeFile(dir, bytes);
        QVERIFY(!path.isEmpty());
        QueueFixture f(OssChannel, 1);
        const UploadAccount account = f.serviceAccount(kOssUser.userId, kOssUser.secretKey);
        const UploadTask task = ossTask(account, path);
        const QString checkpoint = path + QStringLiteral(".ucp");

        // Stopped late enough that whole parts have been stored (two parts
        // of 1 MiB are on the way at a time).
        const OssRun first = runOss(task, 4 * kMiB);
        QVERIFY(first.ended);
        QCOMPARE(first.results.size(), 1);
        QVERIFY(!first.results.first().first);
        QVERIFY2(QFileInfo::exists(checkpoint), "the stopped upload keeps its checkpoint beside the file");
        QVERIFY(!m_service.storeHolds(bytes));

        const OssRun second = runOss(task, 0);
        QVERIFY(second.ended);
        QCOMPARE(second.results.size(), 1);
        QVERIFY2(second.results.first().first, qPrintable(QString::number(second.results.first().second)));
        QVERIFY(!second.transferred.isEmpty());
        // The parts of the first run are not sent again.
        QVERIFY2(second.transferred.first() >= kMiB, qPrintable(QString::number(second.transferred.first())));
        QCOMPARE(second.transferred.last(), qlonglong(bytes.size()));
        QVERIFY(m_service.storeHolds(bytes));
        QVERIFY(!QFileInfo::exists(checkpoint));
    }

    // The record file keeps the path, and the restore finds the file again.
    void recordFileKeepsTheName_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("oss") << int(OssChannel);
        QTest::newRow("wcs") << int(WcsChannel);
    }
    void recordFileKeepsTheName()
    {
        QFETCH(int, channel);
        QTemporaryDir dir;
        const QString path = writeFile(dir, contentOf(4321, 'r'));
        QVERIFY(!path.isEmpty());
        UploadTask task;
        task.uploadType = channel;
        task.path = path;
        task.fileName = kName;
        task.fileSize = 4321;
        task.title = titleOfFileName(kName);
        task.vid = QStringLiteral("vid-names");
        task.cataid = QStringLiteral("1");
        task.cataStr = QStringLiteral("默认分类");
        task.date = makeOssDate();
        const QJsonObject object = uploadrecord::recordObject(task, channel, {});

        const QString recordPath = dir.filePath(kFolder + QLatin1Char('/') + uploadrecord::fileName());
        QSaveFile out(recordPath);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(QJsonArray{object}).toJson());
        QVERIFY(out.commit());
        QFile in(recordPath);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QJsonArray stored = QJsonDocument::fromJson(in.readAll()).array();
        QCOMPARE(stored.size(), 1);

        uploadrecord::RestoreContext context;
        context.channel = channel;
        context.today = QDate::currentDate();
        const uploadrecord::RestoredTask restored = uploadrecord::restoreTask(stored.first().toObject(), context);
        QVERIFY(restored.fileExists);
        QCOMPARE(restored.task.path, path);
        QCOMPARE(restored.task.fileName, kName);
        QCOMPARE(restored.task.fileSize, qint64(4321));
    }

    void historyFileKeepsTheName()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(kFolder)));
        HistoryEntry entry;
        entry.path = dir.filePath(kFolder + QLatin1Char('/') + kName);
        entry.filename = kName;
        entry.fileSize = QStringLiteral("4.2KB");
        entry.finishTime = QStringLiteral("2017-11-28 09:15:02");
        entry.status = QStringLiteral("已完成");
        entry.vid = QStringLiteral("vid-names");
        entry.cataid = QStringLiteral("1");
        entry.cataname = QStringLiteral("默认分类");
        const QString file = dir.filePath(kFolder + QLatin1Char('/') + history::fileName());
        QVERIFY(history::saveFile(file, {entry}));
        const history::LoadResult loaded = history::loadFile(file);
        QVERIFY(loaded.ok);
        QCOMPARE(loaded.entries.size(), 1);
        QCOMPARE(loaded.entries.first().path, entry.path);
        QCOMPARE(loaded.entries.first().filename, kName);
        QCOMPARE(loaded.entries.first().cataname, entry.cataname);
    }

private:
    TestService m_service;
};

QTEST_MAIN(TestUploadNames)
#include "tst_uploadnames.moc"
