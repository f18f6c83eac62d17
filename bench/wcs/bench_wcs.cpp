// A 1 GiB file through the WCS channel (token request, then the block threads)
// to the service on loopback, next to `curl -T` of the same file into the
// service's plain sink. Prints both throughputs and their ratio, the CPU
// seconds per GiB of the client and of curl, and the client's resident size
// above idle. The service runs as a process of its own.
//
//     bench_wcs [size in MiB, default 1024]

#include "upload/uploadinit.h"
#include "upload/uploadtask.h"
#include "upload/wcsblocktransfer.h"
#include "upload/wstokenthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6 + double(u.ru_stime.tv_sec)
           + double(u.ru_stime.tv_usec) / 1e6;
}

double selfCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpuSeconds(u);
}

double selfSystemCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6;
}

double systemCpu(const rusage &u)
{
    return double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6;
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

bool makeFile(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, '\0');
    quint32 x = 0x12345678u;
    for (int i = 0; i < chunk.size(); i += 4) {
        x = x * 1664525u + 1013904223u;
        memcpy(chunk.data() + i, &x, 4);
    }
    for (qint64 done = 0; done < size;) {
        const qint64 n = std::min<qint64>(chunk.size(), size - done);
        chunk[0] = char(done >> 20); // no two MiB alike
        if (f.write(chunk.constData(), n) != n)
            return false;
        done += n;
    }
    return true;
}

void warmCache(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    QByteArray buffer(1 << 22, '\0');
    while (f.read(buffer.data(), buffer.size()) > 0) {
    }
}

struct CurlRun
{
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    double systemCpu = 0;
};

