// The manage and search pages, their rows and dialogs, against the local
// service emulator.
#include "videotestfixture.h"

#include "dialoghelper.h"
#include "eventloopwatch.h"
#include "library/copycodedialog.h"
#include "library/embedcode.h"
#include "library/managerwidget.h"
#include "library/searchwidget.h"
#include "library/setvideodialog.h"
#include "library/videomanagepage.h"
#include "library/videosearchpage.h"
#include "library/videothumbnail.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <functional>
#include <memory>
#include <thread>

namespace {

// The fixed size of a row's thumbnail label.
const QSize kThumbnailSize(68, 40);

quint32 pngCrc(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk;
    QDataStream out(&chunk, QIODevice::WriteOnly);
    out << quint32(data.size());
    const QByteArray typed = QByteArray(type) + data;
    out.writeRawData(typed.constData(), typed.size());
    out << pngCrc(typed);
    return chunk;
}

// A PNG of a few kilobytes whose header declares width x height (RGBA);
// its data holds only the first rows.
QByteArray pngDeclaring(quint32 width, quint32 height)
{
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out << width << height << quint8(8) << quint8(6) << quint8(0) << quint8(0) << quint8(0);
    const QByteArray rows(int(qMin<quint32>(height, 64)) * int(width * 4 + 1), '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
           + pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", QByteArray());
}

QByteArray pngOfSize(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Resident memory of this process in bytes (0 where it cannot be read).
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * 4096 : 0;
}

// Runs `action` once on the next modal widget with this object name.
void onModal(const QString &objectName, std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, objectName, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->objectName() != objectName)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

template <class T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning() << "no child" << name;
    return found;
}

QList<ManagerWidget *> manageRows(VideoManagePage &page)
{
    QList<ManagerWidget *> rows;
    auto *list = child<QListWidget>(&page, "managerListWidget");
    for (int i = 0; i < list->count(); ++i)
        rows.append(qobject_cast<ManagerWidget *>(list->itemWidget(list->item(i))));
    return rows;
}

QList<SearchWidget *> searchRows(VideoSearchPage &page)
{
    QList<SearchWidget *> rows;
    auto *list = child<QListWidget>(&page, "searchListWidget");
    for (int i = 0; i < list->count(); ++i)
        rows.append(qobject_cast<SearchWidget *>(list->itemWidget(list->item(i))));
    return rows;
}

ManagerWidget *rowOf(VideoManagePage &page, const QString &vid)
{
    for (ManagerWidget *row : manageRows(page))
        if (row && row->vid() == vid)
            return row;
    return nullptr;
}

QString labelText(QWidget *row, const char *name)
{
    return child<QLabel>(row, name)->text();
}

} // namespace

class TstVideoPages final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void pagingFromTotal_data();
    void pagingFromTotal();
    void rowTexts();
    void emptyDataHidesFrame();
    void failedListKeepsPageListAndShowsMessage_data();
    void failedListKeepsPageListAndShowsMessage();
    void pageButtons();
    void stalledThumbnailsDoNotBlockNewPage();
    void enteringTwiceSendsOneRequest();
    void requestsWhileLoadingAreDropped();
    void proceedPage_data();
    void proceedPage();
    void emptyTreeRefusesPaging();
    void noDeleteButtonBelowLevel6();
    void deleteVideo();
    void deleteDeclinedSendsNothing();
    void secondDeleteWhilePendingDoesNotWait();
    void deleteFailures_data();
    void deleteFailures();
    void rowReplacedWhileQuestionOpen();
    void editOnlyTitle();
    void editAllEmptySendsNothing();
    void editAndCoverFailures_data();
    void editAndCoverFailures();
    void uploadingVideoRefusesSettings();
    void coverUploadReplacesThumbnail();
    void thumbnails_data();
    void thumbnails();
    void hugeDeclaredThumbnailsAreRefused();
    void copyJsAndReview();
    void copyVidOnSearchPage();
    void searchEmptyKeyword();
    void emptyKeywordDuringSearchKeepsItLoading();
    void searchAgainstService();
    void searchSortByName();
    void searchFailures_data();
    void searchFailures();
    void openSearchResultCategory_data();
    void openSearchResultCategory();

private:
    void listWith(VideoManagePage &page, const QByteArray &answer);

    devsvc::DevService m_service;
    QTemporaryDir m_files;
};

void TstVideoPages::initTestCase()
{
    const devsvc::OpResult seeded = m_service.seed(videoSeed());
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service.baseUrl().toUtf8());
    QVERIFY(m_files.isValid());
}

void TstVideoPages::init()
{
    m_service.clearFaults();
    m_service.clearRequestLog();
    m_service.setClockOffsetMs(0);
}

void TstVideoPages::cleanupTestCase()
{
    m_service.stop();
}

void TstVideoPages::listWith(VideoManagePage &page, const QByteArray &answer)
{
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200, answer);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
}

void TstVideoPages::pagingFromTotal_data()
{
    QTest::addColumn<QString>("total");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("width");
    QTest::newRow("45") << "45" << 3 << 66;
    QTest::newRow("40") << "40" << 2 << 44;
    QTest::newRow("0") << "0" << 0 << 0;
    QTest::newRow("not a number") << "lots" << 0 << 0;
}

void TstVideoPages::pagingFromTotal()
{
    QFETCH(QString, total);
    QFETCH(int, pages);
    QFETCH(int, width);
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer(total, {videoJson("v1", "one")}));

    auto *frame = child<QWidget>(&page, "pageIndexFrame");
    auto *list = child<QListWidget>(&page, "pageIndexList");
    QCOMPARE(!frame->isHidden(), pages > 1);
    QCOMPARE(list->count(), pages);
    for (int i = 0; i < pages; ++i) {
        QCOMPARE(list->item(i)->text(), QString::number(i + 1));
        QCOMPARE(list->item(i)->sizeHint(), QSize(20, 30));
    }
    if (pages > 1) {
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(list->maximumWidth(), width);
        QCOMPARE(labelText(&page, "pageCountLbl"), QString::fromUtf8("共%1页，跳到：").arg(pages));
    }
    QVERIFY(list->isEnabled());
    QVERIFY(!child<QWidget>(&page, "loadinMLbl")->isVisibleTo(&page));
}

