#pragma once

// The service emulator with the OSS demo account, OSS upload tasks made the
// way the queue makes them, a runner for one AliyunUploadThread and a signed
// read of stored objects.

#include "seededfile.h"

#include "devservice/devservice.h"
#include "devservice/servicecore.h"
#include "oss/OssClient.h"
#include "upload/aliyunuploadthread.h"
#include "upload/uploadinit.h"
#include "upload/uploadtask.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QRandomGenerator>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <curl/curl.h>

#include <memory>

namespace aliyuntest {

// The demo seed's OSS account.
inline const QString kUserId = QStringLiteral("10001");
inline const QString kSecretKey = QStringLiteral("sk-oss-5f2c9d1a");
inline const QString kCataid = QStringLiteral("1");
constexpr qint64 kMiB = 1048576;
constexpr qint64 kPlentyOfSpace = qint64(50) * 1024 * kMiB;

// ---- log capture ---------------------------------------------------------

struct LogCapture
{
    QMutex mutex;
    QStringList lines;
};
inline LogCapture &logCapture()
{
    static LogCapture capture;
    return capture;
}
inline void captureMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    LogCapture &c = logCapture();
    QMutexLocker lock(&c.mutex);
    c.lines.append(text);
}
inline QStringList capturedLines()
{
    LogCapture &c = logCapture();
    QMutexLocker lock(&c.mutex);
    return c.lines;
}
inline void clearCapturedLines()
{
    LogCapture &c = logCapture();
    QMutexLocker lock(&c.mutex);
    c.lines.clear();
}
inline QStringList capturedLinesWith(const QString &text)
{
    QStringList out;
    for (const QString &line : capturedLines())
        if (line.contains(text))
            out.append(line);
    return out;
}

// ---- one run of the channel thread ---------------------------------------

struct ThreadRun
{
    QList<QPair<bool, int>> results;
    QList<qlonglong> transferred; // Progress values, in arrival order
    qlonglong total = 0;
    qint64 incrementSum = 0;
    bool ended = false;
    qint64 elapsedMs = 0;
};

// Collects what one thread reports, on the thread of the caller (queued).
class ThreadWatcher final : public QObject
{
public:
    explicit ThreadWatcher(AliyunUploadThread *thread) : m_thread(thread)
    {
        connect(thread, &OssChannelThread::Result, this,
                [this](bool status, int code) { run.results.append(qMakePair(status, code)); },
                Qt::QueuedConnection);
        connect(thread, &OssChannelThread::Progress, this,
                [this](int increment, qlonglong transferred, qlonglong total) {
                    run.incrementSum += increment;
                    run.transferred.append(transferred);
                    run.total = total;
                },
                Qt::QueuedConnection);
        connect(thread, &QThread::finished, this, [this]() { run.ended = true; },
                Qt::QueuedConnection);
    }
    void start()
    {
        m_clock.start();
        m_thread->start();
    }
    // Spins the event loop until the thread has ended and all its signals
    // have arrived.
    bool waitForEnd(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (!run.ended && t.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        run.elapsedMs = m_clock.elapsed();
        return run.ended;
    }

    ThreadRun run;

private:
    AliyunUploadThread *m_thread;
    QElapsedTimer m_clock;
};

// ---- the service -------------------------------------------------------------

class AliyunRig final
{
public:
    AliyunRig()
    {
        devsvc::DevService::Options options;
        options.encodeDelayMs = 60000;
        service = std::make_unique<devsvc::DevService>(options);
    }

    bool start()
    {
        if (!service->seedFromFile(devsvc::DevService::demoSeedPath()).ok || !service->start())
            return false;
        account.userId = kUserId;
        account.uid = kUserId;
        account.secretKey = kSecretKey;
        account.channel = OssChannel;
        account.apiHost = service->baseUrl();
        account.accountWebHost = service->baseUrl();
        account.uploadHostName = QStringLiteral("127.0.0.1:%1").arg(service->port());
        oss = service->core().ossCoordinates();
        return true;
    }

    void reset()
    {
        service->clearFaults();
        service->setClockOffsetMs(0);
        service->setRemainSpace(kUserId, kPlentyOfSpace);
        service->clearRequestLog();
    }

    // A task for the file as the queue makes it, with a fresh init URL.
    UploadTask makeTask(const QString &path) const
    {
        const QFileInfo info(path);
        UploadTask task;
        task.uploadType = OssChannel;
        task.fileName = info.fileName();
        task.fileSize = info.size();
        task.title = titleOfFileName(task.fileName);
        task.path = info.absoluteFilePath();
        task.cataid = kCataid;
        task.cataStr = QStringLiteral("默认分类");
        task.vid = makeVid(account.userId, task.fileName, task.cataid, task.fileSize, task.path);
        const BookkeepingUrls urls = makeBookkeepingUrls(account, task.vid, task.title, task.cataid);
        task.checkUrl = urls.checkUrl;
        task.insertUrl = urls.insertUrl;
        task.deleteUrl = urls.cancelUrl;
        task.date = makeOssDate();
        refreshInitUrl(task);
        return task;
    }
    void refreshInitUrl(UploadTask &task) const
    {
        task.initUrl = buildInitUrl(account, task.path, task.cataid, task.vid, QString(), QString());
    }

