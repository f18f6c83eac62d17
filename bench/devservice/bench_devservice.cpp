// How fast devservice takes upload bodies on loopback, with digest-only
// storage, next to `curl -T` of the same file into the plain sink (which
// hashes and drops any PUT body).
//
//   bench_devservice [MiB=512] [streams=2]
//
// Prints one line per measurement: what was sent, bytes, seconds, MB/s.

#include "devservice/devservice.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kBlock = 4 * 1024 * 1024;
constexpr qint64 kChunk = 1024 * 1024;

size_t collect(char *data, size_t size, size_t count, void *user)
{
    static_cast<QByteArray *>(user)->append(data, int(size * count));
    return size * count;
}

struct Source
{
    const char *data;
    qint64 size;
    qint64 pos = 0;
};

size_t readSource(char *buffer, size_t size, size_t count, void *user)
{
    auto *s = static_cast<Source *>(user);
    const qint64 n = std::min<qint64>(qint64(size * count), s->size - s->pos);
    memcpy(buffer, s->data + s->pos, size_t(n));
    s->pos += n;
    return size_t(n);
}

// One request on a reused handle; the body comes from memory.
struct Exchange
{
    long status = 0;
    QByteArray body;
    bool ok = false;
};

Exchange send(CURL *curl, const char *method, const QByteArray &url, const char *data, qint64 size,
              const QList<QByteArray> &headers)
{
    Exchange e;
    curl_slist *list = nullptr;
    for (const QByteArray &h : headers)
        list = curl_slist_append(list, h.constData());
    list = curl_slist_append(list, "Expect:");
    Source src{data, size};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &e.body);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readSource);
    curl_easy_setopt(curl, CURLOPT_READDATA, &src);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 2L * 1024 * 1024);
    e.ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &e.status);
    curl_slist_free_all(list);
    return e;
}

void report(const char *what, qint64 bytes, qint64 nanos)
{
    const double secs = double(nanos) / 1e9;
    std::printf("%-52s %10.1f MiB %8.3f s %9.1f MB/s\n", what, double(bytes) / 1048576.0, secs,
                secs > 0 ? double(bytes) / secs / 1e6 : 0.0);
    std::fflush(stdout);
}

QString sha1Upper(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper());
}