void TstVideoPages::rowTexts()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer("2", {videoJson("v1", "Tom &amp; Jerry&#039;s &#040;1&#041;", "61"),
                                    videoJson("v2", "plain", "7", "1553673909123")}));
    QVERIFY(!child<QWidget>(&page, "manageFrame")->isHidden());
    const QList<ManagerWidget *> rows = manageRows(page);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(labelText(rows[0], "videoNameLbl"), QString("Tom & Jerry's (1)"));
    QCOMPARE(rows[0]->title(), QString("Tom & Jerry's (1)"));
    QCOMPARE(labelText(rows[0], "videoStatusLbl"), QString::fromUtf8("已发布"));
    QCOMPARE(labelText(rows[1], "videoStatusLbl"), QString::fromUtf8("文件损坏或其它"));
    // the process runs with TZ=Asia/Shanghai
    QCOMPARE(labelText(rows[1], "modifyTimeLbl"), QString("2019-3-27 16:05:09"));
    QCOMPARE(labelText(rows[1], "playTimesLbl"), QString("12"));
    QVERIFY(labelText(&page, "fileNumLblM").contains(">2</font>"));
    QCOMPARE(child<QListWidget>(&page, "managerListWidget")->item(0)->sizeHint().height(), 60);
}

void TstVideoPages::emptyDataHidesFrame()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer("3", {videoJson("v1", "one")}));
    QVERIFY(!child<QWidget>(&page, "manageFrame")->isHidden());

    host.currentId = "5";
    listWith(page, listAnswer("0", {}));
    QVERIFY(child<QWidget>(&page, "manageFrame")->isHidden());
    QCOMPARE(child<QListWidget>(&page, "managerListWidget")->count(), 0);
    QCOMPARE(labelText(&page, "fileNumLblM"), QString::fromUtf8("(文件数量:<font color = #26a0f5>0</font>/20个)"));
}

void TstVideoPages::failedListKeepsPageListAndShowsMessage_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    const QString net = QString::fromUtf8("获取视频列表失败\r\n请检查您的网络或该目录已被删除");
    QTest::newRow("transfer") << 500 << QByteArray("{}") << net;
    QTest::newRow("not json") << 200 << QByteArray("<html>") << net;
    QTest::newRow("rejected") << 200 << QByteArray(R"({"code":400,"status":"error","message":"cata is not exist."})")
                              << net;
    QTest::newRow("time") << 200 << QByteArray(R"({"code":400,"status":"error","message":"ptime is too old."})")
                          << QString::fromUtf8("获取视频列表失败，请检查您的系统时间");
}

void TstVideoPages::failedListKeepsPageListAndShowsMessage()
{
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer("45", {videoJson("v1", "one")}));
    QCOMPARE(child<QListWidget>(&page, "pageIndexList")->count(), 3);

    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), httpStatus, body);
    page.on_rightPageBtn_clicked();
    QTRY_VERIFY(!page.isLoading());
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().message, message);
    QCOMPARE(answerer.last().title, QString::fromUtf8("提示"));
    QVERIFY(child<QWidget>(&page, "manageFrame")->isHidden());
    QCOMPARE(child<QListWidget>(&page, "pageIndexList")->count(), 3);
    QCOMPARE(child<QListWidget>(&page, "managerListWidget")->count(), 1); // kept, hidden
    QCOMPARE(m_service.requests("/v2/video/1001/list").last().query.contains("pageNum=2"), true);
}

void TstVideoPages::pageButtons()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer("45", {videoJson("v1", "one")}));
    m_service.clearRequestLog();
    auto pageOfLastRequest = [this] {
        const auto log = m_service.requests("/v2/video/1001/list");
        const QUrlQuery query(log.isEmpty() ? QString() : log.last().query);
        return query.queryItemValue("pageNum");
    };
    const char *clicks[] = {"rightPageBtn", "rightPageBtn", "rightPageBtn", "leftPageBtn"};
    const char *expected[] = {"2", "3", "3", "2"};
    for (int i = 0; i < 4; ++i) {
        m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200, listAnswer("45", {videoJson("v1", "one")}));
        child<QPushButton>(&page, clicks[i])->click();
        QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), i + 1);
        QTRY_VERIFY(!page.isLoading());
        QCOMPARE(pageOfLastRequest(), QString(expected[i]));
    }
    // the page list keeps its items while moving between pages
    QCOMPARE(child<QListWidget>(&page, "pageIndexList")->count(), 3);
    QCOMPARE(child<QListWidget>(&page, "pageIndexList")->currentRow(), 1);

    // a refresh starts again from page 1 and rebuilds the page list
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200, listAnswer("45", {videoJson("v1", "one")}));
    child<QPushButton>(&page, "refreshBtn")->click();
    QTRY_VERIFY(!page.isLoading());
    QCOMPARE(pageOfLastRequest(), QString("1"));
    QCOMPARE(child<QListWidget>(&page, "pageIndexList")->currentRow(), 0);
}