CurlRun runCurl(const QString &path, const QString &url)
{
    CurlRun run;
    const QByteArray file = path.toLocal8Bit();
    const QByteArray target = url.toLocal8Bit();
    const char *argv[] = {"curl", "-s", "-S", "-o", "/dev/null", "-T", file.constData(), target.constData(), nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
        return run;
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid)
        return run;
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds(u);
    run.systemCpu = systemCpu(u);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct ClientRun
{
    bool ok = false;
    int code = -1;
    double seconds = 0;
    double cpu = 0;
    double systemCpu = 0;
    qint64 idleRss = 0;
    qint64 peakRss = 0;
};

ClientRun runClient(const QString &path, const QString &baseUrl, int round)
{
    ClientRun run;
    UploadAccount account;
    account.userId = QStringLiteral("10002"); // the seed's WCS account
    account.uid = account.userId;
    account.secretKey = QStringLiteral("sk-wcs-8b47e0c3");
    account.channel = WcsChannel;
    account.apiHost = baseUrl;
    account.accountWebHost = baseUrl;
    account.uploadHostName = QUrl(baseUrl).authority();

    UploadTask task;
    const QFileInfo info(path);
    task.uploadType = WcsChannel;
    // Each round is a video of its own (the service would know the file from the round before).
    task.fileName = QStringLiteral("round%1-").arg(round) + info.fileName();
    task.fileSize = info.size();
    task.title = titleOfFileName(task.fileName);
    task.path = path;
    task.cataid = QStringLiteral("1");
    task.vid = makeVid(account.userId, task.fileName, task.cataid, task.fileSize, path);
    task.uuid = makeUuid(task.fileName);
    const BookkeepingUrls urls = makeBookkeepingUrls(account, task.vid, task.title, task.cataid);
    task.checkUrl = urls.checkUrl;
    task.insertUrl = urls.insertUrl;
    task.initUrl = buildInitUrl(account, path, task.cataid, task.vid, QString(), QString());

    {
        WsTokenThread token(&task);
        QEventLoop loop;
        bool ok = false;
        QObject::connect(&token, &WsTokenThread::Result, &loop, [&](bool status, int) {
            ok = status;
            loop.quit();
        });
        token.start();
        loop.exec();
        token.wait();
        QCoreApplication::sendPostedEvents();
        if (!ok)
            return run;
    }

    run.idleRss = residentBytes();
    run.peakRss = run.idleRss;
    QEventLoop loop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { run.peakRss = std::max(run.peakRss, residentBytes()); });
    sampler.start(50);

    const double cpuBefore = selfCpu();
    const double systemBefore = selfSystemCpu();
    QElapsedTimer clock;
    clock.start();
    const QList<BlockChannelThread *> threads = createWcsBlockThreads(&task);
    for (BlockChannelThread *t : threads) {
        QObject::connect(t, &BlockChannelThread::Result, &loop, [&](bool status, int code) {
            run.ok = status;
            run.code = code;
            loop.quit();
        });
        t->start();
    }
    loop.exec();
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    for (BlockChannelThread *t : threads)
        t->wait();
    run.cpu = selfCpu() - cpuBefore;
    run.systemCpu = selfSystemCpu() - systemBefore;
    run.peakRss = std::max(run.peakRss, residentBytes());
    qDeleteAll(threads);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 size = mib * 1024 * 1024;
    const double gib = double(size) / (1024.0 * 1024.0 * 1024.0);

    QTemporaryDir dir;
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(DEVSERVICE_PROGRAM),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"), dir.filePath(QStringLiteral("service")),
                   QStringLiteral("--seed"), QStringLiteral(DEVSERVICE_SEED), QStringLiteral("--digest-only")});
    QString baseUrl;
    while (baseUrl.isEmpty() && service.waitForReadyRead(10000)) {
        while (service.canReadLine()) {
            const QByteArray line = service.readLine().trimmed();
            if (line.startsWith("ZAVIX_SERVICE_URL="))
                baseUrl = QString::fromUtf8(line.mid(18));
        }
    }
    if (baseUrl.isEmpty()) {
        std::fprintf(stderr, "the service did not start\n");
        return 1;
    }
    qputenv("ZAVIX_SERVICE_URL", baseUrl.toUtf8());
    // The service's own log lines are not wanted on the terminal.
    QObject::connect(&service, &QProcess::readyReadStandardOutput, [&] { service.readAllStandardOutput(); });
    qSetMessagePattern(QStringLiteral("%{if-critical}%{message}%{endif}%{if-warning}%{message}%{endif}"));

    const QString path = dir.filePath(QStringLiteral("bench.mp4"));
    if (!makeFile(path, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    warmCache(path);

    // Rounds alternate between the two, so that load from elsewhere on the
    // machine hits both alike; the median round of each is reported.
    const int rounds = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 3;
    QList<CurlRun> curls;
    QList<ClientRun> clients;
    for (int i = 0; i < rounds; ++i) {
        curls.append(runCurl(path, baseUrl + QStringLiteral("/sink")));
        warmCache(path);
        clients.append(runClient(path, baseUrl, i));
        warmCache(path);
        if (!curls.last().ok || !clients.last().ok)
            break;
    }

    service.terminate();
    service.waitForFinished(5000);

    if (!curls.last().ok)
        std::fprintf(stderr, "curl -T failed\n");
    if (!clients.last().ok)
        std::fprintf(stderr, "the WCS upload failed with code %d\n", clients.last().code);
    if (!curls.last().ok || !clients.last().ok)
        return 1;

    std::sort(curls.begin(), curls.end(), [](const CurlRun &a, const CurlRun &b) { return a.seconds < b.seconds; });
    std::sort(clients.begin(), clients.end(), [](const ClientRun &a, const ClientRun &b) { return a.seconds < b.seconds; });
    const CurlRun curl = curls.at(curls.size() / 2);
    const ClientRun client = clients.at(clients.size() / 2);
    std::sort(curls.begin(), curls.end(), [](const CurlRun &a, const CurlRun &b) { return a.cpu < b.cpu; });
    std::sort(clients.begin(), clients.end(), [](const ClientRun &a, const ClientRun &b) { return a.cpu < b.cpu; });
    const CurlRun curlCpuRun = curls.at(curls.size() / 2);
    const ClientRun clientCpuRun = clients.at(clients.size() / 2);
    qint64 peakAboveIdle = 0;
    for (const ClientRun &c : clients)
        peakAboveIdle = std::max(peakAboveIdle, c.peakRss - c.idleRss);

    const double mibs = double(size) / (1024.0 * 1024.0);
    const double clientRate = mibs / client.seconds;
    const double curlRate = mibs / curl.seconds;
    const double clientCpu = clientCpuRun.cpu / gib;
    const double curlCpu = curlCpuRun.cpu / gib;
    std::printf("file: %.0f MiB, %d block threads, loopback, median of %d rounds\n", mibs, kWcsBlockThreads,
                int(clients.size()));
    std::printf("WCS channel:  %8.1f MiB/s  (%.2f s)\n", clientRate, client.seconds);
    std::printf("curl -T sink: %8.1f MiB/s  (%.2f s)\n", curlRate, curl.seconds);
    std::printf("throughput ratio client/curl: %.2f (target >= 0.9)\n", clientRate / curlRate);
    std::printf("CPU per GiB: client %.2f s (system %.2f), curl %.2f s (system %.2f), ratio %.2f (target <= 1.5)\n",
                clientCpu, clientCpuRun.systemCpu / gib, curlCpu, curlCpuRun.systemCpu / gib,
                curlCpu > 0 ? clientCpu / curlCpu : 0.0);
    std::printf("client resident size: idle %.1f MB, largest peak above idle %.1f MB (target < 100)\n",
                double(client.idleRss) / 1e6, double(peakAboveIdle) / 1e6);
    return 0;
}
