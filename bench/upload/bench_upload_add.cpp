// Adding many files to the upload queue: time to a filled list against
// reading and hashing the same bytes in one thread, and the longest stall
// of the GUI event loop while the files are added.
//
//   bench_upload_add [files=1000] [MiB per file=8]

#include "benchsupport.h"

#include "upload/uploadinit.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    useOffscreenPlatform();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 1000;
    const qint64 size = (args.size() > 2 ? args.at(2).toLongLong() : 8) * 1048576;

    QTemporaryDir dir;
    const QStringList paths = makeBenchFiles(dir.path(), count, size);
    std::printf("files: %d of %lld bytes\n", paths.size(), static_cast<long long>(size));

    // Warm the page cache so that both runs read from memory.
    for (const QString &path : paths)
        contentHashForVid(path, size);

    QElapsedTimer clock;
    clock.start();
    QByteArray sink;
    for (const QString &path : paths) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        sink = QCryptographicHash::hash(file.read(qMin<qint64>(size, kVidHashLimit)),
                                        QCryptographicHash::Md5);
    }
    const qint64 baselineMs = clock.elapsed();

    // The queue's own content hash (text-mode line ends) in one thread.
    clock.restart();
    for (const QString &path : paths)
        contentHashForVid(path, size);
    const qint64 vidHashMs = clock.elapsed();

    UploadPage page(nullptr);
    page.resize(900, 600);
    page.show();
    configureBenchQueue(page.queue());

    // The stall probe: a 5 ms timer notes the longest gap between two of its
    // ticks (a busy zero-interval timer would itself take a core).
    QElapsedTimer gap;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&]() {
        longestGap = qMax(longestGap, gap.restart());
    });

    QEventLoop loop;
    QObject::connect(page.queue(), &UploadQueue::addingFinished, &loop, &QEventLoop::quit);
    clock.restart();
    gap.start();
    probe.start();
    page.queue()->addUploadTask(paths);
    longestGap = qMax(longestGap, gap.restart()); // the synchronous part of the call
    loop.exec();
    const qint64 addMs = clock.elapsed();
    probe.stop();

    std::printf("single-thread read + MD5: %lld ms\n", static_cast<long long>(baselineMs));
    std::printf("video id hashes alone:     %lld ms\n", static_cast<long long>(vidHashMs));
    std::printf("add to filled list:        %lld ms (rows %d, overflow %d)\n",
                static_cast<long long>(addMs), page.queue()->rowCount(),
                page.queue()->overflowCount());
    std::printf("ratio:                     %.2f (target <= 1.30)\n",
                baselineMs > 0 ? double(addMs) / double(baselineMs) : 0.0);
    std::printf("longest event-loop stall:  %lld ms (target < 100)\n",
                static_cast<long long>(longestGap));
    return 0;
}