void TstVideoPages::stalledThumbnailsDoNotBlockNewPage()
{
    FakeVideoHost host;
    auto page = std::make_unique<VideoManagePage>(&host);
    const QString url = m_service.baseUrl() + "/images/vidA.png";
    m_service.stallNext(QStringLiteral("/images/.*"), 2);
    listWith(*page, listAnswer("2", {videoJson("s1", "a", "61", "1", url), videoJson("s2", "b", "61", "1", url)}));
    QTRY_COMPARE(m_service.stalledCount(), 2);

    // the next page replaces the rows whose downloads hang
    QElapsedTimer clock;
    clock.start();
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200, listAnswer("1", {videoJson("s3", "c")}));
    page->on_refreshBtn_clicked();
    QTRY_COMPARE(manageRows(*page).size(), 1);
    QTest::qWait(50); // the old rows are destroyed from the event loop
    page.reset();
    QVERIFY2(clock.elapsed() < 3000, "replacing rows waited for their downloads");
    m_service.releaseStalls();
    QTest::qWait(100); // the released downloads end without their rows
}

void TstVideoPages::enteringTwiceSendsOneRequest()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
    QCOMPARE(manageRows(page).size(), 3); // the account's videos with sub-categories

    host.currentId = "5"; // another category chosen on the upload page
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    const auto log = m_service.requests("/v2/video/1001/list");
    QCOMPARE(log.size(), 2);
    QVERIFY(log.last().query.contains("cataflag=0&cataid=5&numPerPage=20&pageNum=1&ptime="));
    QCOMPARE(log.last().status, 200);
    QCOMPARE(manageRows(page).size(), 1);
    QCOMPARE(manageRows(page).first()->vid(), QString("vidB"));

    // without sub-categories the default category holds two of them
    host.currentId = "1";
    child<QPushButton>(&page, "notContainSubBtn")->click();
    QTRY_VERIFY(!page.isLoading());
    QCOMPARE(page.categoryFlag(), QString("1"));
    QVERIFY(child<QPushButton>(&page, "notContainSubBtn")->isChecked());
    QVERIFY(!child<QPushButton>(&page, "containSubCataBtn")->isChecked());
    QCOMPARE(manageRows(page).size(), 2);
}

void TstVideoPages::requestsWhileLoadingAreDropped()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    VideoSearchPage search(&host);
    m_service.stallNext(QStringLiteral("/v2/video/.*/list"), 2);
    page.enterPage();
    child<QLineEdit>(&search, "searchEdit")->setText("Alpha");
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_COMPARE(m_service.stalledCount(), 2);
    QVERIFY(page.isLoading());
    QVERIFY(search.isLoading());
    QVERIFY(!child<QWidget>(&page, "loadinMLbl")->isHidden());

    host.currentId = "5";
    child<QPushButton>(&page, "refreshBtn")->click();
    page.categoryClicked();
    page.enterPage();
    child<QPushButton>(&search, "searchBtn")->click();
    QCOMPARE(page.lastListedCategoryId(), QString("1")); // entering found the page busy
    m_service.releaseStalls();
    QTRY_VERIFY(!page.isLoading() && !search.isLoading());
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 2);
    QVERIFY(child<QWidget>(&page, "loadinMLbl")->isHidden());
    QCOMPARE(searchRows(search).size(), 1);
}

void TstVideoPages::proceedPage_data()
{
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::newRow("page 0") << "45" << "0" << false;
    QTest::newRow("past the last") << "45" << "4" << false;
    QTest::newRow("empty") << "45" << "" << false;
    QTest::newRow("one page") << "5" << "1" << false;
    QTest::newRow("last page") << "45" << "3" << true;
}

void TstVideoPages::proceedPage()
{
    QFETCH(QString, total);
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer(total, {videoJson("v1", "one")}));
    m_service.clearRequestLog();

    DialogAnswerer answerer;
    if (!valid)
        answerer.clickWhenShown("addBtn");
    child<QLineEdit>(&page, "pageIndexLineEdit")->setText(typed);
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200, listAnswer(total, {videoJson("v3", "three")}));
    child<QPushButton>(&page, "proceedPageBtn")->click();
    if (valid) {
        QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
        QTRY_VERIFY(!page.isLoading());
        QVERIFY(m_service.requests("/v2/video/1001/list").first().query.contains("pageNum=3"));
        QCOMPARE(child<QListWidget>(&page, "pageIndexList")->currentRow(), 2);
    } else {
        QCOMPARE(answerer.answeredCount(), 1);
        QCOMPARE(answerer.last().message, QString::fromUtf8("请输入有效的页数"));
        QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 0);
    }
}

void TstVideoPages::emptyTreeRefusesPaging()
{
    FakeVideoHost host;
    host.model.clear();
    VideoManagePage page(&host);
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    child<QPushButton>(&page, "refreshBtn")->click();
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().message, QString::fromUtf8("获取视频列表失败\r\n请检查网络或刷新目录"));
    QCOMPARE(m_service.requests("/v2/video/.*/list").size(), 0);
}

void TstVideoPages::noDeleteButtonBelowLevel6()
{
    FakeVideoHost host;
    host.record.uid = host.record.userId = "1002";
    host.record.secretKey = "SK-1002";
    host.record.userLevel = "1";
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    const QList<ManagerWidget *> rows = manageRows(page);
    QCOMPARE(rows.size(), 1);
    for (ManagerWidget *row : rows)
        QVERIFY(child<QPushButton>(row, "videoDelBtn")->isHidden());

    // the slot itself refuses as well
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    rows.first()->VideoDel();
    QCOMPARE(answerer.last().message, QString::fromUtf8("没有权限删除视频！"));
    QCOMPARE(m_service.requests("/v2/video/.*/del-video").size(), 0);

    FakeVideoHost six;
    VideoManagePage sixPage(&six);
    sixPage.enterPage();
    QTRY_VERIFY(!sixPage.isLoading());
    for (ManagerWidget *row : manageRows(sixPage))
        QVERIFY(!child<QPushButton>(row, "videoDelBtn")->isHidden());
}

