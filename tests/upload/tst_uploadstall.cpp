// Rows whose bookkeeping or token request hangs on a silent service: removing
// them, clearing the list, logging out and closing the window never wait for
// the held request. The window's event loop keeps turning (no gap of 100 ms
// or more), the rows' threads end within about a second, and the record
// file written at the end still holds every row with its stored blocks.

#include "queuefixture.h"

#include "demoservice.h"
#include "dialoghelper.h"
#include "eventloopwatch.h"
#include "hostedwindow.h"
#include "devservice/devservice.h"
#include "net/closingflag.h"
#include "prefs/settingsrecord.h"
#include "upload/retiredthreads.h"
#include "upload/uploadinit.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Releases the held requests after a while, from its own thread, so that a
// client that blocks its GUI thread on them still comes back (and fails the
// test) instead of hanging it.
class StallSafetyNet final
{
public:
    StallSafetyNet(devsvc::DevService &service, int afterMs)
        : m_thread([this, &service, afterMs] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_cv.wait_for(lock, std::chrono::milliseconds(afterMs), [this] { return m_done; }))
                  service.releaseStalls();
          })
    {
    }
    ~StallSafetyNet()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

struct ServiceUser
{
    QString userId;
    QString secretKey;
};

ServiceUser userOf(int channel)
{
    return channel == 0 ? ServiceUser{QStringLiteral("10001"), QStringLiteral("sk-oss-5f2c9d1a")}
                        : ServiceUser{QStringLiteral("10002"), QStringLiteral("sk-wcs-8b47e0c3")};
}

const char *const kCheck = "/uc/video/checkUploadingVideo";
const char *const kInsert = "/uc/video/insertUploadingVideo";

QString initPath(int channel)
{
    return channel == 0 ? QStringLiteral("/v2/aliyunoss/.*/init") : QStringLiteral("/v2/uploadvideo_wcs/.*/init");
}

} // namespace

