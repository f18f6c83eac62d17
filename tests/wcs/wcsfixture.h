#pragma once

// A WCS account of the in-process service, tasks for files made on the fly,
// and the channel factory of the real WCS channel for rows under test.

#include "devservice/devservice.h"
#include "upload/uploadchannel.h"
#include "upload/uploadinit.h"
#include "upload/uploadtask.h"
#include "upload/uploadwidget.h"
#include "upload/wcsblocktransfer.h"
#include "upload/wstokenthread.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The real WCS channel; no OSS.
class WcsOnlyFactory final : public UploadChannelFactory
{
public:
    OssChannelThread *createOssThread(const UploadTask &) override { return nullptr; }
    TokenChannelThread *createTokenThread(UploadTask *task) override { return new WsTokenThread(task); }
    QList<BlockChannelThread *> createBlockThreads(UploadTask *task) override
    {
        return createWcsBlockThreads(task);
    }
};

struct WcsFixture
{
    devsvc::DevService service;
    QTemporaryDir dir;
    UploadAccount account;

    bool start()
    {
        if (!service.seedFromFile(devsvc::DevService::demoSeedPath()).ok || !service.start(0) || !dir.isValid())
            return false;
        qputenv("ZAVIX_SERVICE_URL", service.baseUrl().toUtf8());
        account.userId = QStringLiteral("10002");
        account.uid = account.userId;
        account.secretKey = QStringLiteral("sk-wcs-8b47e0c3");
        account.channel = WcsChannel;
        account.apiHost = service.baseUrl();
        account.accountWebHost = service.baseUrl();
        account.uploadHostName = QStringLiteral("127.0.0.1:%1").arg(service.port());
        setUploadChannelFactory(std::make_unique<WcsOnlyFactory>());
        return true;
    }
    ~WcsFixture() { setUploadChannelFactory(nullptr); }

    // A file of random bytes; returns its path.
    QString makeFile(const QString &name, qint64 size)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        QByteArray chunk(1 << 20, '\0');
        QRandomGenerator gen(quint32(size) ^ 0x5eedu);
        for (qint64 done = 0; done < size;) {
            const int n = int(std::min<qint64>(chunk.size(), size - done));
            for (int i = 0; i < n; i += 4) {
                const quint32 v = gen.generate();
                memcpy(chunk.data() + i, &v, size_t(std::min(4, n - i)));
            }
            f.write(chunk.constData(), n);
            done += n;
        }
        return path;
    }

    static QByteArray md5Of(const QString &path)
    {
        QFile f(path);
        QCryptographicHash h(QCryptographicHash::Md5);
        if (f.open(QIODevice::ReadOnly))
            h.addData(&f);
        return h.result().toHex();
    }

    // A new WCS task for the file, as the queue makes it.
    UploadTask *makeTask(const QString &path)
    {
        auto *t = new UploadTask;
        const QFileInfo info(path);
        t->uploadType = WcsChannel;
        t->fileName = info.fileName();
        t->fileSize = info.size();
        t->title = titleOfFileName(t->fileName);
        t->path = path;
        t->cataid = QStringLiteral("1");
        t->cataStr = QStringLiteral("默认分类");
        t->vid = makeVid(account.userId, t->fileName, t->cataid, t->fileSize, path);
        t->uuid = makeUuid(t->fileName);
        const BookkeepingUrls urls = makeBookkeepingUrls(account, t->vid, t->title, t->cataid);
        t->checkUrl = urls.checkUrl;
        t->insertUrl = urls.insertUrl;
        t->deleteUrl = urls.cancelUrl;
        return t;
    }

    // What the queue does before each start.
    void prepareInit(UploadTask *t) const
    {
        const InitRequest init = buildCurrentInitRequest(account, t->path, t->cataid, t->vid, t->fileid, t->dateStr);
        t->initUrl = init.url;
        t->initSize = init.fileSize;
    }

    void startRow(UploadWidget &row) const
    {
        prepareInit(row.task());
        row.prepareUpload();
        row.startUpload();
    }

    int count(const QString &pattern) const { return service.requests(pattern).size(); }
};

// The token thread's result once its writes have reached the record.
struct TokenOutcome
{
    bool ok = false;
    int code = -1;
};

inline TokenOutcome runTokenThread(UploadTask *task)
{
    TokenOutcome out;
    WsTokenThread thread(task);
    QObject receiver;
    bool done = false;
    QObject::connect(&thread, &WsTokenThread::Result, &receiver, [&](bool ok, int code) {
        out.ok = ok;
        out.code = code;
        done = true;
    });
    thread.start();
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    thread.wait();
    return out;
}
