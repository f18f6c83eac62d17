// The speed test against the service emulator: both store modes under a
// bandwidth cap, a rejected credential request, closing mid-test, and an
// upload that ends before the first tick.

#include "account/accountrecord.h"
#include "demoservice.h"
#include "devservice/devservice.h"
#include "eventloopwatch.h"
#include "net/transferlimits.h"
#include "upload/nettestdialog.h"
#include "upload/nettestpanel.h"
#include "upload/nettestrecord.h"
#include "upload/nettestuploadthread.h"
#include "upload/userdatafile.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

// The bytes waiting in the loopback socket buffers count as sent, up to
// several MiB: the cap is high enough that they stay a small part of what
// ten seconds move, and the measurement uses a test file larger than that.
constexpr qint64 kCap = 12 * 1024 * 1024;
constexpr qint64 kBigTestFile = 160 * 1024 * 1024;

AccountRecord accountOf(const QString &userId, const QString &secret, const QString &uploadType)
{
    AccountRecord a;
    a.email = userId + QStringLiteral("@zavix.test");
    a.uid = userId;
    a.userId = userId;
    a.secretKey = secret;
    a.uploadType = uploadType;
    return a;
}

QString labelText(QDialog *dialog)
{
    return dialog->findChild<QLabel *>(QStringLiteral("messageLbl"))->text();
}

QPushButton *button(QDialog *dialog)
{
    return dialog->findChild<QPushButton *>(QStringLiteral("addBtn"));
}

} // namespace

class TestNetTest final : public QObject
{
    Q_OBJECT

private:
    devsvc::DevService m_service{devsvc::DevService::Options{QString(), true, 3000, 24, false}};
    QTemporaryDir m_programDir;
    QString m_oldCurrent;