void TstVideoPages::deleteVideo()
{
    m_service.seed(R"({"videos":[{"vid":"vidDel","owner":"1001","cataid":1,"title":"to delete"}]})");
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    const int before = manageRows(page).size();
    ManagerWidget *row = rowOf(page, "vidDel");
    QVERIFY(row);

    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn"); // "确认删除"
    answerer.clickWhenShown("addBtn"); // the notice
    child<QPushButton>(row, "videoDelBtn")->click();
    QVERIFY(answerer.waitAnswered(2));
    QCOMPARE(answerer.answered().at(0).title, QString::fromUtf8("删除视频"));
    QCOMPARE(answerer.answered().at(0).message, QString::fromUtf8("确认删除视频吗？"));
    QCOMPARE(answerer.answered().at(1).message, QString::fromUtf8("删除成功"));
    QTRY_COMPARE(manageRows(page).size(), before - 1);
    QVERIFY(!rowOf(page, "vidDel"));
    QVERIFY(!m_service.video("vidDel").exists);
    const auto log = m_service.requests("/v2/video/1001/del-video");
    QCOMPARE(log.size(), 1);
    QVERIFY(log.first().query.startsWith("ptime="));
    QVERIFY(log.first().query.endsWith("&vid=vidDel"));
}

void TstVideoPages::deleteDeclinedSendsNothing()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    DialogAnswerer answerer;
    answerer.clickWhenShown("cancelBtn");
    child<QPushButton>(rowOf(page, "vidA"), "videoDelBtn")->click();
    QCOMPARE(answerer.answeredCount(), 1);
    QTest::qWait(50);
    QCOMPARE(m_service.requests("/v2/video/.*/del-video").size(), 0);
    QVERIFY(rowOf(page, "vidA"));
}

void TstVideoPages::secondDeleteWhilePendingDoesNotWait()
{
    m_service.seed(R"({"videos":[{"vid":"vidDel2","owner":"1001","cataid":1,"title":"pending delete"}]})");
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    const int before = manageRows(page).size();
    ManagerWidget *row = rowOf(page, "vidDel2");
    QVERIFY(row);

    // The service takes the first delete and says nothing.
    m_service.stallNext(QStringLiteral("/v2/video/1001/del-video"));
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn"); // "确认删除"
    child<QPushButton>(row, "videoDelBtn")->click();
    QVERIFY(answerer.waitAnswered(1));
    QTRY_COMPARE(m_service.stalledCount(), 1);

    // A second delete of the same row while the first is pending: nothing is
    // sent and nothing waits for the first. (Should the window block, the
    // service lets go after three seconds, so the test fails instead of
    // hanging.)
    std::thread safety([this] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        m_service.releaseStalls();
    });
    EventLoopWatch watch;
    answerer.clickWhenShown("addBtn");
    child<QPushButton>(row, "videoDelBtn")->click();
    QVERIFY(answerer.waitAnswered(2));
    QTest::qWait(200);
    const qint64 gap = watch.longestGapMs();
    const QString described = watch.describe();
    safety.join();
    QVERIFY2(gap < 100, qPrintable(described));

    // The first delete goes through once the service answers; one request in all.
    answerer.clickWhenShown("addBtn"); // the notice
    QVERIFY(answerer.waitAnswered(3, 10000));
    QCOMPARE(answerer.answered().at(2).message, QString::fromUtf8("删除成功"));
    QTRY_COMPARE(manageRows(page).size(), before - 1);
    QVERIFY(!m_service.video("vidDel2").exists);
    QCOMPARE(m_service.requests("/v2/video/1001/del-video").size(), 1);
}

void TstVideoPages::deleteFailures_data()
{
    QTest::addColumn<bool>("clockOff");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("time stamp") << true << 0 << QByteArray() << QString::fromUtf8("请检查系统时间");
    QTest::newRow("server text") << false << 200
                                 << QByteArray(R"({"code":403,"status":"error","message":"no way."})")
                                 << QString("no way.");
    QTest::newRow("transfer") << false << 502 << QByteArray("bad gateway")
                              << QString::fromUtf8("删除视频失败\r\n请检查网络");
}

void TstVideoPages::deleteFailures()
{
    QFETCH(bool, clockOff);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    const int before = manageRows(page).size();
    if (clockOff)
        m_service.setClockOffsetMs(3 * 3600 * 1000);
    else
        m_service.answerNext(QStringLiteral("/v2/video/.*/del-video"), httpStatus, body);

    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    answerer.clickWhenShown("addBtn");
    child<QPushButton>(rowOf(page, "vidA"), "videoDelBtn")->click();
    QVERIFY(answerer.waitAnswered(2));
    QCOMPARE(answerer.answered().at(1).message, message);
    QTest::qWait(20);
    QCOMPARE(manageRows(page).size(), before);
    QVERIFY(m_service.video("vidA").exists);
}

void TstVideoPages::rowReplacedWhileQuestionOpen()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    listWith(page, listAnswer("1", {videoJson("q1", "question")}));
    ManagerWidget *row = manageRows(page).value(0);
    QVERIFY(row);
    const QByteArray newer = listAnswer("1", {videoJson("q2", "newer")});
    onModal("MessageInfo", [&page, newer](QWidget *dialog) {
        // an answer arrives while the question is open and replaces the rows
        page.managerThreadResultSlot(QString::fromUtf8(newer));
        QPointer<QWidget> guard(dialog);
        QTimer::singleShot(1000, [guard] {
            if (guard)
                guard->findChild<QPushButton *>("addBtn")->click();
        });
    });
    child<QPushButton>(row, "videoDelBtn")->click();
    QTest::qWait(50);
    QCOMPARE(manageRows(page).size(), 1);
    QCOMPARE(manageRows(page).first()->vid(), QString("q2"));
    QCOMPARE(m_service.requests("/v2/video/.*/del-video").size(), 0);
}