// WCS blocks: mkblk + bput in 1 MiB chunks, blocks spread over the streams.
bool benchWcs(devsvc::DevService &svc, const QByteArray &file, int streams)
{
    const QString uid = QStringLiteral("10002");
    const QString secret = QStringLiteral("sk-wcs-8b47e0c3");
    const QString vid = uid + QStringLiteral("0123456789abcdef012345_1");
    const QString ptime = QString::number(QDateTime::currentMSecsSinceEpoch());
    const QString size = QString::number(file.size());
    const QString text = QStringLiteral("cataid=1&filename=bench.mp4&filesize=%1&luping=0&ptime=%2&title=bench"
                                        "&uploadType=client_wcs_chunk&vid=%3%4")
                             .arg(size, ptime, vid, secret);
    const QByteArray initUrl = (svc.baseUrl() + QStringLiteral("/v2/uploadvideo_wcs/%1/init?cataid=1&describ=&filename=bench.mp4"
                                                               "&filesize=%2&luping=0&ptime=%3&sign=%4&tag=&title=bench"
                                                               "&uploadType=client_wcs_chunk&vid=%5")
                                                    .arg(uid, size, ptime, sha1Upper(text), vid))
                                   .toUtf8();
    CURL *curl = curl_easy_init();
    QByteArray answer;
    curl_easy_setopt(curl, CURLOPT_URL, initUrl.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    const QJsonObject data = QJsonDocument::fromJson(answer).object().value(QStringLiteral("data")).toObject();
    const QByteArray token = data.value(QStringLiteral("uploadToken")).toString().toUtf8();
    if (token.isEmpty()) {
        std::printf("WCS init failed: %s\n", answer.constData());
        return false;
    }
    const qint64 blocks = (file.size() + kBlock - 1) / kBlock;
    std::vector<QString> lastCtx(static_cast<size_t>(blocks));
    std::atomic<qint64> next{0};
    std::atomic<bool> failed{false};
    const QByteArray base = svc.baseUrl().toUtf8();
    const QList<QByteArray> headers{"Authorization: " + token, "uploadBatch: bench-batch",
                                    "Content-Type: application/octet-stream"};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    for (int s = 0; s < streams; ++s) {
        threads.emplace_back([&] {
            CURL *h = curl_easy_init();
            for (qint64 b = next++; b < blocks && !failed; b = next++) {
                const qint64 start = b * kBlock;
                const qint64 blockSize = std::min(kBlock, qint64(file.size()) - start);
                QString ctx;
                for (qint64 off = 0; off < blockSize; off += kChunk) {
                    const qint64 n = std::min(kChunk, blockSize - off);
                    const QByteArray u = off == 0 ? base + "/mkblk/" + QByteArray::number(blockSize) + "/" + QByteArray::number(b)
                                                  : base + "/bput/" + ctx.toUtf8() + "/" + QByteArray::number(off);
                    const Exchange e = send(h, "POST", u, file.constData() + start + off, n, headers);
                    if (!e.ok || e.status != 200) {
                        std::printf("chunk failed: %ld %s\n", e.status, e.body.constData());
                        failed = true;
                        break;
                    }
                    ctx = QJsonDocument::fromJson(e.body).object().value(QStringLiteral("ctx")).toString();
                }
                lastCtx[size_t(b)] = ctx;
            }
            curl_easy_cleanup(h);
        });
    }
    for (auto &t : threads)
        t.join();
    const qint64 nanos = timer.nsecsElapsed();
    if (failed)
        return false;
    QStringList ctxs;
    for (const QString &c : lastCtx)
        ctxs.append(c);
    CURL *h = curl_easy_init();
    const QByteArray list = ctxs.join(QLatin1Char(',')).toUtf8();
    const Exchange made = send(h, "POST", base + "/mkfile/" + QByteArray::number(file.size()), list.constData(),
                               list.size(), headers);
    curl_easy_cleanup(h);
    char label[96];
    std::snprintf(label, sizeof label, "WCS mkblk/bput, 1 MiB chunks, %d stream(s)", streams);
    report(label, file.size(), nanos);
    if (made.status != 200) {
        std::printf("mkfile failed: %ld %s\n", made.status, made.body.constData());
        return false;
    }
    return true;
}

// OSS multipart parts of 10 MiB, V1-signed, spread over the streams.
void benchOss(devsvc::DevService &svc, const QByteArray &file, int streams)
{
    // Credentials come from the OSS init answer, as the client gets them.
    const QString uid = QStringLiteral("10001");
    const QString secret = QStringLiteral("sk-oss-5f2c9d1a");
    const QString vid = uid + QStringLiteral("0123456789abcdef012345_1");
    const QString ptime = QString::number(QDateTime::currentMSecsSinceEpoch());
    const QString size = QString::number(file.size());
    const QString text = QStringLiteral("cataid=1&filename=bench.mp4&filesize=%1&isSts=N&luping=0&ptime=%2&title=bench"
                                        "&uploadType=client_aliyun_chunk&vid=%3%4")
                             .arg(size, ptime, vid, secret);
    const QByteArray initUrl = (svc.baseUrl() + QStringLiteral("/v2/aliyunoss/%1/init?cataid=1&filename=bench.mp4&filesize=%2"
                                                               "&isSts=N&luping=0&ptime=%3&sign=%4&title=bench"
                                                               "&uploadType=client_aliyun_chunk&vid=%5")
                                                    .arg(uid, size, ptime, sha1Upper(text), vid))
                                   .toUtf8();
    CURL *curl = curl_easy_init();
    QByteArray answer;
    curl_easy_setopt(curl, CURLOPT_URL, initUrl.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_perform(curl);
    const QJsonObject data = QJsonDocument::fromJson(answer).object().value(QStringLiteral("data")).toObject();
    const QByteArray bucket = data.value(QStringLiteral("bucketName")).toString().toUtf8();
    const QByteArray id = data.value(QStringLiteral("accessId")).toString().toUtf8();
    const QByteArray key = data.value(QStringLiteral("accessKey")).toString().toUtf8();
    const QByteArray object = "bench/" + vid.toUtf8() + ".mp4";
    const QByteArray base = svc.baseUrl().toUtf8();
    auto signedHeaders = [&](const char *verb, const QByteArray &resource) {
        const QByteArray date = QLocale::c().toString(QDateTime::currentDateTimeUtc(),
                                                      QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
        const QByteArray toSign = QByteArray(verb) + "\n\n\n" + date + "\n/" + bucket + "/" + resource;
        const QByteArray sig = QMessageAuthenticationCode::hash(toSign, key, QCryptographicHash::Sha1).toBase64();
        return QList<QByteArray>{"Content-Type:", "Date: " + date, "Authorization: OSS " + id + ":" + sig};
    };
    const Exchange init = send(curl, "POST", base + "/" + bucket + "/" + object + "?uploads", "", 0,
                               signedHeaders("POST", object + "?uploads"));
    curl_easy_cleanup(curl);
    const int a = init.body.indexOf("<UploadId>");
    const int b = init.body.indexOf("</UploadId>");
    if (init.status != 200 || a < 0 || b < 0) {
        std::printf("%-52s (OSS store not available: %ld)\n", "OSS part PUTs", init.status);
        return;
    }
    const QByteArray uploadId = init.body.mid(a + 10, b - a - 10);
    const qint64 partSize = 10 * 1048576;
    const qint64 parts = (file.size() + partSize - 1) / partSize;
    std::atomic<qint64> next{0};
    std::atomic<bool> failed{false};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    for (int s = 0; s < streams; ++s) {
        threads.emplace_back([&] {
            CURL *h = curl_easy_init();
            for (qint64 p = next++; p < parts && !failed; p = next++) {
                const QByteArray sub = "?partNumber=" + QByteArray::number(p + 1) + "&uploadId=" + uploadId;
                const qint64 n = std::min(partSize, qint64(file.size()) - p * partSize);
                const Exchange e = send(h, "PUT", base + "/" + bucket + "/" + object + sub, file.constData() + p * partSize,
                                        n, signedHeaders("PUT", object + sub));
                if (!e.ok || e.status != 200) {
                    std::printf("part failed: %ld %s\n", e.status, e.body.left(300).constData());
                    failed = true;
                }
            }
            curl_easy_cleanup(h);
        });
    }
    for (auto &t : threads)
        t.join();
    char label[96];
    std::snprintf(label, sizeof label, "OSS part PUTs, 10 MiB parts, %d stream(s)", streams);
    if (!failed)
        report(label, file.size(), timer.nsecsElapsed());
}

void benchSinkLibcurl(devsvc::DevService &svc, const QByteArray &file, int streams)
{
    const qint64 share = file.size() / streams;
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    std::atomic<bool> failed{false};
    for (int s = 0; s < streams; ++s) {
        threads.emplace_back([&, s] {
            CURL *h = curl_easy_init();
            const qint64 start = s * share;
            const qint64 n = s == streams - 1 ? file.size() - start : share;
            const Exchange e = send(h, "PUT", svc.baseUrl().toUtf8() + "/sink", file.constData() + start, n, {});
            failed = failed || !e.ok || e.status != 200;
            curl_easy_cleanup(h);
        });
    }
    for (auto &t : threads)
        t.join();
    char label[96];
    std::snprintf(label, sizeof label, "sink PUT (libcurl in-process), %d stream(s)", streams);
    if (!failed)
        report(label, file.size(), timer.nsecsElapsed());
}

void benchCurlTool(devsvc::DevService &svc, const QString &path, qint64 size)
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                        QStringLiteral("-w"), QStringLiteral("%{http_code}"), QStringLiteral("-T"), path,
                                        svc.baseUrl() + QStringLiteral("/sink")});
    if (!curl.waitForFinished(600000)) {
        std::printf("curl -T did not finish\n");
        return;
    }
    const qint64 nanos = timer.nsecsElapsed();
    if (curl.readAllStandardOutput().trimmed() != "200") {
        std::printf("curl -T failed\n");
        return;
    }
    report("curl -T <file> /sink (separate process)", size, nanos);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 512;
    const int streams = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 2;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.bin"));
    QByteArray file(int(mib * 1048576), '\0');
    quint32 *words = reinterpret_cast<quint32 *>(file.data());
    QRandomGenerator gen(20261210);
    gen.fillRange(words, size_t(file.size() / 4));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()) {
            std::printf("cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    devsvc::DevService::Options options;
    options.dataDir = dir.filePath(QStringLiteral("data"));
    options.digestOnly = true;
    options.logBodyDigest = false;
    options.threads = 8;
    devsvc::DevService svc(options);
    svc.seedFromFile(devsvc::DevService::demoSeedPath());
    svc.setRemainSpace(QStringLiteral("10002"), qint64(1) << 50);
    if (!svc.start(0)) {
        std::printf("devservice did not start: %s\n", qPrintable(svc.errorString()));
        return 1;
    }
    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray loadText = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("?");
    std::printf("devservice %s, digest-only, %lld MiB of random bytes, %d stream(s), load average %s\n",
                qPrintable(svc.baseUrl()), static_cast<long long>(mib), streams, loadText.constData());
    benchWcs(svc, file, 1);
    benchWcs(svc, file, streams);
    benchOss(svc, file, 1);
    benchOss(svc, file, streams);
    benchSinkLibcurl(svc, file, 1);
    benchSinkLibcurl(svc, file, streams);
    benchCurlTool(svc, path, file.size());
    svc.stop();
    curl_global_cleanup();
    return 0;
}
