// Throughput of the OSS channel on loopback against curl's single stream.
//
//     bench_aliyunchannel [size in MiB, default 1024] [rounds, default 2]
//
// Starts the devservice program (digest-only storage) as its own process,
// uploads one file through AliyunUploadThread (check, insert, init, the
// multipart upload with its callback) and then the same file with
// `curl -T` into the service's plain sink. Prints both throughputs, their
// ratio, the CPU seconds per GiB of the client (this process) and of curl,
// the service's CPU seconds per GiB for each (the store digests every part
// with MD5 for its ETag, the sink only with SHA-1), and, as a comparison on
// equal terms for the service, curl sending the whole file as one part of a
// multipart upload into the same store,
// and the resident size of this process above idle during the upload. The
// two senders take turns for the given number of rounds and the best round
// of each counts (the machine is shared, single runs are noisy).

#include "upload/aliyunuploadthread.h"
#include "upload/uploadinit.h"
#include "upload/uploadtask.h"
#include "oss/OssClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#ifndef DEVSERVICE_PROGRAM
#define DEVSERVICE_PROGRAM "devservice"
#endif

namespace {

constexpr qint64 kMiB = 1048576;

double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6 + double(u.ru_stime.tv_sec) +
           double(u.ru_stime.tv_usec) / 1e6;
}

double selfCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpuSeconds(u);
}

double childrenCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return cpuSeconds(u);
}