void TstVideoPages::editOnlyTitle()
{
    m_service.seed(R"({"videos":[{"vid":"vidE","owner":"1001","cataid":1,"title":"old","tag":"t","describ":"d"}]})");
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    ManagerWidget *row = rowOf(page, "vidE");
    QVERIFY(row);

    bool handled = false;
    QString shownTitle, shownTag;
    bool confirmDisabled = false;
    onModal("SetvideoDialog", [&](QWidget *dialog) {
        shownTitle = child<QLineEdit>(dialog, "titleEdit")->text();
        shownTag = child<QTextEdit>(dialog, "tagEdit")->toPlainText();
        child<QLineEdit>(dialog, "titleEdit")->setText("  New title  ");
        child<QTextEdit>(dialog, "tagEdit")->clear();
        child<QTextEdit>(dialog, "describEdit")->clear();
        child<QPushButton>(dialog, "Confirm")->click();
        confirmDisabled = !child<QPushButton>(dialog, "Confirm")->isEnabled();
        handled = true;
        // closes itself once the service accepted the change
    });
    child<QPushButton>(row, "videoSetupBtn")->click(); // returns when the dialog closed
    QVERIFY(handled);
    QCOMPARE(shownTitle, QString("old"));
    QCOMPARE(shownTag, QString("t"));
    QVERIFY(confirmDisabled);
    QCOMPARE(m_service.requests("/v2/video/1001/video-info").size(), 1);
    const devsvc::VideoState state = m_service.video("vidE");
    QCOMPARE(state.title, QString("New title"));
    QCOMPARE(state.tag, QString());
    QCOMPARE(labelText(row, "videoNameLbl"), QString("New title"));
    QCOMPARE(child<QLabel>(row, "videoNameLbl")->textFormat(), Qt::PlainText);
    QCOMPARE(row->title(), QString("New title"));
    QCOMPARE(row->tag(), QString("t")); // an emptied text leaves the row's copy
    QCOMPARE(row->describ(), QString("d"));
}

void TstVideoPages::editAllEmptySendsNothing()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    bool handled = false;
    onModal("SetvideoDialog", [&handled](QWidget *dialog) {
        child<QLineEdit>(dialog, "titleEdit")->setText("   ");
        child<QTextEdit>(dialog, "tagEdit")->clear();
        child<QTextEdit>(dialog, "describEdit")->clear();
        child<QPushButton>(dialog, "Confirm")->click();
        handled = true;
    });
    child<QPushButton>(rowOf(page, "vidA"), "videoSetupBtn")->click();
    QVERIFY(handled);
    QTest::qWait(20);
    QCOMPARE(m_service.requests("/v2/video/.*/video-info").size(), 0);
}

void TstVideoPages::editAndCoverFailures_data()
{
    QTest::addColumn<bool>("cover");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("tips");
    QTest::newRow("edit transfer") << false << 500 << QByteArray("{}")
                                   << QString::fromUtf8("更新文件信息失败,请检查网络");
    QTest::newRow("edit rejected") << false << 200
                                   << QByteArray(R"({"code":400,"status":"error","message":"parameter is too long."})")
                                   << QString("parameter is too long.");
    QTest::newRow("edit not json") << false << 200 << QByteArray("<html>") << QString();
    QTest::newRow("cover transfer") << true << 500 << QByteArray("{}")
                                    << QString::fromUtf8("上传预览图片失败,请检查网络");
    QTest::newRow("cover rejected") << true << 200
                                    << QByteArray(R"({"code":400,"status":"error","message":"image is empty."})")
                                    << QString();
}

void TstVideoPages::editAndCoverFailures()
{
    QFETCH(bool, cover);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, tips);
    const QString imagePath = m_files.filePath("failing.png");
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(imagePath));
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    ManagerWidget *row = rowOf(page, "vidA");
    QTRY_VERIFY(!row->isThumbnailPending());
    const QPixmap before = child<QLabel>(row, "thumbnailLbl")->pixmap(Qt::ReturnByValue);
    m_service.answerNext(cover ? QStringLiteral("/v2/video/.*/uploadCoverImage") : QStringLiteral("/v2/video/.*/video-info"),
                         httpStatus, body);

    QString shownTips = "unset";
    bool open = false, confirmEnabled = false, uploadEnabled = false;
    onModal("SetvideoDialog", [&](QWidget *widget) {
        auto *dialog = qobject_cast<SetVideoDialog *>(widget);
        dialog->setImageChooser([&imagePath](QWidget *, const QString &) { return imagePath; });
        auto *confirm = child<QPushButton>(dialog, "Confirm");
        auto *upload = child<QPushButton>(dialog, "upLoadpic");
        child<QLineEdit>(dialog, "titleEdit")->setText("changed");
        (cover ? upload : confirm)->click();
        QElapsedTimer clock;
        clock.start();
        while (!(confirm->isEnabled() && upload->isEnabled()) && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        open = dialog->isVisible();
        confirmEnabled = confirm->isEnabled();
        uploadEnabled = upload->isEnabled();
        shownTips = child<QLabel>(dialog, "tipsLabel")->text();
        dialog->close();
    });
    child<QPushButton>(row, "videoSetupBtn")->click();
    QVERIFY(open);
    QVERIFY(confirmEnabled);
    QVERIFY(uploadEnabled);
    QCOMPARE(shownTips, tips);
    QCOMPARE(row->title(), QString("Alpha")); // nothing changed in the row
    QCOMPARE(child<QLabel>(row, "thumbnailLbl")->pixmap(Qt::ReturnByValue).cacheKey(), before.cacheKey());
    QCOMPARE(m_service.video("vidA").title, QString("Alpha"));
}

void TstVideoPages::uploadingVideoRefusesSettings()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    ManagerWidget *row = rowOf(page, "vidU");
    QVERIFY(row);
    QCOMPARE(labelText(row, "videoStatusLbl"), QString::fromUtf8("上传中"));
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    child<QPushButton>(row, "videoSetupBtn")->click();
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().className, QString("MessageInfo"));
    QCOMPARE(answerer.last().message, QString::fromUtf8("视频上传中\r\n请稍后"));
}