    // A fresh user data folder with a panel that records into it.
    struct Rig
    {
        QTemporaryDir folder;
        AccountRecord account;
        NetTestPanel panel{nullptr};
        Rig(const AccountRecord &a)
            : account(a)
        {
            panel.setAccount(&account);
            panel.setUserDataFolder(folder.path() + QLatin1Char('/'));
        }
        NetTestDialog *open()
        {
            auto *dialog = new NetTestDialog(nullptr, &account);
            QObject::connect(dialog, &NetTestDialog::Result, &panel, &NetTestPanel::netTestDlgResultSlot);
            dialog->show();
            return dialog;
        }
    };

private slots:
    void initTestCase()
    {
        startDemoService(m_service);
        if (QTest::currentTestFailed())
            return;
        m_oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_programDir.path()));
        // An existing test file is used whatever its size.
        QFile big(QStringLiteral("NetSpeedTest.mp4"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'z');
        for (qint64 n = 0; n < kBigTestFile; n += block.size())
            QCOMPARE(big.write(block), qint64(block.size()));
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(m_oldCurrent);
        m_service.stop();
    }
    void cleanup()
    {
        resetTransferLimitsForTest();
        m_service.releaseStalls();
        m_service.clearFaults();
        m_service.setBandwidthLimit(0);
        m_service.clearRequestLog();
    }

    void speedNearTheCapRecordedAndLoaded_data()
    {
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("uploadType");
        QTest::addColumn<QString>("uploadPath");
        QTest::newRow("oss") << "10001" << "sk-oss-5f2c9d1a" << "0" << "/zavix-video";
        QTest::newRow("wcs") << "10002" << "sk-wcs-8b47e0c3" << "1" << "/";
    }
    void speedNearTheCapRecordedAndLoaded()
    {
        QFETCH(QString, userId);
        QFETCH(QString, secret);
        QFETCH(QString, uploadType);
        QFETCH(QString, uploadPath);
        m_service.setBandwidthLimit(kCap);
        Rig rig(accountOf(userId, secret, uploadType));
        QPointer<NetTestDialog> dialog = rig.open();
        QSignalSpy result(dialog.data(), &NetTestDialog::Result);
        QVERIFY(result.wait(25000));
        QCOMPARE(result.count(), 1);
        const bool ok = result.first().at(0).toBool();
        const int speedA = result.first().at(1).toInt();
        QVERIFY(ok);
        QVERIFY2(qAbs(speedA - kCap) <= kCap / 5, qPrintable(QString::number(speedA)));
        QCOMPARE(result.first().at(2).toInt(), 0);
        QVERIFY(QFileInfo::exists(QDir::current().filePath(QStringLiteral("NetSpeedTest.mp4"))));

        // Ten counted seconds at most, then the finished text.
        const QString text = labelText(dialog);
        QVERIFY2(text.startsWith(QStringLiteral("完成测速，已为您选择最优上传方案\r\n\r\n本次测速耗时( ")), qPrintable(text));
        QCOMPARE(button(dialog)->text(), QStringLiteral("知道了"));
        QVERIFY(!dialog->uploadThread());
        // The service sees the cut-off upload once it has drained what was sent.
        QVERIFY(m_service.waitForRequest(uploadPath, 15000));
        QCOMPARE(m_service.requests(uploadPath).size(), 1);

        // Recorded in the file ...
        const userdata::ReadResult file = userdata::readFile(rig.panel.recordPath());
        QVERIFY(file.ok);
        QCOMPARE(file.document.object().value("paramType").toInt(), 1);
        QCOMPARE(file.document.object().value("speedA").toInt(), speedA);
        QCOMPARE(file.document.object().value("uploadType").toInt(), uploadType.toInt());

        // ... and loaded at the next start: a WCS account keeps no speeds.
        NetTestPanel next(nullptr);
        next.setAccount(&rig.account);
        next.setUserDataFolder(rig.panel.recordPath().chopped(int(qstrlen("netparamsInfo.json"))));
        next.loadNetParams();
        const bool wcs = uploadType == QLatin1String("1");
        QCOMPARE(next.record().speedA, wcs ? 0 : speedA);
        QCOMPARE(next.record().paramType, wcs ? 0 : 1);
        QCOMPARE(next.record().uploadType, wcs ? 1 : 0);

        button(dialog)->click();
        QTRY_VERIFY(dialog.isNull());
    }

    void rejectedCredentialsShowNetworkError()
    {
        m_service.answerNext(QStringLiteral("/v2/uploadvideo_wcs/.*/init"), 200,
                             R"({"code":401,"status":"error","message":"sign is illegal.","data":{}})");
        Rig rig(accountOf(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"), QStringLiteral("1")));
        QPointer<NetTestDialog> dialog = rig.open();
        QSignalSpy result(dialog.data(), &NetTestDialog::Result);
        QVERIFY(result.wait(10000));
        QCOMPARE(result.first(), (QList<QVariant>{false, 0, 0}));
        QCOMPARE(labelText(dialog), QStringLiteral("网络异常"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(rig.panel.record(), (NetTestRecord{1, 0, 0, 0}));
        QVERIFY(QFileInfo::exists(rig.panel.recordPath()));
        QCOMPARE(nettest::loadRecord(rig.panel.recordPath(), 0).paramType, 0);
        QVERIFY(m_service.requests(QStringLiteral("/")).isEmpty());
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }

    void silentCredentialServiceTakesTheFailurePath()
    {
        // The service takes the credential request and never answers: after
        // the limit (shortened here) the dialog shows the network failure,
        // and the window keeps working all the while.
        TransferLimits limits;
        limits.speedTestRequestMs = 1500;
        setTransferLimitsForTest(limits);
        m_service.stallNext(QStringLiteral("/v2/uploadvideo_wcs/.*/init"));
        Rig rig(accountOf(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"), QStringLiteral("1")));
        EventLoopWatch watch;
        QElapsedTimer timer;
        timer.start();
        QPointer<NetTestDialog> dialog = rig.open();
        QSignalSpy result(dialog.data(), &NetTestDialog::Result);
        QVERIFY(result.wait(8000));
        QVERIFY2(timer.elapsed() >= 1400, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
        QCOMPARE(result.first(), (QList<QVariant>{false, 0, 0}));
        QCOMPARE(labelText(dialog), QStringLiteral("网络异常"));
        QCOMPARE(m_service.stalledCount(), 1);
        QCOMPARE(rig.panel.record(), (NetTestRecord{1, 0, 0, 0}));
        QVERIFY(!dialog->uploadThread());
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }

    void closingMidTestRecordsNothing()
    {
        m_service.setBandwidthLimit(kCap);
        Rig rig(accountOf(QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a"), QStringLiteral("0")));
        QPointer<NetTestDialog> dialog = rig.open();
        QSignalSpy result(dialog.data(), &NetTestDialog::Result);
        QTRY_VERIFY(dialog->uploadThread() && dialog->uploadThread()->sendByte() > 0);
        QPointer<NetTestUploadThread> thread = dialog->uploadThread();
        QVERIFY(thread->isRunning());
        EventLoopWatch watch;
        button(dialog)->click();
        // Closing stopped the upload without waiting for it; its thread is
        // deleted once it has ended.
        QTRY_VERIFY(dialog.isNull());
        QTRY_VERIFY(thread.isNull());
        QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
        QTest::qWait(50);
        QCOMPARE(result.count(), 0);
        QVERIFY(!QFileInfo::exists(rig.panel.recordPath()));
        QCOMPARE(rig.panel.record(), NetTestRecord());
        QVERIFY(m_service.waitForRequest(QStringLiteral("/zavix-video"), 15000));
    }

    void uploadEndingBeforeTheFirstTickGivesZero()
    {
        // An existing test file of another size is uploaded whole, while the
        // request still announces the full size.
        QTemporaryDir otherProgram;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(otherProgram.path()));
        {
            QFile small(QStringLiteral("NetSpeedTest.mp4"));
            QVERIFY(small.open(QIODevice::WriteOnly));
            small.write(QByteArray(1000, 'x'));
        }
        Rig rig(accountOf(QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3"), QStringLiteral("1")));
        QPointer<NetTestDialog> dialog = rig.open();
        QSignalSpy result(dialog.data(), &NetTestDialog::Result);
        const bool arrived = result.wait(10000);
        QDir::setCurrent(previous);
        QVERIFY(arrived);
        QCOMPARE(result.first(), (QList<QVariant>{true, 0, 0}));
        QCOMPARE(rig.panel.record(), (NetTestRecord{1, 0, 0, 0}));
        QCOMPARE(QFileInfo(otherProgram.filePath(QStringLiteral("NetSpeedTest.mp4"))).size(), qint64(1000));

        const auto inits = m_service.requests(QStringLiteral("/v2/uploadvideo_wcs/.*/init"));
        QCOMPARE(inits.size(), 1);
        QCOMPARE(QUrlQuery(inits.first().query).queryItemValue(QStringLiteral("filesize")), QStringLiteral("52428800"));
        const auto uploads = m_service.requests(QStringLiteral("/"));
        QCOMPARE(uploads.size(), 1);
        QCOMPARE(uploads.first().status, 200);
        QVERIFY(uploads.first().bodySize < 4000);
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }
};

QTEST_MAIN(TestNetTest)
#include "tst_nettest.moc"
