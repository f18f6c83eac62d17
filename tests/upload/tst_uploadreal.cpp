// The queue with the program's own channels against the local service:
// files go through check, insert, init and the store, the finished rows
// leave the list, and a second add of the same files finishes as a second
// pass.

#include "queuefixture.h"

#include "demoservice.h"
#include "devservice/devservice.h"
#include "net/closingflag.h"
#include "net/servicehosts.h"

class TestUploadReal final : public QObject
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

    void filesReachTheStore_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("secretKey");
        QTest::newRow("oss") << 0 << "10001" << "sk-oss-5f2c9d1a";
        QTest::newRow("wcs") << 1 << "10002" << "sk-wcs-8b47e0c3";
    }
    void filesReachTheStore()
    {
        QFETCH(int, channel);
        QFETCH(QString, userId);
        QFETCH(QString, secretKey);
        QueueFixture f(channel, 2);
        setUploadChannelFactory(nullptr); // the program's channels
        f.queue()->setAccount(f.serviceAccount(userId, secretKey));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        QStringList paths;
        for (int i = 0; i < 3; ++i)
            paths.append(f.makeFile(QStringLiteral("real%1-%2.mp4").arg(channel).arg(i), 300000 + i * 7000,
                                    char('a' + i)));
        QVERIFY(f.add(paths));
        QCOMPARE(f.queue()->rowCount(), 3);
        QCOMPARE(f.uploadingRows(), 2);
        QStringList vids;
        for (int i = 0; i < 3; ++i)
            vids.append(f.queue()->row(i)->task()->vid);

        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 60000);
        QCOMPARE(f.finished.size(), 3);
        for (const QString &line : qAsConst(f.finished))
            QVERIFY2(line.endsWith(QStringLiteral("已完成")), qPrintable(line));
        for (const QString &vid : qAsConst(vids))
            QTRY_VERIFY_WITH_TIMEOUT(m_service.video(vid).exists, 10000);

        f.finished.clear();
        QVERIFY(f.add(paths));
        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 30000);
        QCOMPARE(f.finished.size(), 3);
        for (const QString &line : qAsConst(f.finished))
            QVERIFY2(line.endsWith(QStringLiteral("已秒传")), qPrintable(line));
    }

private:
    devsvc::DevService m_service;
};

QTEST_MAIN(TestUploadReal)
#include "tst_uploadreal.moc"