void TstVideoPages::coverUploadReplacesThumbnail()
{
    const QString imagePath = m_files.filePath("cover.png");
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(imagePath));

    FakeVideoHost host;
    VideoManagePage page(&host);
    page.enterPage();
    QTRY_VERIFY(!page.isLoading());
    ManagerWidget *row = rowOf(page, "vidA");
    QTRY_VERIFY(!row->isThumbnailPending());

    bool stayedOpen = false;
    bool disabledWhileRunning = false;
    bool enabledAfter = false;
    QString tips = "unset";
    onModal("SetvideoDialog", [&](QWidget *widget) {
        auto *dialog = qobject_cast<SetVideoDialog *>(widget);
        dialog->setImageChooser([&imagePath](QWidget *, const QString &) { return imagePath; });
        auto *upload = child<QPushButton>(dialog, "upLoadpic");
        auto *confirm = child<QPushButton>(dialog, "Confirm");
        upload->click();
        disabledWhileRunning = !upload->isEnabled() && !confirm->isEnabled();
        QElapsedTimer clock;
        clock.start();
        while (!upload->isEnabled() && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        enabledAfter = upload->isEnabled() && confirm->isEnabled();
        stayedOpen = dialog->isVisible();
        tips = child<QLabel>(dialog, "tipsLabel")->text();
        dialog->close();
    });
    child<QPushButton>(row, "videoSetupBtn")->click();
    QVERIFY(disabledWhileRunning);
    QVERIFY(enabledAfter);
    QCOMPARE(tips, QString());
    QVERIFY(stayedOpen);
    QCOMPARE(m_service.requests("/v2/video/1001/uploadCoverImage").size(), 1);
    const QPixmap shown = child<QLabel>(row, "thumbnailLbl")->pixmap(Qt::ReturnByValue);
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.size(), QSize(16, 8));
}

void TstVideoPages::thumbnails_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expect"); // "image", "failure", "empty"
    QTest::newRow("404") << 404 << QByteArray("missing") << "failure";
    QTest::newRow("not an image") << 200 << QByteArray("plain text, no picture") << "empty";
    QTest::newRow("image") << 0 << QByteArray() << "image";
    QTest::newRow("large image is decoded small") << 200 << pngOfSize(1200, 800) << "image";
    QTest::newRow("declares 16000 x 16000") << 200 << pngDeclaring(16000, 16000) << "empty";
    QTest::newRow("declares 4097 x 10") << 200 << pngDeclaring(4097, 10) << "empty";
}

void TstVideoPages::thumbnails()
{
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, expect);
    if (httpStatus)
        m_service.answerNext(QStringLiteral("/images/.*"), httpStatus, body);
    FakeVideoHost host;
    VideoSearchPage search(&host);
    VideoManagePage page(&host);
    const QString url = m_service.baseUrl() + "/images/vidA.png";
    listWith(page, listAnswer("1", {videoJson("vidA", "a", "61", "1553673909123", url)}));
    ManagerWidget *row = manageRows(page).value(0);
    QVERIFY(row);
    QTRY_VERIFY(!row->isThumbnailPending());
    const QPixmap shown = child<QLabel>(row, "thumbnailLbl")->pixmap(Qt::ReturnByValue);
    const bool hasPicture = !shown.isNull();
    if (expect == "empty") {
        QVERIFY(!hasPicture);
    } else if (expect == "failure") {
        const QPixmap failure(QString::fromLatin1(kLoadFailurePicture));
        QCOMPARE(hasPicture, !failure.isNull());
        if (hasPicture)
            QCOMPARE(shown.size(), failure.size().scaled(kThumbnailSize, Qt::KeepAspectRatio));
    } else {
        QVERIFY(hasPicture);
    }
    // No row keeps a picture larger than its label.
    QVERIFY2(shown.width() <= kThumbnailSize.width() && shown.height() <= kThumbnailSize.height(),
             qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
}

void TstVideoPages::hugeDeclaredThumbnailsAreRefused()
{
    // Every row's thumbnail is a small file that declares 16000 x 16000:
    // decoded, each would take about 1 GB.
    m_service.answerNext(QStringLiteral("/images/.*"), 200, pngDeclaring(16000, 16000), -1);
    FakeVideoHost host;
    VideoSearchPage search(&host);
    VideoManagePage page(&host);
    QJsonArray videos;
    for (int i = 0; i < 10; ++i) {
        const QString vid = QStringLiteral("big%1").arg(i);
        videos.append(videoJson(vid, vid, "61", "1553673909123", m_service.baseUrl() + "/images/" + vid + ".png"));
    }
    const qint64 before = residentBytes();
    listWith(page, listAnswer("10", videos));
    const QList<ManagerWidget *> rows = manageRows(page);
    QCOMPARE(rows.size(), 10);
    for (ManagerWidget *row : rows)
        QTRY_VERIFY(!row->isThumbnailPending());
    for (ManagerWidget *row : rows)
        QVERIFY(child<QLabel>(row, "thumbnailLbl")->pixmap(Qt::ReturnByValue).isNull());
    const qint64 grown = residentBytes() - before;
    QVERIFY2(grown < 50 * 1024 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(grown)));
    m_service.clearFaults();
}

