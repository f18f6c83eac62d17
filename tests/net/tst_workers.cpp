#include "net/api.h"
#include "net/closingflag.h"
#include "net/releasedthreads.h"
#include "net/threadstart.h"
#include "net/workers.h"

#include "testserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// An owner that follows the owner protocol with one guarded request kind.
class JsonOwner final : public QObject
{
    Q_OBJECT
public:
    ~JsonOwner() override { reapWorker(m_thread); }

    bool request(const QString &url)
    {
        return issueWorker(m_thread, [&url] { return new GetJsonThread(url); }, this,
                           &JsonOwner::resultSlot);
    }
    bool hasThread() const { return !m_thread.isNull(); }

    QStringList results;

public slots:
    void resultSlot(QString msg)
    {
        reapWorker(m_thread);
        results << msg;
    }

private:
    QPointer<GetJsonThread> m_thread;
};

class TestWorkers final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void getJsonResult_data();
    void getJsonResult();
    void postResults_data();
    void postResults();
    void imagePostResults();
    void pictureDownload_data();
    void pictureDownload();
    void fileDownloadResults();
    void cancelledDownloadRemovesFileWithoutResult();
    void secondRequestOnlyCleansUp();
    void secondRequestWhilePendingDoesNotWait();
    void ownerDestructionEndsOnClosing();
    void everyWorkerPreparesItsThread();

private:
    TestServer *m_server = nullptr;
};

void TestWorkers::init()
{
    resetClosingForTest();
    m_server = new TestServer;
    QVERIFY(m_server->isListening());
}

void TestWorkers::cleanup()
{
    resetClosingForTest();
    delete m_server;
    m_server = nullptr;
}

namespace {

// Runs a worker to its end and returns the arguments of its one Result.
template <class T>
QList<QVariant> runToResult(T &thread)
{
    QSignalSpy spy(&thread, &T::Result);
    thread.start();
    if (!thread.wait(10000))
        return {QStringLiteral("did not finish")};
    if (spy.size() != 1)
        return {QStringLiteral("%1 results").arg(spy.size())};
    return spy.first();
}

QByteArray closedUrl()
{
    return "http://127.0.0.1:" + QByteArray::number(closedLocalPort()) + "/x";
}

} // namespace

void TestWorkers::getJsonResult_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("parses");
    QTest::newRow("200") << QByteArray("/status/200") << true << true;
    QTest::newRow("not UTF-8") << QByteArray("/nonutf8") << true << false;
    QTest::newRow("301") << QByteArray("/status/301") << false << false;
    QTest::newRow("404") << QByteArray("/status/404") << false << false;
    QTest::newRow("500 with JSON body") << QByteArray("/status/500") << false << false;
    QTest::newRow("larger than the cap") << QByteArray("/big") << false << false;
    QTest::newRow("unreachable") << QByteArray() << false << false;
}

void TestWorkers::getJsonResult()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, delivered);
    QFETCH(bool, parses);
    const QByteArray url = path.isEmpty() ? closedUrl() : m_server->url(path.constData());
    GetJsonThread thread(QString::fromUtf8(url));
    const QList<QVariant> args = runToResult(thread);
    QCOMPARE(args.size(), 1);
    const QString msg = args.first().toString();
    if (delivered) {
        QVERIFY(msg.contains(QLatin1String("\"code\":200")));
        // Bytes that are not UTF-8 become replacement characters; such an
        // answer then fails the envelope evaluation instead of crashing.
        QCOMPARE(parseEnvelope(msg).parsed, parses);
        QCOMPARE(parseEnvelope(msg).codeIs200(), parses);
    } else {
        QCOMPARE(msg, QStringLiteral("error"));
    }
}

void TestWorkers::postResults_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("ok");
    QTest::newRow("200") << QByteArray("/echo") << true;
    QTest::newRow("500") << QByteArray("/status/500") << false;
    QTest::newRow("unreachable") << QByteArray() << false;
}