class TestUploadStall final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        startDemoService(m_service);
        if (QTest::currentTestFailed())
            return;
        installProgramChannels();
        qputenv("ZAVIX_SHUTDOWN_COMMAND", "/bin/true");
    }
    void cleanupTestCase() { m_service.stop(); }
    void cleanup()
    {
        m_service.releaseStalls();
        m_service.clearFaults();
        retiredthreads::finishAll(5000);
        resetClosingForTest();
    }

    void removingAStalledRow_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("stalled");
        QTest::addColumn<bool>("clear");
        for (int channel : {0, 1}) {
            const char *name = channel == 0 ? "oss" : "wcs";
            const QList<QPair<const char *, QString>> requests{
                {"check", QLatin1String(kCheck)}, {"insert", QLatin1String(kInsert)}, {"init", initPath(channel)}};
            for (const auto &request : requests) {
                QTest::addRow("%s %s, delete", name, request.first) << channel << request.second << false;
                QTest::addRow("%s %s, clear", name, request.first) << channel << request.second << true;
            }
        }
    }
    void removingAStalledRow()
    {
        QFETCH(int, channel);
        QFETCH(QString, stalled);
        QFETCH(bool, clear);
        QueueFixture f(channel, 1);
        setUploadChannelFactory(nullptr); // the program's channels
        const ServiceUser user = userOf(channel);
        f.queue()->setAccount(f.serviceAccount(user.userId, user.secretKey));
        f.category = {QStringLiteral("1"), QStringLiteral("全部")};

        m_service.stallNext(stalled, 1);
        StallSafetyNet net(m_service, 10000);
        QVERIFY(f.add({f.makeFile(QStringLiteral("held%1.mp4").arg(QTest::currentDataTag()), 300000)}));
        QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 1, 10000);

        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"));
        EventLoopWatch watch;
        QElapsedTimer clock;
        clock.start();
        if (clear)
            f.page->on_clearListBtn_clicked();
        else
            f.queue()->row(0)->deleteButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(f.queue()->rowCount(), 0, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(retiredthreads::pendingCount(), 0, 15000);
        const qint64 ended = clock.elapsed();
        const qint64 gap = watch.longestGapMs();
        qDebug("threads ended after %lld ms, longest event loop gap %lld ms", ended, gap);
        QVERIFY2(gap < 100, qPrintable(QStringLiteral("event loop blocked for %1 ms").arg(gap)));
        QVERIFY2(ended < 2500, qPrintable(QStringLiteral("took %1 ms").arg(ended)));
        QCOMPARE(m_service.stalledCount(), 1); // it was the client that gave up
    }

    void leavingWithStalledRows_data()
    {
        QTest::addColumn<bool>("logOut");
        QTest::newRow("close") << false;
        QTest::newRow("log out") << true;
    }
    void leavingWithStalledRows()
    {
        QFETCH(bool, logOut);
        AccountRecord account = hostedAccount(QStringLiteral("stall%1@example.com").arg(logOut));
        account.uid = account.userId = QStringLiteral("10002");
        account.secretKey = QStringLiteral("sk-wcs-8b47e0c3");
        account.uploadType = QStringLiteral("1");
        const QString folder = userdata::userDataFolder(account.email);
        QVERIFY(userdata::ensureFolder(folder));
        SettingsRecord settings;
        settings.autoStart = true;
        settings.parallelTask = 2;
        QVERIFY(saveSettingsFile(folder + settingsFileName(), settings));

        // Two restored rows: one hangs in its check, one (already
        // registered, with a stored block) in its init.
        UploadAccount upload;
        upload.userId = upload.uid = account.userId;
        upload.channel = WcsChannel;
        upload.accountWebHost = m_service.baseUrl();
        upload.uploadHostName = QStringLiteral("127.0.0.1:%1").arg(m_service.port());
        QJsonArray records;
        for (int i = 0; i < 2; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("leaving%1-%2.mp4").arg(logOut).arg(i));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(5000 + i, char('a' + i)));
            file.close();
            const QString vid = QStringLiteral("10002leaving%1%2_1").arg(logOut).arg(i);
            const BookkeepingUrls urls = makeBookkeepingUrls(upload, vid, QStringLiteral("leaving"), QStringLiteral("1"));
            records.append(QJsonObject{{"path", path}, {"vid", vid}, {"uploadType", 1}, {"cataid", "1"},
                                       {"checkUrl", urls.checkUrl}, {"insertUrl", urls.insertUrl},
                                       {"deleteUrl", urls.cancelUrl}, {"everUploaded", i == 1},
                                       {"uuid", QStringLiteral("u%1").arg(i)},
                                       {"ctxStr", i == 1 ? "c0," : ""}, {"indexStr", i == 1 ? "0," : ""},
                                       {"alreadyUploadSize", i == 1 ? 5001 : 0}});
        }
        QVERIFY(userdata::writeFile(folder + uploadrecord::fileName(), QJsonDocument(records)));

        m_service.stallNext(QLatin1String(kCheck), 1);
        m_service.stallNext(initPath(WcsChannel), 1);
        StallSafetyNet net(m_service, 10000);
        auto window = makeHostedWindow(&account);
        DialogAnswerer answerer; // notices about the category answer
        answerer.clickWhenShown(QStringLiteral("addBtn"), 3);
        window->show();
        auto *uploads = window->findChild<UploadPage *>();
        QVERIFY(uploads);
        QTRY_COMPARE(uploads->queue()->rowCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_service.stalledCount(), 2, 10000);

        answerer.clear();
        answerer.clickWhenShown(QStringLiteral("addBtn"), QStringLiteral("MessageInfo"));
        EventLoopWatch watch;
        QElapsedTimer clock;
        clock.start();
        if (logOut)
            QVERIFY(QMetaObject::invokeMethod(window.get(), "changeAccountSlot"));
        else
            QVERIFY(window->close());
        QTRY_VERIFY(!window->isVisible());
        const qint64 gap = watch.longestGapMs();
        // What the program does after its event loop: the rows' threads end.
        QVERIFY(finishThreads());
        const qint64 ended = clock.elapsed();
        qDebug("threads ended after %lld ms, longest event loop gap %lld ms", ended, gap);
        QVERIFY2(gap < 100, qPrintable(QStringLiteral("event loop blocked for %1 ms").arg(gap)));
        QVERIFY2(ended < 2500, qPrintable(QStringLiteral("took %1 ms").arg(ended)));
        QCOMPARE(m_service.stalledCount(), 2);

        const QJsonArray saved = userdata::readFile(folder + uploadrecord::fileName()).document.array();
        QCOMPARE(saved.size(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(saved.at(i).toObject().value("vid").toString(), records.at(i).toObject().value("vid").toString());
        QCOMPARE(saved.at(1).toObject().value("indexStr").toString(), QStringLiteral("0,"));
        QCOMPARE(saved.at(1).toObject().value("ctxStr").toString(), QStringLiteral("c0,"));
        QCOMPARE(saved.at(1).toObject().value("everUploaded").toBool(), true);
        window.reset();
    }

private:
    static bool finishThreads() { return retiredthreads::finishAll(5000); }

    QTemporaryDir m_dir;
    devsvc::DevService m_service;
};

QTEST_MAIN(TestUploadStall)
#include "tst_uploadstall.moc"
