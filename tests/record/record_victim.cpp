// A small client for the kill-and-restore test: an upload page with the
// program's channels and the record keeper. Without a record it adds the
// given file and uploads it (the test kills it on the way); with a record it
// restores the queue, lets it finish and prints every finished upload.
//
//     record_victim <channel 0|1> <userId> <secretKey> <record file> <video file>
//
// The service comes from ZAVIX_SERVICE_URL (a local devservice).

#include "net/servicehosts.h"
#include "upload/uploadchannel.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/uploadrecord.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: record_victim channel userId secretKey record file\n");
        return 2;
    }
    installProgramChannels();

    UploadPage page(nullptr);
    UploadQueue *queue = page.queue();
    UploadAccount account;
    account.channel = args.at(1).toInt();
    account.userId = account.uid = args.at(2);
    account.secretKey = args.at(3);
    account.apiHost = hosts::apiHost();
    account.accountWebHost = hosts::accountWebHost();
    account.uploadHostName = hosts::uploadHostName();
    queue->setAccount(account);
    queue->setLimit(1);
    queue->setCategorySource([]() { return UploadCategory{QStringLiteral("1"), QStringLiteral("全部")}; });

    int finished = 0;
    queue->setFinishedHandler([&finished](const UploadTask &task, const QString &status) {
        ++finished;
        std::printf("finished %s %s\n", qPrintable(task.vid), status.toUtf8().constData());
        std::fflush(stdout);
    });
    QObject::connect(queue, &UploadQueue::rowCountChanged, &app, [&finished](int rows) {
        if (rows == 0 && finished > 0)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });

    UploadRecordKeeper records(queue, args.at(4));
    records.setSnapshotInterval(100);
    QTimer status;
    const UploadRecordKeeper::LoadResult loaded = records.loadUploadData(true, &status);
    std::printf("restored %d\n", loaded.restored);
    std::fflush(stdout);
    if (loaded.objects == 0)
        queue->addUploadTask({args.at(5)});
    const int code = app.exec();
    // The orderly end of the window writes the record once more.
    records.saveUploadData();
    return code;
}