// Resident size of this process in KiB (VmRSS).
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = status.readAll();
    for (const QByteArray &line : all.split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// CPU seconds used so far by another process (0 when unknown).
double processCpu(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name in parentheses; utime and stime are
    // the 14th and 15th fields of the line.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().trimmed());
}

bool writeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // A few distinct random blocks, repeated: cheap to make, not compressible
    // within a part.
    QList<QByteArray> blocks;
    QRandomGenerator random(2026);
    for (int i = 0; i < 7; ++i) {
        QByteArray block(int(kMiB), Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        blocks.append(block);
    }
    for (qint64 left = size, i = 0; left > 0; ++i) {
        const QByteArray &block = blocks.at(int(i % blocks.size()));
        const qint64 n = qMin<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return file.flush();
}

struct Figures
{
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    qint64 peakKiB = 0;
    double serviceCpu = 0; // CPU seconds of the service process meanwhile
    QString note;
};

Figures runChannel(const UploadTask &task, qint64 idleKiB)
{
    Figures f;
    AliyunUploadThread thread(task);
    QList<QPair<bool, int>> results;
    QObject::connect(&thread, &OssChannelThread::Result, &thread,
                     [&results](bool status, int code) { results.append(qMakePair(status, code)); },
                     Qt::QueuedConnection);
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, [&f]() { f.peakKiB = qMax(f.peakKiB, residentKiB()); });

    const double cpu0 = selfCpu();
    QElapsedTimer clock;
    clock.start();
    sampler.start();
    thread.start();
    loop.exec();
    thread.wait();
    f.seconds = clock.elapsed() / 1000.0;
    f.cpu = selfCpu() - cpu0;
    sampler.stop();
    QCoreApplication::processEvents();
    f.peakKiB = qMax<qint64>(0, qMax(f.peakKiB, residentKiB()) - idleKiB);
    f.ok = !results.isEmpty() && results.last() == qMakePair(true, 0);
    for (const auto &r : results)
        f.note += QStringLiteral("(%1,%2)").arg(r.first ? QStringLiteral("true") : QStringLiteral("false")).arg(r.second);
    return f;
}

// Store access for the single-part comparison, taken from an OSS init.
struct StoreKeys
{
    QString bucket;
    QString endpoint;
    QString accessId;
    QString accessKey;
};

QString httpDate()
{
    return QLocale::c().toString(QDateTime::currentDateTimeUtc(),
                                 QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
}

// The Date and Authorization headers of a signed store request.
QStringList signedHeaders(const StoreKeys &keys, const QString &verb, const QString &resource)
{
    const QString date = httpDate();
    const QByteArray toSign = (verb + QStringLiteral("\n\n\n") + date + QLatin1Char('\n') + resource).toUtf8();
    const QByteArray signature =
        QMessageAuthenticationCode::hash(toSign, keys.accessKey.toUtf8(), QCryptographicHash::Sha1).toBase64();
    return {QStringLiteral("-H"), QStringLiteral("Date: ") + date, QStringLiteral("-H"),
            QStringLiteral("Authorization: OSS %1:%2").arg(keys.accessId, QString::fromLatin1(signature)),
            QStringLiteral("-H"), QStringLiteral("Content-Type:")};
}

// Runs curl with the arguments; its standard output.
QByteArray curlOutput(const QStringList &arguments)
{
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-s"), QStringLiteral("-S")} + arguments);
    if (!curl.waitForFinished(60000))
        return QByteArray();
    return curl.readAllStandardOutput();
}

// curl -T with the given extra arguments into url.
Figures runCurl(const QString &path, const QString &url, const QStringList &extra = QStringList())
{
    Figures f;
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpu0 = childrenCpu();
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"),
               QStringList{QStringLiteral("-s"), QStringLiteral("-S"), QStringLiteral("-f"), QStringLiteral("-o"),
                           QStringLiteral("/dev/null")} +
                   extra + QStringList{QStringLiteral("-T"), path, url});
    if (!curl.waitForStarted(10000)) {
        f.note = QStringLiteral("curl did not start");
        return f;
    }
    curl.waitForFinished(-1);
    f.seconds = clock.elapsed() / 1000.0;
    f.cpu = childrenCpu() - cpu0;
    f.ok = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    f.note = QStringLiteral("exit %1").arg(curl.exitCode());
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 sizeMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    if (sizeMiB <= 0) {
        std::fprintf(stderr, "usage: bench_aliyunchannel [size in MiB]\n");
        return 2;
    }
    const int rounds = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 2;
    const qint64 size = sizeMiB * kMiB;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("bench.mp4"));
    std::printf("making a %lld MiB file...\n", static_cast<long long>(sizeMiB));
    std::fflush(stdout);
    if (!writeFile(path, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    // The service in a process of its own, so that the CPU figures of this
    // process are the client's alone.
    QProcess service;
    service.setProcessChannelMode(QProcess::SeparateChannels);
    service.start(QStringLiteral(DEVSERVICE_PROGRAM),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"),
                   dir.filePath(QStringLiteral("service")), QStringLiteral("--digest-only")});
    QString baseUrl;
    QElapsedTimer wait;
    wait.start();
    while (baseUrl.isEmpty() && wait.elapsed() < 20000 && service.state() != QProcess::NotRunning) {
        service.waitForReadyRead(200);
        while (service.canReadLine()) {
            const QString line = QString::fromUtf8(service.readLine()).trimmed();
            if (line.startsWith(QLatin1String("ZAVIX_SERVICE_URL=")))
                baseUrl = line.mid(18);
        }
    }
    if (baseUrl.isEmpty()) {
        std::fprintf(stderr, "devservice did not start (%s)\n", DEVSERVICE_PROGRAM);
        return 1;
    }
    QObject::connect(&service, &QProcess::readyReadStandardOutput, [&service]() { service.readAllStandardOutput(); });

    AlibabaCloud::OSS::InitializeSdk();
    UploadAccount account;
    account.userId = QStringLiteral("10001"); // the demo seed's OSS account
    account.uid = account.userId;
    account.secretKey = QStringLiteral("sk-oss-5f2c9d1a");
    account.channel = OssChannel;
    account.apiHost = baseUrl;
    account.accountWebHost = baseUrl;
    account.uploadHostName = QUrl(baseUrl).authority();

    UploadTask task;
    task.uploadType = OssChannel;
    task.fileName = QFileInfo(path).fileName();
    task.fileSize = size;
    task.title = titleOfFileName(task.fileName);
    task.path = path;
    task.cataid = QStringLiteral("1");
    task.vid = makeVid(account.userId, task.fileName, task.cataid, size, path);
    const BookkeepingUrls urls = makeBookkeepingUrls(account, task.vid, task.title, task.cataid);
    task.checkUrl = urls.checkUrl;
    task.insertUrl = urls.insertUrl;
    task.deleteUrl = urls.cancelUrl;
    task.date = makeOssDate();
    task.initUrl = buildInitUrl(account, path, task.cataid, task.vid, QString(), QString());

    // Warm the page cache for both runs alike.
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QByteArray buffer(int(4 * kMiB), Qt::Uninitialized);
        while (file.read(buffer.data(), buffer.size()) > 0) {
        }
    }

    // Silence the channel's log lines for the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const qint64 idleKiB = residentKiB();
    const OssPartPlan plan = ossPartPlan(size);
    std::printf("load before: %s\n", qPrintable(loadAverage()));
    Figures channel;
    Figures curl;
    for (int round = 0; round < rounds; ++round) {
        // Every round is a new upload of the file (the video id is known to
        // the service after the first one, so each round gets its own).
        UploadTask roundTask = task;
        roundTask.vid = makeVidFromHash(account.userId, QStringLiteral("round%1.mp4").arg(round),
                                        task.cataid, size, contentHashForVid(path, size));
        const BookkeepingUrls roundUrls =
            makeBookkeepingUrls(account, roundTask.vid, roundTask.title, roundTask.cataid);
        roundTask.checkUrl = roundUrls.checkUrl;
        roundTask.insertUrl = roundUrls.insertUrl;
        roundTask.initUrl =
            buildInitUrl(account, path, roundTask.cataid, roundTask.vid, QString(), QString());
        const double s0 = processCpu(service.processId());
        Figures c = runChannel(roundTask, idleKiB);
        const double s1 = processCpu(service.processId());
        Figures k = runCurl(path, baseUrl + QStringLiteral("/sink"));
        c.serviceCpu = s1 - s0;
        k.serviceCpu = processCpu(service.processId()) - s1;
        std::printf("round %d: channel %.2f s (%s), curl %.2f s\n", round + 1, c.seconds,
                    qPrintable(c.note), k.seconds);
        std::fflush(stdout);
        if (!c.ok || !k.ok) {
            channel = c;
            curl = k;
            break;
        }
        if (round == 0 || c.seconds < channel.seconds)
            channel = c;
        if (round == 0 || k.seconds < curl.seconds)
            curl = k;
        channel.peakKiB = qMax(channel.peakKiB, c.peakKiB);
    }
    // curl into the store itself: the whole file as part 1 of a new upload.
    Figures onePart;
    {
        // A fresh init answer (the rounds' ones are spent): a new vid again.
        UploadTask keyTask = task;
        keyTask.vid = makeVidFromHash(account.userId, QStringLiteral("single.mp4"), task.cataid, size,
                                      contentHashForVid(path, size));
        const QString initUrl = buildInitUrl(account, path, keyTask.cataid, keyTask.vid, QString(), QString());
        const InitAnswer answer =
            evaluateInitAnswer(true, QString::fromUtf8(curlOutput({QStringLiteral("-X"), QStringLiteral("POST"), initUrl})), size);
        StoreKeys keys;
        keys.bucket = answer.text("bucketName");
        keys.endpoint = answer.text("endpoint");
        keys.accessId = answer.text("accessId");
        keys.accessKey = answer.text("accessKey");
        const QString key = ossObjectKey(keyTask);
        const QString resource = QStringLiteral("/%1/%2").arg(keys.bucket, key);
        const QByteArray initiated = curlOutput(QStringList{QStringLiteral("-X"), QStringLiteral("POST")} +
                                                signedHeaders(keys, QStringLiteral("POST"), resource + QStringLiteral("?uploads")) +
                                                QStringList{keys.endpoint + resource + QStringLiteral("?uploads")});
        const QRegularExpressionMatch id =
            QRegularExpression(QStringLiteral("<UploadId>([^<]+)</UploadId>")).match(QString::fromUtf8(initiated));
        if (id.hasMatch()) {
            const QString sub = QStringLiteral("?partNumber=1&uploadId=%1").arg(id.captured(1));
            const double s0 = processCpu(service.processId());
            onePart = runCurl(path, keys.endpoint + resource + sub,
                              signedHeaders(keys, QStringLiteral("PUT"), resource + sub));
            onePart.serviceCpu = processCpu(service.processId()) - s0;
            curlOutput(QStringList{QStringLiteral("-X"), QStringLiteral("DELETE")} +
                       signedHeaders(keys, QStringLiteral("DELETE"), resource + QStringLiteral("?uploadId=") + id.captured(1)) +
                       QStringList{keys.endpoint + resource + QStringLiteral("?uploadId=") + id.captured(1)});
        } else {
            onePart.note = QStringLiteral("no upload id");
        }
    }
    std::printf("load after:  %s\n", qPrintable(loadAverage()));

    const double gib = double(size) / double(1024 * kMiB);
    const double mib = double(size) / double(kMiB);
    std::printf("file: %lld MiB, part size %llu MiB, %u threads\n", static_cast<long long>(sizeMiB),
                static_cast<unsigned long long>(plan.partSize / kMiB), plan.threadNum);
    std::printf("channel: %s %s  %.2f s  %.1f MiB/s  CPU %.2f s/GiB (service %.2f s/GiB)  resident +%.1f MiB\n",
                channel.ok ? "ok" : "FAILED", qPrintable(channel.note), channel.seconds,
                channel.seconds > 0 ? mib / channel.seconds : 0.0, channel.cpu / gib, channel.serviceCpu / gib,
                channel.peakKiB / 1024.0);
    std::printf("curl -T: %s %s  %.2f s  %.1f MiB/s  CPU %.2f s/GiB (service %.2f s/GiB)\n",
                curl.ok ? "ok" : "FAILED", qPrintable(curl.note), curl.seconds,
                curl.seconds > 0 ? mib / curl.seconds : 0.0, curl.cpu / gib, curl.serviceCpu / gib);
    std::printf("curl -T one part into the store: %s %s  %.2f s  %.1f MiB/s  CPU %.2f s/GiB (service %.2f s/GiB)\n",
                onePart.ok ? "ok" : "FAILED", qPrintable(onePart.note), onePart.seconds,
                onePart.seconds > 0 ? mib / onePart.seconds : 0.0, onePart.cpu / gib, onePart.serviceCpu / gib);
    if (channel.ok && onePart.ok && onePart.seconds > 0)
        std::printf("throughput ratio channel/curl one part (same store work): %.2f\n",
                    onePart.seconds / channel.seconds);
    if (channel.ok && curl.ok && channel.seconds > 0 && curl.seconds > 0) {
        const double ratio = curl.seconds / channel.seconds;
        const double cpuRatio = curl.cpu > 0 ? channel.cpu / curl.cpu : 0.0;
        std::printf("throughput ratio channel/curl: %.2f (target >= 0.90)\n", ratio);
        std::printf("CPU ratio channel/curl: %.2f (target <= 1.50)\n", cpuRatio);
        std::printf("resident above idle: %.1f MiB (target < 100)\n", channel.peakKiB / 1024.0);
    }

    AlibabaCloud::OSS::ShutdownSdk();
    service.terminate();
    if (!service.waitForFinished(5000))
        service.kill();
    return channel.ok && curl.ok ? 0 : 1;
}
