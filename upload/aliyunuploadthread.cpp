#include "upload/aliyunuploadthread.h"

#include "net/api.h"
#include "net/closingflag.h"
#include "net/threadstart.h"
#include "net/transferlimits.h"
#include "net/transfer.h"
#include "oss/OssClient.h"
#include "upload/uploadinit.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <string>

namespace {

constexpr qint64 kMiB = 1048576;

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

// The bundled OSS library takes UTF-8 paths on every system; the vendor's
// SDK takes them in the system's narrow encoding.
std::string ossPath(const QString &path)
{
#ifdef ZAVIX_USE_ALIYUN_SDK
    return QFile::encodeName(path).toStdString();
#else
    return path.toUtf8().toStdString();
#endif
}

} // namespace

OssPartPlan ossPartPlan(qint64 fileSize)
{
    OssPartPlan plan;
    if (fileSize <= kMiB) {
        plan.partSize = fileSize > 0 ? static_cast<std::uint64_t>(fileSize) : 0;
        plan.threadNum = 1;
        return plan;
    }
    const qint64 mebibytes = fileSize / kMiB;
    if (mebibytes <= 100) {
        plan.partSize = kMiB;
        plan.threadNum = 2;
    } else if (mebibytes <= 1024) {
        plan.partSize = static_cast<std::uint64_t>(mebibytes / 100) * kMiB;
        plan.threadNum = 3;
    } else {
        plan.partSize = static_cast<std::uint64_t>(mebibytes / 1024) * 10 * kMiB;
        plan.threadNum = 3;
    }
    return plan;
}

QString ossFileSuffix(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

QString ossObjectKey(const UploadTask &task)
{
    return QStringLiteral("uploadvideo/%1/%2.%3")
        .arg(task.date, task.vid, ossFileSuffix(task.fileName));
}

QByteArray ossCallbackHeaderValue(const QString &callback)
{
    return callback.toUtf8().toBase64();
}

QString ossAccessProblem(const QString &endpoint, const QString &bucketName, const QString &accessId,
                         const QString &token)
{
    const QString address = endpoint.contains(QLatin1String("://"))
        ? endpoint
        : QStringLiteral("http://") + endpoint;
    if (!isHttpUrl(address))
        return QStringLiteral("endpoint is not an http(s) address");
    if (bucketName.isEmpty() || bucketName.size() > 63)
        return QStringLiteral("bucket name unusable");
    for (const QChar c : bucketName) {
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
              || c == QLatin1Char('-')))
            return QStringLiteral("bucket name unusable");
    }
    if (!isSafeHeaderValue(accessId.toUtf8()) || !isSafeHeaderValue(token.toUtf8()))
        return QStringLiteral("key id or token unusable in a header");
    return QString();
}

AliyunUploadThread::AliyunUploadThread(const UploadTask &task, QObject *parent)
    : OssChannelThread(parent), m_task(task)
{
}

AliyunUploadThread::~AliyunUploadThread()
{
    // The owner deletes the thread only once it has ended; waiting here only
    // guards the client below against a careless owner.
    wait();
    delete m_client.exchange(nullptr);
}

void AliyunUploadThread::abort(bool requeue)
{
    qDebug() << "thread abort:" << requeue;
    m_requeue.store(requeue);
    m_state.store(Aborted);
    m_stop.store(true);
    // run() publishes the client before it looks at the state, and this
    // function sets the state before it looks at the client: whichever comes
    // second sees the other, so a transfer never starts unnoticed.
    if (AlibabaCloud::OSS::OssClient *client = m_client.load())
        client->DisableRequest();
}

void AliyunUploadThread::progressHandler(std::size_t increment, std::int64_t transferred,
                                         std::int64_t total, void *userData)
{
    if (userData)
        static_cast<AliyunUploadThread *>(userData)->emitProgress(increment, transferred, total);
}

void AliyunUploadThread::emitProgress(std::size_t increment, std::int64_t transferred,
                                      std::int64_t total)
{
    // A closing window ends the transfer at its next tick even when no row
    // got to stop it.
    if (isClosing()) {
        if (AlibabaCloud::OSS::OssClient *client = m_client.load())
            client->DisableRequest();
    }
    // The increment only feeds the speed figure; a step beyond the int range
    // (a huge part reported at once) is capped rather than wrapped.
    const int step = increment > static_cast<std::size_t>(INT_MAX) ? INT_MAX : int(increment);
    emit Progress(step, qlonglong(transferred), qlonglong(total));
}

void AliyunUploadThread::run()
{
    prepareThread();
    qDebug() << m_task.fileName << "  Aliyun_UploadThread run";
    const StoreAccess access = registerAndInit();
    if (!access.proceed)
        return;
    transfer(access);
}

