// A client killed with SIGKILL in the middle of an upload, started again:
// it restores the task from the record file written while it ran and
// finishes it, sending less than the whole file again.

#include "devservice/devservice.h"
#include "devservice/servicecore.h"
#include "upload/aliyunuploadthread.h"
#include "upload/uploadrecord.h"

#include <httplib.h>

#include <QDateTime>
#include <QLocale>
#include <QMessageAuthenticationCode>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "upload/userdatafile.h"

#include <csignal>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QByteArray makeContent(qint64 size, quint32 seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), int(size / 4));
    return bytes;
}

QJsonArray readRecord(const QString &path)
{
    return userdata::readFile(path).document.array();
}

qint64 storeBytes(const QList<devsvc::RequestLogEntry> &log, const QRegularExpression &path,
                  const QString &method)
{
    qint64 sum = 0;
    for (const devsvc::RequestLogEntry &e : log) {
        if (path.match(e.path).hasMatch() && (method.isEmpty() || e.method == method))
            sum += e.bodySize;
    }
    return sum;
}

// MD5 of an object of the OSS store, fetched like a client of the store.
QByteArray ossObjectMd5(devsvc::DevService &service, const QString &key)
{
    const devsvc::OssCoordinates oss = service.core().ossCoordinates();
    const QString resource = QStringLiteral("/%1/%2").arg(oss.bucket, key);
    const QByteArray date = QLocale::c()
                                .toString(QDateTime::currentDateTimeUtc(),
                                          QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
                                .toLatin1();
    const QByteArray toSign = "GET\n\n\n" + date + "\n" + resource.toUtf8();
    const QByteArray signature =
        QMessageAuthenticationCode::hash(toSign, oss.accessKey.toUtf8(), QCryptographicHash::Sha1)
            .toBase64();
    httplib::Client client("127.0.0.1", service.port());
    const httplib::Headers headers{{"Date", date.toStdString()},
                                   {"Authorization", ("OSS " + oss.accessId.toUtf8() + ":" + signature).toStdString()}};
    const auto answer = client.Get(resource.toStdString(), headers);
    if (!answer || answer->status != 200)
        return QByteArray();
    return QCryptographicHash::hash(QByteArray::fromStdString(answer->body), QCryptographicHash::Md5).toHex();
}

} // namespace

class TestRecordKill final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.seedFromFile(devsvc::DevService::demoSeedPath()).ok);
        QVERIFY(m_service.start());
        QVERIFY(QFile::exists(QStringLiteral(RECORD_VICTIM_PATH)));
    }
    void cleanupTestCase() { m_service.stop(); }

    void killedClientResumes_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("secretKey");
        QTest::addColumn<qint64>("size");
        QTest::newRow("wcs") << 1 << "10002" << "sk-wcs-8b47e0c3" << 20 * kMiB;
        QTest::newRow("oss") << 0 << "10001" << "sk-oss-5f2c9d1a" << 8 * kMiB;
    }
    void killedClientResumes()
    {
        QFETCH(int, channel);
        QFETCH(QString, userId);
        QFETCH(QString, secretKey);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("killed%1.mp4").arg(channel));
        const QByteArray content = makeContent(size, 77 + channel);
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(content), qint64(content.size()));
        }
        const QByteArray md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
        const QString record = dir.filePath(QStringLiteral("uploadInfo.json"));
        const QRegularExpression wcsStore(QStringLiteral("^/(mkblk|bput)/"));
        const QRegularExpression ossStore(QStringLiteral("^/zavix-video/"));

        m_service.clearFaults();
        m_service.clearRequestLog();
        if (channel == 1) {
            // The fifth block waits at the store: four blocks are stored,
            // the file is not complete when the client dies.
            m_service.stallNext(QStringLiteral("/mkblk/\\d+/4"), 1);
        } else {
            m_service.setBandwidthLimit(kMiB);
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZAVIX_SERVICE_URL"), m_service.baseUrl());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QStringList args{QString::number(channel), userId, secretKey, record, file};

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(RECORD_VICTIM_PATH), args);
        QVERIFY(first.waitForStarted(10000));
        if (channel == 1) {
            QTRY_VERIFY_WITH_TIMEOUT(
                !readRecord(record).isEmpty()
                    && readRecord(record).first().toObject().value("indexStr").toString()
                           == QStringLiteral("0,1,2,3,"),
                60000);
        } else {
            // A few parts confirmed by the store and noted in the checkpoint.
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    int parts = 0;
                    for (const devsvc::RequestLogEntry &e : m_service.requestLog()) {
                        if (e.method == QLatin1String("PUT") && ossStore.match(e.path).hasMatch()
                            && e.query.contains(QLatin1String("partNumber")) && e.status == 200)
                            ++parts;
                    }
                    return parts >= 3 && readRecord(record).size() == 1;
                }(),
                60000);
            QTest::qWait(300);
        }
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);

        const QJsonArray kept = readRecord(record);
        QCOMPARE(kept.size(), 1);
        const QString vid = kept.first().toObject().value("vid").toString();
        QVERIFY(!vid.isEmpty());
        QVERIFY(!m_service.video(vid).exists || m_service.video(vid).md5 != md5);

        m_service.releaseStalls();
        m_service.clearFaults();
        m_service.setBandwidthLimit(0);
        m_service.clearRequestLog();

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(RECORD_VICTIM_PATH), args);
        QVERIFY(second.waitForStarted(10000));
        QVERIFY(second.waitForFinished(90000));
        const QString out = QString::fromUtf8(second.readAllStandardOutput());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(out.contains(QStringLiteral("restored 1")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("finished %1 已完成").arg(vid)), qPrintable(out));

        QTRY_VERIFY_WITH_TIMEOUT(m_service.video(vid).exists, 10000);
        QCOMPARE(m_service.video(vid).size, size);
        if (channel == 1) {
            QCOMPARE(m_service.video(vid).md5, md5);
        } else {
            uploadrecord::RestoreContext context;
            context.channel = 0;
            const UploadTask task = uploadrecord::restoreTask(kept.first().toObject(), context).task;
            QCOMPARE(ossObjectMd5(m_service, ossObjectKey(task)), md5);
        }

        const QList<devsvc::RequestLogEntry> log = m_service.requestLog();
        const qint64 resent = channel == 1 ? storeBytes(log, wcsStore, QString())
                                           : storeBytes(log, ossStore, QStringLiteral("PUT"));
        qInfo() << "sent again:" << resent << "of" << size;
        QVERIFY(resent > 0);
        QVERIFY2(resent < size, qPrintable(QString::number(resent)));
        // The finished task has left the record file.
        QTRY_COMPARE(readRecord(record).size(), 0);
    }

private:
    devsvc::DevService m_service;
};

QTEST_MAIN(TestRecordKill)
#include "tst_recordkill.moc"
