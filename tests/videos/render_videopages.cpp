// Renders the manage and search pages and the two video dialogs offscreen,
// styled with the application style sheet, into PNG files for review.
//   render_videopages <output folder>
#include "videotestfixture.h"

#include "library/copycodedialog.h"
#include "library/setvideodialog.h"
#include "library/videomanagepage.h"
#include "library/videosearchpage.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("ui-review");
    QDir().mkpath(out);
    QFile qss(QStringLiteral(":/qss/zavixUploadClient.qss"));
    if (qss.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(qss.readAll()));
    qputenv("ZAVIX_SERVICE_URL", "http://127.0.0.1:9");

    FakeVideoHost host;
    QJsonArray videos;
    for (int i = 0; i < 6; ++i)
        videos.append(videoJson(QStringLiteral("vid%1").arg(i), QStringLiteral("示例视频 &amp; %1").arg(i),
                                i % 2 ? QStringLiteral("61") : QStringLiteral("10")));
    const QString answer = QString::fromUtf8(listAnswer(QStringLiteral("45"), videos));

    VideoManagePage manage(&host);
    manage.resize(1000, 640);
    manage.managerThreadResultSlot(answer);
    VideoSearchPage search(&host);
    search.resize(1000, 640);
    search.searchThreadResultSlot(answer);
    VideoManagePage emptyManage(&host);
    emptyManage.resize(1000, 640);

    SetVideoDialog settings(nullptr, &host.record, QStringLiteral("vid1"), QStringLiteral("示例视频"),
                            QStringLiteral("标签"), QStringLiteral("简介"));
    auto *review = new CopyCodeDialog(nullptr, QStringLiteral("Js"), QStringLiteral("标题:示例视频\r\nvid1"),
                                      QStringLiteral("<script>...</script>"));

    QTimer::singleShot(300, [&] {
        manage.grab().save(out + QStringLiteral("/videos-manage.png"));
        search.grab().save(out + QStringLiteral("/videos-search.png"));
        emptyManage.grab().save(out + QStringLiteral("/videos-manage-empty.png"));
        settings.grab().save(out + QStringLiteral("/videos-settings.png"));
        review->grab().save(out + QStringLiteral("/videos-review.png"));
        review->close();
        app.quit();
    });
    manage.show();
    search.show();
    emptyManage.show();
    settings.show();
    review->show();
    return app.exec();
}
