// Resident size of an upload page that holds many queued files
// (200 rows plus the overflow list).
//
//   bench_upload_memory [files=10000]

#include "benchsupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>

int main(int argc, char *argv[])
{
    useOffscreenPlatform();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 10000;

    QTemporaryDir dir;
    const QStringList paths = makeBenchFiles(dir.path(), count, 4096);

    UploadPage page(nullptr);
    page.resize(900, 600);
    page.show();
    configureBenchQueue(page.queue());
    app.processEvents();
    const qint64 before = residentKiB();

    QEventLoop loop;
    QObject::connect(page.queue(), &UploadQueue::addingFinished, &loop, &QEventLoop::quit);
    page.queue()->addUploadTask(paths);
    loop.exec();
    app.processEvents();
    const qint64 after = residentKiB();

    std::printf("queued files: %d (rows %d, overflow %d)\n",
                page.queue()->rowCount() + page.queue()->overflowCount(),
                page.queue()->rowCount(), page.queue()->overflowCount());
    std::printf("resident before: %lld KiB, after: %lld KiB (%.1f MB, target < 200 MB)\n",
                static_cast<long long>(before), static_cast<long long>(after),
                after / 1024.0);
    return 0;
}