void TestWorkers::postResults()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, ok);
    const QByteArray url = path.isEmpty() ? closedUrl() : m_server->url(path.constData());
    psotRequest thread(url, "ptime=1&sign=S&vid=v");
    const QList<QVariant> args = runToResult(thread);
    QCOMPARE(args.size(), 2);
    const QString text = args.at(0).toString();
    const QString error = args.at(1).toString();
    if (ok) {
        QVERIFY(parseEnvelope(text).isSuccess());
        QVERIFY(error.isEmpty());
    } else {
        QVERIFY(text.isEmpty());
        if (path.isEmpty())
            QVERIFY2(!error.isEmpty(), "an unreachable host reports libcurl's error text");
    }
}

void TestWorkers::imagePostResults()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.png"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("png");
    f.close();

    psotImage good(m_server->url("/echo"), path.toUtf8(), "1", "S", "v1");
    QList<QVariant> args = runToResult(good);
    QCOMPARE(args.size(), 2);
    QVERIFY(parseEnvelope(args.at(0).toString()).isSuccess());
    QVERIFY(args.at(1).toString().isEmpty());

    psotImage missing(m_server->url("/echo"), dir.filePath(QStringLiteral("none.png")).toUtf8(), "1", "S", "v1");
    args = runToResult(missing);
    QCOMPARE(args.size(), 2);
    QVERIFY(args.at(0).toString().isEmpty());
    QVERIFY(!args.at(1).toString().isEmpty());
}

void TestWorkers::pictureDownload_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("size");
    QTest::newRow("200") << QByteArray("/file/5000") << 5000;
    QTest::newRow("not UTF-8 bytes kept") << QByteArray("/nonutf8") << 15;
    QTest::newRow("404") << QByteArray("/status/404") << 0;
    QTest::newRow("unreachable") << QByteArray() << 0;
}

void TestWorkers::pictureDownload()
{
    QFETCH(QByteArray, path);
    QFETCH(int, size);
    const QByteArray url = path.isEmpty() ? closedUrl() : m_server->url(path.constData());
    downloadPicThread thread(QString::fromUtf8(url));
    const QList<QVariant> args = runToResult(thread);
    QCOMPARE(args.size(), 1);
    QCOMPARE(args.first().toByteArray().size(), size);
}

void TestWorkers::fileDownloadResults()
{
    QTemporaryDir dir;
    const QByteArray target = dir.filePath(QStringLiteral("setup.exe")).toUtf8();

    downloadThread good(m_server->url("/file/100000"), target);
    QSignalSpy progress(&good, &downloadThread::Progress);
    QList<QVariant> args = runToResult(good);
    QCOMPARE(args, QList<QVariant>{true});
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), 100000LL);
    QCOMPARE(progress.last().at(1).toLongLong(), 100000LL);
    QCOMPARE(QFileInfo(QString::fromUtf8(target)).size(), 100000LL);

    // The download creates its file itself: the finished one goes first.
    QVERIFY(QFile::remove(QString::fromUtf8(target)));
    downloadThread bad(m_server->url("/status/404"), target);
    args = runToResult(bad);
    QCOMPARE(args, QList<QVariant>{false});
    QVERIFY(!QFile::exists(QString::fromUtf8(target)));
}

void TestWorkers::cancelledDownloadRemovesFileWithoutResult()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("setup.exe"));
    downloadThread thread(m_server->url("/slowfile"), target.toUtf8());
    QSignalSpy results(&thread, &downloadThread::Result);
    std::atomic_bool partialSeen{false};
    // The user cancels once the first bytes are on disk.
    connect(&thread, &downloadThread::Progress, &thread,
            [&](qlonglong received, qlonglong) {
                if (received > 0 && !thread.isCancelled()) {
                    partialSeen = QFile::exists(target);
                    thread.cancel();
                }
            },
            Qt::DirectConnection);
    thread.start();
    QVERIFY(thread.wait(10000));
    QVERIFY(partialSeen.load());
    QVERIFY(thread.isCancelled());
    QCOMPARE(results.size(), 0);
    QVERIFY(!QFile::exists(target));
}