    // Runs one thread to its end; abortWhen (polled every few ms) may call
    // abort on it.
    ThreadRun runThread(const UploadTask &task, int timeoutMs = 60000,
                        const std::function<void(AliyunUploadThread &)> &whileRunning = {})
    {
        AliyunUploadThread thread(task);
        ThreadWatcher watcher(&thread);
        watcher.start();
        if (whileRunning)
            whileRunning(thread);
        watcher.waitForEnd(timeoutMs);
        thread.wait();
        QCoreApplication::processEvents();
        return watcher.run;
    }

    // Waits until requests cut off by a stop have reached the log (the
    // service logs them once it notices the closed connection).
    void settleRequestLog() const
    {
        QElapsedTimer t;
        t.start();
        int last = -1;
        QElapsedTimer quiet;
        quiet.start();
        while (t.elapsed() < 3000) {
            const int now = service->requestLog().size();
            if (now != last) {
                last = now;
                quiet.restart();
            } else if (quiet.elapsed() >= 200) {
                return;
            }
            QThread::msleep(20);
        }
    }

    // ---- request log views ------------------------------------------------

    QString bucketPaths() const { return QStringLiteral("/%1/.*").arg(oss.bucket); }
    QList<devsvc::RequestLogEntry> storeRequests() const { return service->requests(bucketPaths()); }
    // Part numbers of the part uploads, optionally only those answered 200.
    QList<int> partNumbers(bool acceptedOnly) const
    {
        QList<int> numbers;
        for (const devsvc::RequestLogEntry &e : storeRequests()) {
            if (e.method != QLatin1String("PUT") || (acceptedOnly && e.status != 200))
                continue;
            for (const QString &item : e.query.split(QLatin1Char('&')))
                if (item.startsWith(QLatin1String("partNumber=")))
                    numbers.append(item.mid(11).toInt());
        }
        return numbers;
    }
    int countOf(const QString &method, const QString &path, const QString &queryItem = QString()) const
    {
        int n = 0;
        for (const devsvc::RequestLogEntry &e : service->requests(path))
            n += e.method == method && (queryItem.isEmpty() || e.query.split(QLatin1Char('&')).contains(queryItem)) ? 1 : 0;
        return n;
    }
    int initiateCount() const
    {
        return countOf(QStringLiteral("POST"), bucketPaths(), QStringLiteral("uploads"));
    }
    int requestCount(const QString &path) const { return service->requests(path).size(); }

    // ---- reading a stored object back ---------------------------------------

    struct StoredObject
    {
        long status = 0;
        qint64 size = 0;
        QByteArray md5;
    };
    // A signed GET of the object; the body only passes through an MD5.
    StoredObject fetchObject(const QString &key) const
    {
        struct Sink
        {
            QCryptographicHash md5{QCryptographicHash::Md5};
            qint64 size = 0;
        } sink;
        const QString resource = QStringLiteral("/%1/%2").arg(oss.bucket, key);
        const QByteArray date =
            QLocale::c()
                .toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
                .toLatin1();
        const QByteArray toSign = "GET\n\n\n" + date + "\n" + resource.toUtf8();
        const QByteArray signature =
            QMessageAuthenticationCode::hash(toSign, oss.accessKey.toUtf8(), QCryptographicHash::Sha1).toBase64();
        StoredObject out;
        CURL *curl = curl_easy_init();
        if (!curl)
            return out;
        curl_slist *headers = nullptr;
        headers = curl_slist_append(headers, ("Date: " + date).constData());
        headers = curl_slist_append(headers, ("Authorization: OSS " + oss.accessId.toUtf8() + ":" + signature).constData());
        const QByteArray url = (oss.endpoint + resource).toUtf8();
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                         +[](char *data, size_t size, size_t count, void *user) -> size_t {
                             auto *s = static_cast<Sink *>(user);
                             s->md5.addData(data, int(size * count));
                             s->size += qint64(size * count);
                             return size * count;
                         });
        if (curl_easy_perform(curl) == CURLE_OK)
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        out.size = sink.size;
        out.md5 = sink.md5.result().toHex();
        return out;
    }

    std::unique_ptr<devsvc::DevService> service;
    UploadAccount account;
    devsvc::OssCoordinates oss;
};

} // namespace aliyuntest