void TstVideoPages::copyJsAndReview()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    VideoSearchPage search(&host);
    const QString longTitle(300, QLatin1Char('M'));
    QJsonObject video = videoJson("abc", longTitle);
    QJsonObject empty = videoJson("e1", "no sizes");
    empty.insert("playerwidth", "");
    empty.insert("playerheight", "");
    listWith(page, listAnswer("2", {video, empty}));

    QVERIFY(child<QWidget>(&page, "reviewCodeBtnM")->isHidden());
    child<QComboBox>(&page, "duplicateCbxM")->setCurrentIndex(3);
    QApplication::clipboard()->setText("before");
    child<QPushButton>(rowOf(page, "abc"), "videoOperationBtn")->click();
    QTRY_VERIFY(!child<QWidget>(&page, "reviewCodeBtnM")->isHidden());
    QVERIFY(!child<QWidget>(&page, "copySuccessLblM")->isHidden());
    QVERIFY(child<QWidget>(&search, "reviewCodeBtnS")->isHidden());
    QVERIFY(child<QWidget>(&search, "copySuccessLblS")->isHidden());

    const QString code = QApplication::clipboard()->text();
    const QStringList lines = code.split("\r\n");
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.at(1), QString("<div id='zvx_abc'></div>"));
    QCOMPARE(lines.at(4), QString("    'width':'600',"));
    QCOMPARE(lines.at(0), "<script src='//" + embedcode::playerHostName() + "/script/zavixplayer.min.js'></script>");
    QCOMPARE(child<QListWidget>(&page, "managerListWidget")->currentRow(), 0);
    QCOMPARE(page.lastCopy().type, QString("Js"));

    QString dialogTitle, dialogCode, header;
    onModal("CopyCodeDialog", [&](QWidget *dialog) {
        dialogTitle = child<QLabel>(dialog, "titleLabel")->text();
        dialogCode = child<QPlainTextEdit>(dialog, "codeEdit")->toPlainText();
        header = child<QLabel>(dialog, "headerLbl")->text();
        child<QPushButton>(dialog, "addBtn")->click();
    });
    child<QPushButton>(&page, "reviewCodeBtnM")->click();
    QCOMPARE(dialogTitle, QString::fromUtf8("代码已复制至剪贴板(Js)"));
    // the editor shows the CR LF pairs as line breaks
    QCOMPARE(dialogCode, QString(code).replace("\r\n", "\n"));
    QVERIFY(header.endsWith("\r\nabc"));
    QVERIFY(header.contains(QChar(0x2026)));
    QVERIFY(header.size() < longTitle.size());
    QTRY_VERIFY(!page.findChild<CopyCodeDialog *>());
    QCOMPARE(QApplication::clipboard()->text(), code); // reviewing does not copy again

    // Html with empty player sizes keeps empty quotes
    child<QComboBox>(&page, "duplicateCbxM")->setCurrentIndex(2);
    child<QPushButton>(rowOf(page, "e1"), "videoOperationBtn")->click();
    QTRY_VERIFY(QApplication::clipboard()->text() != code);
    QVERIFY(QApplication::clipboard()->text().contains("width=\"\" height=\"\""));
    QCOMPARE(child<QListWidget>(&page, "managerListWidget")->currentRow(), 1);
    QVERIFY(child<QWidget>(&search, "reviewCodeBtnS")->isHidden());
}

void TstVideoPages::copyVidOnSearchPage()
{
    FakeVideoHost host;
    VideoManagePage page(&host);
    VideoSearchPage search(&host);
    child<QLineEdit>(&search, "searchEdit")->setText("x");
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200,
                         listAnswer("2", {videoJson("s-1", "first"), videoJson("s-2", "second")}));
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    QCOMPARE(child<QComboBox>(&search, "duplicateCbxS")->currentIndex(), 0);
    child<QPushButton>(searchRows(search).at(1), "videoOperationBtn")->click();
    QTRY_VERIFY(!child<QWidget>(&search, "reviewCodeBtnS")->isHidden());
    QCOMPARE(QApplication::clipboard()->text(), QString("s-2"));
    QCOMPARE(search.lastCopy().type, QString("VID"));
    QCOMPARE(search.lastCopy().header, QString::fromUtf8("标题:second\r\ns-2"));
    QCOMPARE(child<QListWidget>(&search, "searchListWidget")->currentRow(), 1);
    QVERIFY(!child<QWidget>(&search, "copySuccessLblS")->isHidden());
    QVERIFY(child<QWidget>(&page, "reviewCodeBtnM")->isHidden());
    QCOMPARE(page.lastCopy().code, QString()); // each page keeps its own last copy
}

void TstVideoPages::searchEmptyKeyword()
{
    FakeVideoHost host;
    VideoSearchPage search(&host);
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    child<QPushButton>(&search, "searchBtn")->click();
    QCOMPARE(answerer.last().message, QString::fromUtf8("请输入要查找的视频标题"));
    QVERIFY(!search.isLoading());
    QCOMPARE(m_service.requests("/v2/video/.*/list").size(), 0);
}

void TstVideoPages::emptyKeywordDuringSearchKeepsItLoading()
{
    FakeVideoHost host;
    VideoSearchPage search(&host);
    auto *edit = child<QLineEdit>(&search, "searchEdit");
    m_service.stallNext(QStringLiteral("/v2/video/.*/list"));
    edit->setText("Alpha");
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_COMPARE(m_service.stalledCount(), 1);

    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    edit->clear();
    child<QPushButton>(&search, "searchBtn")->click();
    QCOMPARE(answerer.last().message, QString::fromUtf8("请输入要查找的视频标题"));
    QVERIFY(search.isLoading());

    // pressing again while the first search hangs neither waits nor asks again
    edit->setText("Beta");
    QElapsedTimer clock;
    clock.start();
    child<QPushButton>(&search, "searchBtn")->click();
    QVERIFY(clock.elapsed() < 1000);
    m_service.releaseStalls();
    QTRY_VERIFY(!search.isLoading());
    QVERIFY(child<QWidget>(&search, "loadinSLbl")->isHidden());
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
    QCOMPARE(searchRows(search).size(), 1);
    QCOMPARE(searchRows(search).first()->vid(), QString("vidA"));
}

