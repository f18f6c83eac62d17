// The worker threads against the local service, the way the program runs
// them: a JSON GET, a form POST, a cover upload from a file whose name and
// folder hold Chinese text and blanks read back by an image GET, and a file
// download into such a folder. Runs natively and, in the Windows build, under wine against
// a native service (the other worker tests need a server inside the test).

#include "testservice.h"

#include "library/videorequests.h"
#include "net/api.h"
#include "net/workers.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The OSS demo user and one of its videos.
const QString kOssUser = QStringLiteral("10001");
const QString kOssSecret = QStringLiteral("sk-oss-5f2c9d1a");
const QString kOssVideo = QStringLiteral("10001c61ee46501ef5d1a947591_1");

// Runs a worker to its end and returns the arguments of its one Result.
template <class T>
QList<QVariant> runToResult(T &thread)
{
    QSignalSpy spy(&thread, &T::Result);
    thread.start();
    if (!thread.wait(30000))
        return {QStringLiteral("did not finish")};
    QCoreApplication::processEvents();
    if (spy.size() != 1)
        return {QStringLiteral("%1 results").arg(spy.size())};
    return spy.first();
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

} // namespace

class TestWorkersService final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_service.start(), qPrintable(m_service.errorString())); }
    void cleanupTestCase() { m_service.stop(); }

    void jsonGet()
    {
        GetJsonThread thread(m_service.baseUrl() + QStringLiteral("/uc/video/getVersions"));
        const QList<QVariant> args = runToResult(thread);
        QCOMPARE(args.size(), 1);
        const QString text = args.first().toString();
        const QJsonDocument answer = QJsonDocument::fromJson(text.toUtf8());
        QVERIFY2(answer.isArray() && !answer.array().isEmpty(), qPrintable(text));
        QVERIFY(answer.array().first().toObject().contains(QStringLiteral("version")));
    }

    void formPost()
    {
        const QByteArray body("a=1&b=%E4%B8%AD");
        psotRequest thread((m_service.baseUrl() + QStringLiteral("/sink")).toUtf8(), body);
        const QList<QVariant> args = runToResult(thread);
        QCOMPARE(args.size(), 2);
        QVERIFY2(args.at(1).toString().isEmpty(), qPrintable(args.at(1).toString()));
        const QJsonObject answer = QJsonDocument::fromJson(args.at(0).toString().toUtf8()).object();
        QCOMPARE(answer.value(QStringLiteral("size")).toInt(), body.size());
    }

    // A new cover for a video of the OSS demo user, from a file whose name
    // holds Chinese text and blanks; read back through the image address.
    void coverUploadFromAChineseName_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("plain") << QStringLiteral("cover.png");
        QTest::newRow("Chinese and blanks") << QStringLiteral("课程 资料/封面 图片.png");
    }
    void coverUploadFromAChineseName()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        QByteArray image("\x89PNG\r\n\x1a\n", 8);
        for (int i = 0; i < 70000; ++i)
            image.append(char(i * 7 + relative.size()));
        const QString path = writeFile(dir.filePath(relative), image);
        QVERIFY(!path.isEmpty());
        const videorequests::CoverRequest request =
            videorequests::coverRequest(m_service.baseUrl(), kOssUser, kOssVideo, currentPtime(), kOssSecret);
        psotImage upload(request.url, path.toUtf8(), request.ptime, request.sign, request.vids);
        const QList<QVariant> args = runToResult(upload);
        QCOMPARE(args.size(), 2);
        QVERIFY2(args.at(1).toString().isEmpty(), qPrintable(args.at(1).toString()));
        const QJsonObject answer = QJsonDocument::fromJson(args.at(0).toString().toUtf8()).object();
        const QString imageUrl = answer.value(QStringLiteral("data")).toObject().value(QStringLiteral("first_image")).toString();
        QVERIFY2(!imageUrl.isEmpty(), qPrintable(args.at(0).toString()));

        downloadPicThread fetch(imageUrl);
        const QList<QVariant> got = runToResult(fetch);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().toByteArray(), image);
    }

    void coverUploadOfAMissingFileFails()
    {
        QTemporaryDir dir;
        const videorequests::CoverRequest request =
            videorequests::coverRequest(m_service.baseUrl(), kOssUser, kOssVideo, currentPtime(), kOssSecret);
        psotImage upload(request.url, dir.filePath(QStringLiteral("没有 文件.png")).toUtf8(), request.ptime,
                         request.sign, request.vids);
        const QList<QVariant> args = runToResult(upload);
        QCOMPARE(args.size(), 2);
        QVERIFY(args.at(0).toString().isEmpty());
        QVERIFY(!args.at(1).toString().isEmpty());
    }

    void downloadIntoAChineseFolder()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("下载 文件/安装 程序.exe"));
        QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
        downloadThread thread((m_service.baseUrl() + QStringLiteral("/soft/ZavixUploadClientSetup.exe")).toUtf8(),
                              target.toUtf8());
        QSignalSpy progress(&thread, &downloadThread::Progress);
        const QList<QVariant> args = runToResult(thread);
        QCOMPARE(args.size(), 1);
        QVERIFY(args.first().toBool());
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(2) == "MZ");
        QVERIFY(file.size() > 0);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), file.size());
    }

    void imageGetOfAMissingImageIsEmpty()
    {
        downloadPicThread thread(m_service.baseUrl() + QStringLiteral("/images/no-such-video.png"));
        const QList<QVariant> args = runToResult(thread);
        QCOMPARE(args.size(), 1);
        QVERIFY(args.first().toByteArray().isEmpty());
    }

private:
    TestService m_service;
};

QTEST_GUILESS_MAIN(TestWorkersService)
#include "tst_workersservice.moc"
