// The upload history: adding entries with the 500-row rule, a larger loaded
// file, clearing with its question, the file round trip, opening a category.

#include "dialoghelper.h"

#include "app/shell/pagehooks.h"
#include "prefs/historyhost.h"
#include "prefs/historypage.h"
#include "prefs/historywidget.h"
#include "upload/uploadtask.h"
#include "upload/userdatafile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

HistoryEntry entry(int i)
{
    HistoryEntry e;
    e.path = QStringLiteral("/videos/clip%1.mp4").arg(i);
    e.filename = QStringLiteral("clip%1.mp4").arg(i);
    e.fileSize = QStringLiteral("%1.35M").arg(i);
    e.finishTime = QStringLiteral("2026-12-10 08:%1:00").arg(i % 60, 2, 10, QLatin1Char('0'));
    e.status = i % 2 ? QStringLiteral("已秒传") : QStringLiteral("已完成");
    e.vid = QStringLiteral("vid%1").arg(i);
    e.cataid = QString::number(100 + i);
    e.cataname = QStringLiteral("分类%1").arg(i);
    return e;
}

QString counter(int n)
{
    return QStringLiteral("(文件数量:<font color = #26a0f5>%1</font>/500个)").arg(n);
}

struct PageFixture
{
    PageFixture()
    {
        page.resize(1200, 700);
        page.setHistoryPath(dir.filePath("historyInfo.json"));
        page.show();
    }
    QLabel *counterLbl() const { return page.findChild<QLabel *>("fileNumLblH"); }
    QWidget *frame() const { return page.findChild<QWidget *>("historyFrame"); }
    QTemporaryDir dir;
    HistoryPage page;
};

} // namespace

class TestHistory final : public QObject
{
    Q_OBJECT

private slots:
    void emptyPageAndHeader()
    {
        PageFixture f;
        QCOMPARE(f.counterLbl()->text(), counter(0));
        QVERIFY(!f.frame()->isVisible());
        HistoryWidget *header = f.page.headerRow();
        QCOMPARE(header->objectName(), QStringLiteral("historyTWidget"));
        QCOMPARE(header->fileNameLbl()->text(), QStringLiteral("标题/vid"));
        QCOMPARE(header->cataBtn()->text(), QStringLiteral("视频分类"));
        QVERIFY(header->vidLbl()->isHidden() && header->videoSizeLbl()->isHidden());
        QCOMPARE(f.page.findChild<QPushButton *>("clearHistoryBtn")->text(), QStringLiteral("清空历史列表"));
    }

    void finishedUploadGoesOnTop()
    {
        PageFixture f;
        UploadTask task;
        task.path = QStringLiteral("/very/long/folder/name/that/does/not/fit/into/three/hundred/pixels/at/all/really/a.mp4");
        task.fileName = "a.mp4";
        task.sizeText = "12.35M";
        task.vid = "v-a";
        task.cataid = "42";
        task.cataStr = QStringLiteral("一个非常非常非常非常非常非常非常非常非常非常非常非常长的分类名称");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        f.page.addHistoryEntry(task, true);
        f.page.addHistoryEntry(task, false);
        QCOMPARE(f.page.rowCount(), 2);
        QVERIFY(f.frame()->isVisible());
        QCOMPARE(f.counterLbl()->text(), counter(2));
        HistoryWidget *top = f.page.row(0);
        QCOMPARE(top->statusLbl()->text(), QStringLiteral("已完成"));
        QCOMPARE(f.page.row(1)->statusLbl()->text(), QStringLiteral("已秒传"));
        QCOMPARE(top->videoSizeLbl()->text(), QStringLiteral("12.35M"));
        QCOMPARE(top->vidLbl()->text(), QStringLiteral("v-a"));
        QCOMPARE(top->path(), task.path);
        QCOMPARE(top->videoPathLbl()->toolTip(), task.path);
        QVERIFY(top->videoPathLbl()->text().endsWith(QChar(0x2026))); // elided
        QCOMPARE(top->cataname(), task.cataStr);
        QCOMPARE(top->cataBtn()->toolTip(), task.cataStr);
        const QDateTime finished = QDateTime::fromString(top->finishTimeLbl()->text(), "yyyy-MM-dd hh:mm:ss");
        QVERIFY(finished.isValid() && finished >= before.addSecs(-1));
        QCOMPARE(f.page.listWidget()->item(0)->sizeHint().height(), 60);
    }

    void fiveHundredRowsAtMost()
    {
        PageFixture f;
        for (int i = 0; i < 501; ++i)
            f.page.addEntry(entry(i));
        QCOMPARE(f.page.rowCount(), 500);
        QCOMPARE(f.counterLbl()->text(), counter(500));
        QCOMPARE(f.page.row(0)->vidLbl()->text(), QStringLiteral("vid500"));
        QCOMPARE(f.page.row(499)->vidLbl()->text(), QStringLiteral("vid1")); // vid0 left
    }

    void largerFileStaysAtItsSize()
    {
        PageFixture f;
        QList<HistoryEntry> many;
        for (int i = 0; i < 600; ++i)
            many.append(entry(i));
        QVERIFY(history::saveFile(f.page.historyPath(), many));
        f.page.loadHistoryData();
        QCOMPARE(f.page.rowCount(), 600);
        QCOMPARE(f.counterLbl()->text(), counter(600));
        f.page.addEntry(entry(1000));
        f.page.addEntry(entry(1001));
        QCOMPARE(f.page.rowCount(), 600);
        QCOMPARE(f.page.row(0)->vidLbl()->text(), QStringLiteral("vid1001"));
        QCOMPARE(f.page.row(599)->vidLbl()->text(), QStringLiteral("vid597"));
    }

