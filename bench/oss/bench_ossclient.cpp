// Throughput and cost of the OSS client library on loopback.
//
// Uploads one file (default 1 GiB) through OssClient::ResumableUploadObject
// into an OSS store kept in digest-only mode, then sends the same file with
// `curl -T` into a plain sink of the same server, and prints both speeds,
// their ratio, the CPU seconds per GiB of each sender and the client's
// resident memory above idle. The store runs in a child process (this
// program with --serve), so the client's figures are its own.
//
//   bench_ossclient [size in MiB] [part size in MiB] [threads] [digest|nodigest]

#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <httplib.h>

#include "devservice/oss/ossstore.h"
#include "oss/OssClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace {

constexpr double MiB = 1024.0 * 1024.0;
constexpr double GiB = 1024.0 * MiB;

int serve(const QString &dataDir)
{
    devsvc::OssStore store(dataDir, true);
    httplib::Server server;
    server.set_keep_alive_max_count(100000);
    devsvc::registerOssRoutes(server, store);
    // Plain sink: reads and digests the body the way the store reads a part.
    server.Put("/sink", [](const httplib::Request &, httplib::Response &res,
                           const httplib::ContentReader &reader) {
        QCryptographicHash md5(QCryptographicHash::Md5);
        qint64 size = 0;
        reader([&](const char *data, size_t length) {
            md5.addData(data, int(length));
            size += qint64(length);
            return true;
        });
        res.set_content(std::to_string(size) + " " + md5.result().toHex().toStdString(), "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    const devsvc::OssCredentials c = store.credentials();
    std::cout << port << ' ' << c.accessKeyId.toStdString() << ' ' << c.accessKeySecret.toStdString() << ' '
              << c.bucket.toStdString() << std::endl;
    std::thread listener([&] { server.listen_after_bind(); });
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
    listener.join();
    return 0;
}

#ifndef _WIN32
double cpuSeconds(const rusage &r)
{
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
#endif

bool writeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(7);
    QByteArray chunk(4 * 1024 * 1024, Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        random.fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        const qint64 n = qMin<qint64>(left, chunk.size());
        if (file.write(chunk.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--serve") {
        QCoreApplication app(argc, argv);
        return serve(QString::fromLocal8Bit(argv[2]));
    }
#ifdef _WIN32
    std::puts("bench_ossclient runs on POSIX systems only");
    return 0;
#else
    QCoreApplication app(argc, argv);
    const qint64 sizeMiB = argc > 1 ? std::atoll(argv[1]) : 1024;
    const qint64 partMiB = argc > 2 ? std::atoll(argv[2]) : 10;
    const int threads = argc > 3 ? std::atoi(argv[3]) : 3;
    AlibabaCloud::OSS::ClientConfiguration configuration;
    // The part digest check as the library has it by default, unless named.
    if (argc > 4 && std::string(argv[4]) == "digest")
        configuration.enablePartDigestCheck = true;
    else if (argc > 4 && std::string(argv[4]) == "nodigest")
        configuration.enablePartDigestCheck = false;
    const qint64 size = sizeMiB * 1024 * 1024;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mp4"));
    if (!writeFile(path, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--serve"), dir.filePath(QStringLiteral("store"))});
    if (!server.waitForStarted() || !server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the store did not start\n");
        return 1;
    }
    const QStringList fields = QString::fromUtf8(server.readLine()).trimmed().split(QLatin1Char(' '));
    if (fields.size() != 4) {
        std::fprintf(stderr, "unexpected store greeting\n");
        return 1;
    }
    const std::string port = fields[0].toStdString();
    const std::string endpoint = "http://127.0.0.1:" + port;

    AlibabaCloud::OSS::InitializeSdk();
    // Client: resumable upload with the given part table row.
    const long idle = residentKiB();
    std::atomic<long> peak{idle};
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling.load()) {
            peak.store(std::max(peak.load(), residentKiB()));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;
    {
        AlibabaCloud::OSS::OssClient client(endpoint, fields[1].toStdString(), fields[2].toStdString(),
                                            configuration);
        AlibabaCloud::OSS::UploadObjectRequest request(fields[3].toStdString(), "bench/bench.mp4",
                                                       path.toLocal8Bit().toStdString(),
                                                       dir.path().toLocal8Bit().toStdString());
        request.setPartSize(uint64_t(partMiB) * 1024 * 1024);
        request.setThreadNum(uint32_t(threads));
        const auto outcome = client.ResumableUploadObject(request);
        ok = outcome.isSuccess();
        if (!ok)
            std::fprintf(stderr, "upload failed: %s %s\n", outcome.error().Code().c_str(),
                         outcome.error().Message().c_str());
    }
    const double clientSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    sampling = false;
    sampler.join();
    const double clientCpu = cpuSeconds(after) - cpuSeconds(before);
    AlibabaCloud::OSS::ShutdownSdk();

    // curl: one stream into the sink.
    const std::string url = endpoint + "/sink";
    const std::string file = path.toLocal8Bit().toStdString();
    const char *curlArgs[] = {"curl", "-s", "-o", "/dev/null", "-T", file.c_str(), url.c_str(), nullptr};
    pid_t pid = 0;
    const auto curlStart = std::chrono::steady_clock::now();
    double curlSeconds = 0, curlCpu = 0;
    int status = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char **>(curlArgs), environ) == 0) {
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        curlSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - curlStart).count();
        curlCpu = cpuSeconds(usage);
    }
    server.closeWriteChannel();
    server.waitForFinished(10000);

    const double gib = double(size) / GiB;
    const double clientRate = double(size) / MiB / clientSeconds;
    const double curlRate = curlSeconds > 0 ? double(size) / MiB / curlSeconds : 0;
    std::printf("file                  %.0f MiB, parts of %lld MiB, %d threads, part digest check %s\n",
                double(size) / MiB, static_cast<long long>(partMiB), threads,
                configuration.enablePartDigestCheck ? "on" : "off");
    std::printf("client upload         %s, %.2f s, %.1f MiB/s\n", ok ? "ok" : "FAILED", clientSeconds, clientRate);
    std::printf("curl -T into sink     %s, %.2f s, %.1f MiB/s\n",
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ok" : "FAILED", curlSeconds, curlRate);
    std::printf("throughput ratio      %.2f (client / curl; target >= 0.9)\n", curlRate > 0 ? clientRate / curlRate : 0);
    std::printf("CPU per GiB           client %.2f s, curl %.2f s, ratio %.2f (target <= 1.5)\n", clientCpu / gib,
                curlCpu / gib, curlCpu > 0 ? clientCpu / curlCpu : 0);
    std::printf("resident above idle   %.1f MiB (target < 100)\n", double(peak.load() - idle) / 1024.0);
    return ok ? 0 : 1;
#endif
}
