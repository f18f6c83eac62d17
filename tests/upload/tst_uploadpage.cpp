#include "queuefixture.h"

#include "dialoghelper.h"
#include "upload/uploadfilefilter.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

class TestUploadPage final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setUploadChannelFactory(nullptr); }

    void suffixFilter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("kept");
        QTest::newRow("mp4") << "a.mp4" << true;
        QTest::newRow("capitals") << "a.MKV" << true;
        QTest::newRow("part of a suffix") << "a.mp" << true;
        QTest::newRow("webm") << "a.webm" << true;
        QTest::newRow("text") << "a.txt" << false;
        QTest::newRow("no suffix") << "movie" << false;
    }
    void suffixFilter()
    {
        QFETCH(QString, name);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile(path).open(QIODevice::WriteOnly);
        QCOMPARE(acceptedUploadPaths({path}).size(), kept ? 1 : 0);
        QVERIFY(acceptedUploadPaths({dir.filePath(QStringLiteral("missing.mp4"))}).isEmpty());
        QDir(dir.path()).mkdir(QStringLiteral("folder.mp4"));
        QVERIFY(acceptedUploadPaths({dir.filePath(QStringLiteral("folder.mp4"))}).isEmpty());
    }

    void initialState()
    {
        QueueFixture f(0);
        auto *header = f.page->findChild<UploadWidget *>(QStringLiteral("uploadTWidget"));
        QVERIFY(header);
        QVERIFY(!header->task());
        QCOMPARE(header->deleteButton()->text(), QStringLiteral("操作"));
        QCOMPARE(header->findChild<QLabel *>(QStringLiteral("statusLbl"))->text(), QStringLiteral("上传状态"));
        QVERIFY(!f.page->findChild<QWidget *>(QStringLiteral("uploadFrame"))->isVisible());
        auto *allStart = f.page->findChild<QPushButton *>(QStringLiteral("allStartBtn"));
        QVERIFY(allStart->property("status").toBool());
        QCOMPARE(allStart->text(), QStringLiteral("全部开始"));
        QCOMPARE(f.page->lupingTipText(), QStringLiteral("未开启“视频课件优化处理”功能，"));
        for (const char *name : {"uploadVideoBtn", "clearListBtn", "uploadLblWidget", "uploadListWidget",
                                 "loadinULbl", "uploadStatusLbl", "settingTipBtn", "settingTipTextBtn"})
            QVERIFY2(f.page->findChild<QWidget *>(QLatin1String(name)), name);
    }

    void fileDialogKeepsFolderAndFilters()
    {
        QueueFixture f(0);
        QStringList folders;
        QString filter;
        const QStringList chosen{f.makeFile(QStringLiteral("a.mp4")), f.makeFile(QStringLiteral("b.doc"))};
        f.page->setFileChooser([&](QWidget *, const QString &folder, const QString &list) {
            folders.append(folder);
            filter = list;
            return chosen;
        });
        QSignalSpy done(f.queue(), &UploadQueue::addingFinished);
        f.page->on_uploadVideoBtn_clicked();
        QVERIFY(done.wait(5000));
        QCOMPARE(folders, QStringList{QDir::rootPath()});
        QCOMPARE(filter, uploadExtensionList());
        QCOMPARE(f.queue()->rowCount(), 1);
        f.page->setFileChooser([&](QWidget *, const QString &folder, const QString &) {
            folders.append(folder);
            return QStringList();
        });
        f.page->on_uploadVideoBtn_clicked();
        QCOMPARE(folders.last(), f.dir.path() + QLatin1Char('/'));
    }

    void dropZone()
    {
        QueueFixture f(0);
        const QString path = f.makeFile(QStringLiteral("drop.mp4"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QVERIFY(data.hasFormat(QStringLiteral("text/uri-list")));

        QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        f.page->dragEnter(&enter);
        QVERIFY(enter.isAccepted());
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent plain(QPoint(300, 200), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        f.page->dragEnter(&plain);
        QVERIFY(!plain.isAccepted());

        const QRect zone = f.page->dropZone();
        QCOMPARE(zone.topLeft(), QPoint(262, 144));
        QDropEvent outside(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        f.page->drop(&outside);
        QVERIFY(!outside.isAccepted());
        QVERIFY(!f.queue()->isAdding());

        QSignalSpy done(f.queue(), &UploadQueue::addingFinished);
        QDropEvent inside(QPointF(zone.center()), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        f.page->drop(&inside);
        QVERIFY(inside.isAccepted());
        QVERIFY(done.wait(5000));
        QCOMPARE(f.queue()->rowCount(), 1);
        QCOMPARE(f.queue()->row(0)->task()->path, path);
    }
};

QTEST_MAIN(TestUploadPage)
#include "tst_uploadpage.moc"