    void saveAndLoadKeepOrderAndTexts()
    {
        PageFixture f;
        for (int i = 0; i < 5; ++i)
            f.page.addEntry(entry(i));
        QVERIFY(f.page.saveHistoryData());
        const QJsonArray saved = userdata::readFile(f.page.historyPath()).document.array();
        QCOMPARE(saved.size(), 5);
        QCOMPARE(saved.first().toObject().value("vid").toString(), QStringLiteral("vid4"));
        QCOMPARE(saved.first().toObject().value("status").toString(), QStringLiteral("已完成"));

        HistoryPage again;
        again.setHistoryPath(f.page.historyPath());
        again.loadHistoryData();
        QCOMPARE(again.rowCount(), 5);
        for (int i = 0; i < 5; ++i) {
            const HistoryEntry a = f.page.row(i)->entry();
            const HistoryEntry b = again.row(i)->entry();
            QCOMPARE(b.vid, a.vid);
            QCOMPARE(b.fileSize, a.fileSize);
            QCOMPARE(b.finishTime, a.finishTime);
            QCOMPARE(b.status, a.status);
            QCOMPARE(b.path, a.path);
            QCOMPARE(b.cataid, a.cataid);
            QCOMPARE(b.cataname, a.cataname);
            QCOMPARE(b.filename, a.filename);
        }
    }

    void damagedFilesGiveAnEmptyHistory_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("rows");
        QTest::newRow("not base64 json") << QByteArray("!!!") << 0;
        QTest::newRow("object") << QByteArray(R"({"a":1})").toBase64() << 0;
        QTest::newRow("empty array") << QByteArray("[]").toBase64() << 0;
        QTest::newRow("missing keys") << QByteArray(R"([{"vid":"x"},{}])").toBase64() << 2;
    }
    void damagedFilesGiveAnEmptyHistory()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, rows);
        PageFixture f;
        QFile file(f.page.historyPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        f.page.loadHistoryData();
        QCOMPARE(f.page.rowCount(), rows);
        QCOMPARE(f.frame()->isVisible(), rows > 0);
        QCOMPARE(f.counterLbl()->text(), counter(rows));
        if (rows)
            QCOMPARE(f.page.row(1)->entry().vid, QString());
    }

    void clearAsksFirst()
    {
        PageFixture f;
        for (int i = 0; i < 3; ++i)
            f.page.addEntry(entry(i));
        QVERIFY(f.page.saveHistoryData());
        const QByteArray onDisk = [&] { QFile r(f.page.historyPath()); r.open(QIODevice::ReadOnly); return r.readAll(); }();

        DialogAnswerer answers;
        answers.clickWhenShown("cancelBtn");
        f.page.on_clearHistoryBtn_clicked();
        QCOMPARE(answers.answeredCount(), 1);
        QCOMPARE(answers.last().message, QStringLiteral("确定要清空历史记录吗？"));
        QCOMPARE(f.page.rowCount(), 3);

        answers.clickWhenShown("addBtn");
        f.page.on_clearHistoryBtn_clicked();
        QCOMPARE(f.page.rowCount(), 0);
        QCOMPARE(f.counterLbl()->text(), counter(0));
        QVERIFY(!f.frame()->isVisible());
        QFile r(f.page.historyPath());
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), onDisk); // the file waits for the end of the window

        // Without rows no question.
        f.page.on_clearHistoryBtn_clicked();
        QCOMPARE(answers.answeredCount(), 2);
        f.page.addEntry(entry(9));
        QCOMPARE(f.counterLbl()->text(), counter(1));
    }

    void openingACategory()
    {
        PageFixture f;
        QStringList opened;
        bool exists = true;
        f.page.setCategoryOpener([&](const QString &cataid) {
            opened.append(cataid);
            return exists;
        });
        for (int i = 0; i < 3; ++i)
            f.page.addEntry(entry(i));
        f.page.row(1)->cataBtn()->click();
        QCOMPARE(opened, QStringList{"101"});
        QCOMPARE(f.page.listWidget()->currentRow(), 1);

        // Without an opener (no tree) the category does not exist.
        f.page.setCategoryOpener({});
        DialogAnswerer answers;
        answers.clickWhenShown("addBtn");
        f.page.row(2)->cataBtn()->click();
        QCOMPARE(answers.answeredCount(), 1);
        QCOMPARE(answers.last().message, QStringLiteral("该目录不存在"));
        QCOMPARE(f.page.listWidget()->currentRow(), 2);
    }

    void hooksSaveAndLoad()
    {
        QTemporaryDir dir;
        QWidget window;
        auto *manage = new QLabel(&window);
        manage->setObjectName("fileNumLblM");
        ShellHooks hooks;
        HistoryPage *page = createHistoryPage(nullptr, hooks, nullptr, {}, &window);
        page->setHistoryPath(dir.filePath("historyInfo.json"));
        QVERIFY(hooks.saveHistory && hooks.loadHistory);
        page->addEntry(entry(1));
        hooks.saveHistory();
        QVERIFY(QFile::exists(page->historyPath()));
        DialogAnswerer answers;
        answers.clickWhenShown("addBtn");
        page->on_clearHistoryBtn_clicked();
        QCOMPARE(page->rowCount(), 0);
        hooks.loadHistory();
        QCOMPARE(page->rowCount(), 1); // read back from the file
        QCOMPARE(manage->text(), QStringLiteral("(文件数量:<font color = #26a0f5>0</font>/20个)"));
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