AliyunUploadThread::StoreAccess AliyunUploadThread::registerAndInit()
{
    StoreAccess access;
    if (isAborted()) {
        emit Result(false, abortCode());
        return access;
    }

    InitAnswer answer;
    QString answerText;
    {
        CurlEasy easy;
        if (!easy) {
            qCritical() << m_task.vid << "  getting accessKeyId failure"
                        << "no libcurl handle";
            emit Result(false, 0);
            return access;
        }

        const PostResult check =
            postOnHandle(easy.get(), m_task.checkUrl.toUtf8(), QByteArray(), &m_stop);
        qCritical() << "response1:" << loggableAnswer(check.body);
        if (check.ok && check.body == "1") {
            qDebug() << m_task.vid << "  This file has been uploaded";
            emit Result(true, 4);
            return access;
        }
        if (isAborted()) {
            emit Result(false, abortCode());
            return access;
        }

        const PostResult insert =
            postOnHandle(easy.get(), m_task.insertUrl.toUtf8(), QByteArray(), &m_stop);
        qCritical() << "response2:" << loggableAnswer(insert.body);
        m_task.everUploaded = true;
        if (isAborted()) {
            emit Result(false, abortCode());
            return access;
        }

        const PostResult init =
            postOnHandle(easy.get(), m_task.initUrl.toUtf8(), QByteArray(), &m_stop);
        answerText = QString::fromUtf8(init.body);
        // The answer carries the store keys: the log shows its envelope only.
        qCritical() << "response3:" << loggableAnswer(init.body);

        // The space rule weighs the file as it is now (the init request
        // carried this size too); the record's size is the fallback.
        const QFileInfo file(m_task.path);
        const qint64 size = file.isFile() ? file.size() : m_task.fileSize;
        answer = evaluateInitAnswer(init.ok, answerText, size);
    }

    if (isAborted()) {
        emit Result(false, abortCode());
        return access;
    }
    if (!answer.ok) {
        const int code = answer.accepted ? 1 : answer.code;
        qCritical() << m_task.vid << "  getting accessKeyId failure" << loggableAnswer(answerText);
        emit Result(false, code);
        return access;
    }
    if (answer.code == 5)
        emit Result(false, 5);

    access.callback = answer.text("callback");
    access.bucketName = answer.text("bucketName");
    access.endpoint = answer.text("endpoint");
    access.accessId = answer.text("accessId");
    access.accessKey = answer.text("accessKey");
    access.token = answer.text("token");

    const QString problem =
        ossAccessProblem(access.endpoint, access.bucketName, access.accessId, access.token);
    if (!problem.isEmpty()) {
        // Failed like a transfer that did not succeed; nothing is requested.
        qCritical() << m_task.vid << "  store coordinates refused:" << problem;
        emit Result(false, 0);
        return access;
    }

    if (isAborted()) {
        emit Result(false, abortCode());
        return access;
    }
    // A file that has gone or cannot be read would fail every retry of the
    // queue; report it as such so that the row leaves the queue.
    QFile file(m_task.path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical() << m_task.vid << "  cannot open" << m_task.path << file.errorString();
        emit Result(false, 2);
        return access;
    }
    access.proceed = true;
    return access;
}

void AliyunUploadThread::transfer(const StoreAccess &access)
{
    using namespace AlibabaCloud::OSS;

    ClientConfiguration configuration;
    configuration.isCname = false;
    // The program's low-speed limit for the store's requests too.
    configuration.requestTimeoutMs = transferLimits().lowSpeedSeconds * 1000;
#ifndef ZAVIX_USE_ALIYUN_SDK
    configuration.threadStart = threadStartHook();
#endif
    auto *client = new OssClient(utf8(access.endpoint), utf8(access.accessId),
                                 utf8(access.accessKey), configuration);
    m_client.store(client);
    if (isAborted()) {
        // abort() came before the client existed (or saw it just now).
        emit Result(false, abortCode());
        qCritical() << "the thread exit";
        return;
    }

    const QString suffix = ossFileSuffix(m_task.fileName);
    const QFileInfo info(m_task.path);
    const std::string filePath = ossPath(m_task.path);
    const std::string checkpointDir = ossPath(info.absolutePath());
    const OssPartPlan plan = ossPartPlan(info.size());

    UploadObjectRequest request(utf8(access.bucketName), utf8(m_task.vid + QLatin1Char('.') + suffix),
                                filePath, checkpointDir);
    request.setCallback(ossCallbackHeaderValue(access.callback).toStdString(), std::string());
    request.setKey(utf8(ossObjectKey(m_task)));
    request.setPartSize(plan.partSize);
    request.setThreadNum(plan.threadNum);
    TransferProgress progress;
    progress.Handler = &AliyunUploadThread::progressHandler;
    progress.UserData = this;
    request.setTransferProgress(progress);

    qCritical() << m_task.path << "  thread_num:" << plan.threadNum
                << "  part_size:" << qulonglong(plan.partSize);

    const PutObjectOutcome outcome = client->ResumableUploadObject(request);
    if (outcome.isSuccess()) {
        emit Result(true, 0);
    } else {
        qDebug() << "ResumableUploadObject fail"
                 << ",code:" << QString::fromStdString(outcome.error().Code())
                 << ",message:" << QString::fromStdString(outcome.error().Message())
                 << ",requestId:" << QString::fromStdString(outcome.error().RequestId());
        emit Result(false, isAborted() ? abortCode() : 0);
    }
    qCritical() << "the thread exit";
}