void TestWorkers::secondRequestOnlyCleansUp()
{
    JsonOwner owner;
    const QString url = QString::fromUtf8(m_server->url("/echo"));
    QVERIFY(owner.request(url));
    // Pressed again while the first thread object exists: nothing is sent;
    // the first thread is cleaned up (at once when it has finished, by its
    // result slot otherwise).
    QVERIFY(!owner.request(url));
    QTRY_COMPARE(owner.results.size(), 1);
    QVERIFY(!owner.hasThread());
    QCOMPARE(m_server->received().size(), 1);

    // Now a new request goes out, and its result slot reaps the thread.
    QVERIFY(owner.request(url));
    QTRY_COMPARE(owner.results.size(), 2);
    QVERIFY(!owner.hasThread());
    QCOMPARE(m_server->received().size(), 2);
    QVERIFY(parseEnvelope(owner.results.last()).codeIs200());
}

void TestWorkers::secondRequestWhilePendingDoesNotWait()
{
    JsonOwner owner;
    const QString url = QString::fromUtf8(m_server->url("/stall-headers"));
    QVERIFY(owner.request(url));
    QVERIFY(m_server->waitForStalled(1, 5000));
    // The server stays silent for seconds: a second request neither waits
    // for the first nor goes out.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!owner.request(url));
    QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(owner.hasThread());
    QVERIFY(owner.results.isEmpty());

    // The first answer still arrives and its slot reaps the thread.
    m_server->release();
    QTRY_COMPARE(owner.results.size(), 1);
    QCOMPARE(owner.results.first(), QStringLiteral("late"));
    QVERIFY(!owner.hasThread());
    QTRY_COMPARE(releasedThreadCount(), 0);
    QCOMPARE(m_server->stalled(), 1); // one request in all
}

void TestWorkers::ownerDestructionEndsOnClosing()
{
    auto *owner = new JsonOwner;
    QVERIFY(owner->request(QString::fromUtf8(m_server->url("/stall-headers"))));
    QVERIFY(m_server->waitForStalled(1, 5000));
    QElapsedTimer timer;
    timer.start();
    setClosing();
    delete owner; // lets go of its thread without waiting
    QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(releasedThreadCount(), 1);
    // The closing flag ends the transfer, and the thread is deleted after it.
    QTRY_COMPARE_WITH_TIMEOUT(releasedThreadCount(), 0, 2500);
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
}

namespace {

QMutex g_preparedMutex;
QList<QThread *> g_prepared;

bool recordPreparedThread()
{
    QMutexLocker lock(&g_preparedMutex);
    g_prepared << QThread::currentThread();
    return true;
}

} // namespace

void TestWorkers::everyWorkerPreparesItsThread()
{
    // Each worker runs the thread start hook (the crash dump library's in the
    // program) first thing on its own thread.
    setThreadStartHook(&recordPreparedThread);
    QTemporaryDir dir;
    const QString json = QString::fromUtf8(m_server->url("/echo"));
    QList<QThread *> workers{
        new GetJsonThread(json),
        new psotRequest(m_server->url("/echo"), "a=1"),
        new psotImage(m_server->url("/echo"), dir.filePath("none.png").toUtf8(), "1", "s", "v"),
        new downloadPicThread(json),
        new downloadThread(m_server->url("/file/10"), dir.filePath("f.bin").toUtf8()),
    };
    for (QThread *t : workers)
        t->start();
    for (QThread *t : workers)
        QVERIFY(t->wait(10000));
    setThreadStartHook(nullptr);
    QMutexLocker lock(&g_preparedMutex);
    for (QThread *t : workers) {
        QVERIFY2(g_prepared.contains(t), t->metaObject()->className());
        delete t;
    }
    QCOMPARE(g_prepared.size(), workers.size());
}

QTEST_GUILESS_MAIN(TestWorkers)
#include "tst_workers.moc"