void TstVideoPages::searchAgainstService()
{
    FakeVideoHost host;
    VideoSearchPage search(&host);
    child<QLineEdit>(&search, "searchEdit")->setText("Beta");
    QTest::keyClick(child<QLineEdit>(&search, "searchEdit"), Qt::Key_Return);
    QTRY_VERIFY(!search.isLoading());
    const auto log = m_service.requests("/v2/video/1001/list");
    QCOMPARE(log.size(), 1);
    QVERIFY(log.first().query.startsWith("cataflag=0&cataid=1&keyword=Beta&numPerPage=20&pageNum=1&ptime="));
    QCOMPARE(log.first().status, 200);
    const QList<SearchWidget *> rows = searchRows(search);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first()->vid(), QString("vidB"));
    QCOMPARE(rows.first()->cataid(), QString("5"));
    QCOMPARE(child<QPushButton>(rows.first(), "cataBtn")->text(), QString::fromUtf8("课程"));
    QCOMPARE(child<QPushButton>(rows.first(), "cataBtn")->toolTip(), QString::fromUtf8("课程"));
    QCOMPARE(labelText(rows.first(), "videoDurationLbl"), QString("00:01:30"));
    QVERIFY(!child<QWidget>(&search, "searchFrame")->isHidden());
    QVERIFY(child<QWidget>(&search, "searchPageIndexFrame")->isHidden());

    // a keyword with blanks and Chinese characters is encoded in the URL
    m_service.clearRequestLog();
    child<QLineEdit>(&search, "searchEdit")->setText(QString::fromUtf8("课 程"));
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    QVERIFY(m_service.requests("/v2/video/1001/list").first().query.contains("keyword=%E8%AF%BE+%E7%A8%8B&"));
    QCOMPARE(m_service.requests("/v2/video/1001/list").first().status, 200);
}

void TstVideoPages::searchSortByName()
{
    FakeVideoHost host;
    VideoSearchPage search(&host);
    child<QComboBox>(&search, "sortComboBox")->setCurrentIndex(1); // no rows yet: no request
    QCOMPARE(m_service.requests("/v2/video/.*/list").size(), 0);
    child<QLineEdit>(&search, "searchEdit")->setText("same");
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200,
                         listAnswer("2", {videoJson("first", "same"), videoJson("second", "same")}));
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    QList<SearchWidget *> rows = searchRows(search);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0)->vid(), QString("second"));
    QCOMPARE(rows.at(1)->vid(), QString("first"));
    QVERIFY(labelText(&search, "fileNumLblS").contains(">2</font>"));

    // back to time order: a new request, rows in answer order
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200,
                         listAnswer("2", {videoJson("first", "same"), videoJson("second", "same")}));
    child<QComboBox>(&search, "sortComboBox")->setCurrentIndex(0);
    QTRY_VERIFY(!search.isLoading());
    rows = searchRows(search);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0)->vid(), QString("first"));
}

void TstVideoPages::searchFailures_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("transfer") << 500 << QByteArray("{}") << QString::fromUtf8("搜索视频失败，请检查您的网络");
    QTest::newRow("not json") << 200 << QByteArray("[]") << QString::fromUtf8("搜索视频失败，请检查您的网络");
    QTest::newRow("time") << 200 << QByteArray(R"({"code":400,"status":"error","message":"ptime is illegal."})")
                          << QString::fromUtf8("搜索视频失败，请检查您的系统时间");
}

void TstVideoPages::searchFailures()
{
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    FakeVideoHost host;
    VideoSearchPage search(&host);
    child<QLineEdit>(&search, "searchEdit")->setText("Alpha");
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    QVERIFY(!child<QWidget>(&search, "searchFrame")->isHidden());

    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), httpStatus, body);
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().message, message);
    QVERIFY(child<QWidget>(&search, "searchFrame")->isHidden());
    QVERIFY(child<QWidget>(&search, "sortComboBox")->isEnabled());
    QVERIFY(child<QWidget>(&search, "searchPageList")->isEnabled());
}

void TstVideoPages::openSearchResultCategory_data()
{
    QTest::addColumn<QString>("cataid");
    QTest::addColumn<bool>("found");
    QTest::newRow("in the tree") << "5" << true;
    QTest::newRow("not in the tree") << "77" << false;
}

void TstVideoPages::openSearchResultCategory()
{
    QFETCH(QString, cataid);
    QFETCH(bool, found);
    FakeVideoHost host;
    VideoManagePage page(&host);
    VideoSearchPage search(&host);
    connect(&search, &VideoSearchPage::openCategoryRequested, &page, &VideoManagePage::openCategory);
    QJsonObject other = videoJson("x2", "two");
    other.insert("cataid", cataid);
    m_service.answerNext(QStringLiteral("/v2/video/.*/list"), 200,
                         listAnswer("2", {videoJson("x1", "one"), other}));
    child<QLineEdit>(&search, "searchEdit")->setText("o");
    child<QPushButton>(&search, "searchBtn")->click();
    QTRY_VERIFY(!search.isLoading());
    m_service.clearRequestLog();

    DialogAnswerer answerer;
    if (!found)
        answerer.clickWhenShown("addBtn");
    child<QPushButton>(searchRows(search).at(1), "cataBtn")->click();
    QTRY_COMPARE(child<QListWidget>(&search, "searchListWidget")->currentRow(), 1);
    if (found) {
        QCOMPARE(host.shownCategories, QStringList{cataid});
        QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
        QTRY_VERIFY(!page.isLoading());
        QVERIFY(m_service.requests("/v2/video/1001/list").first().query.contains("&cataid=5&"));
        QCOMPARE(page.lastListedCategoryId(), cataid);
    } else {
        QCOMPARE(answerer.answeredCount(), 1);
        QCOMPARE(answerer.last().message, QString::fromUtf8("该目录不存在"));
        QVERIFY(host.shownCategories.isEmpty());
        QCOMPARE(m_service.requests("/v2/video/.*/list").size(), 0);
    }
}

int main(int argc, char **argv)
{
    // Modification times are shown in local time: fix the zone.
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    QApplication app(argc, argv);
    TstVideoPages test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_videopages.moc"
