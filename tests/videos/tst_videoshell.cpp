// The video pages inside the main window: entering the manage page, tree
// clicks, and a search result opening its category.
#include "videotestfixture.h"

#include "app/shell/zavixuploadclient.h"
#include "library/searchwidget.h"
#include "library/videomanagepage.h"
#include "library/videosearchpage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

const char kLoginCategories[] =
    R"({"code":200,"status":"success","message":"","data":{"userLevel":6,"cataid":1,)"
    R"("cataList":[{"cataid":5,"parentid":1,"cataname":"课程","catatree":"1,5"}]}})";

template <class T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning() << "no child" << name;
    return found;
}

} // namespace

class TstVideoShell final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void managePageInTheWindow();
    void searchResultOpensItsCategory();

private:
    std::unique_ptr<ZavixUploadClient> makeWindow();
    QString lastListQueryValue(const QString &key) const;

    QTemporaryDir m_dir;
    devsvc::DevService m_service;
    AccountRecord m_account;
};

void TstVideoShell::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const devsvc::OpResult seeded = m_service.seed(videoSeed());
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service.baseUrl().toUtf8());

    m_account.email = QStringLiteral("six@zavix.test");
    m_account.uid = m_account.userId = QStringLiteral("1001");
    m_account.secretKey = QStringLiteral("SK-1001");
    m_account.userLevel = QStringLiteral("6");
    m_account.uploadType = QStringLiteral("0");
    m_account.leftDay = 30;
    m_account.cataJson = QString::fromUtf8(kLoginCategories);
}

void TstVideoShell::cleanupTestCase()
{
    m_service.stop();
}

std::unique_ptr<ZavixUploadClient> TstVideoShell::makeWindow()
{
    auto w = std::make_unique<ZavixUploadClient>(&m_account);
    w->setRestartAction([] {});
    w->show();
    return w;
}

QString TstVideoShell::lastListQueryValue(const QString &key) const
{
    const auto log = m_service.requests("/v2/video/1001/list");
    return log.isEmpty() ? QString() : QUrlQuery(log.last().query).queryItemValue(key);
}

void TstVideoShell::managePageInTheWindow()
{
    m_service.clearRequestLog();
    auto w = makeWindow();
    auto *tree = child<QTreeView>(w.get(), "managerTreeView");
    QTRY_COMPARE(tree->model() ? tree->model()->rowCount() : 0, 1);
    auto *manage = child<VideoManagePage>(w.get(), "videoManagePage");
    QVERIFY(manage);
    QVERIFY(manage->isVisibleTo(child<QWidget>(w.get(), "managePage")));
    auto *stack = child<QStackedWidget>(w.get(), "stackedWidget");

    child<QAbstractButton>(w.get(), "leftManagerBtn")->click();
    QCOMPARE(stack->currentIndex(), 1);
    QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
    QTRY_VERIFY(!manage->isLoading());
    QCOMPARE(lastListQueryValue("cataid"), QString("1"));
    QCOMPARE(child<QListWidget>(manage, "managerListWidget")->count(), 3);

    // leaving and entering again for the same category asks nothing
    child<QAbstractButton>(w.get(), "leftUploadBtn")->click();
    child<QAbstractButton>(w.get(), "leftManagerBtn")->click();
    QTest::qWait(50);
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 1);

    // a tree click on the manage page lists that category from page 1
    const QModelIndex course = tree->model()->index(0, 0, tree->model()->index(0, 0));
    QCOMPARE(course.data().toString(), QString::fromUtf8("课程"));
    w->on_managerTreeView_clicked(course);
    QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 2);
    QTRY_VERIFY(!manage->isLoading());
    QCOMPARE(lastListQueryValue("cataid"), QString("5"));
    QCOMPARE(lastListQueryValue("pageNum"), QString("1"));
    QCOMPARE(child<QListWidget>(manage, "managerListWidget")->count(), 1);

    // a click on the upload page only changes the category; entering lists it
    child<QAbstractButton>(w.get(), "leftUploadBtn")->click();
    w->on_managerTreeView_clicked(tree->model()->index(0, 0));
    QTest::qWait(50);
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 2);
    child<QAbstractButton>(w.get(), "leftManagerBtn")->click();
    QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 3);
    QTRY_VERIFY(!manage->isLoading());
    QCOMPARE(lastListQueryValue("cataid"), QString("1"));
}

void TstVideoShell::searchResultOpensItsCategory()
{
    m_service.clearRequestLog();
    auto w = makeWindow();
    auto *tree = child<QTreeView>(w.get(), "managerTreeView");
    QTRY_COMPARE(tree->model() ? tree->model()->rowCount() : 0, 1);
    auto *manage = child<VideoManagePage>(w.get(), "videoManagePage");
    auto *search = child<VideoSearchPage>(w.get(), "videoSearchPage");
    QVERIFY(manage && search);

    child<QAbstractButton>(w.get(), "leftSearchBtn")->click();
    QVERIFY(child<QWidget>(w.get(), "cataTreeFrame")->isHidden());
    child<QLineEdit>(search, "searchEdit")->setText("Beta");
    child<QPushButton>(search, "searchBtn")->click();
    QTRY_VERIFY(!search->isLoading());
    auto *results = child<QListWidget>(search, "searchListWidget");
    QCOMPARE(results->count(), 1);
    auto *row = qobject_cast<SearchWidget *>(results->itemWidget(results->item(0)));
    QVERIFY(row);
    m_service.clearRequestLog();

    child<QPushButton>(row, "cataBtn")->click();
    auto *stack = child<QStackedWidget>(w.get(), "stackedWidget");
    QTRY_COMPARE(stack->currentIndex(), 1);
    QVERIFY(child<QAbstractButton>(w.get(), "leftManagerBtn")->isChecked());
    QVERIFY(!child<QWidget>(w.get(), "cataTreeFrame")->isHidden());
    QCOMPARE(tree->currentIndex().data(kCategoryIdRole).toString(), QString("5"));
    QTRY_COMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
    QTRY_VERIFY(!manage->isLoading());
    QCOMPARE(lastListQueryValue("cataid"), QString("5"));
    QCOMPARE(results->currentRow(), 0);

    // entering the manage page again for that category asks nothing more
    child<QAbstractButton>(w.get(), "leftUploadBtn")->click();
    child<QAbstractButton>(w.get(), "leftManagerBtn")->click();
    QTest::qWait(50);
    QCOMPARE(m_service.requests("/v2/video/1001/list").size(), 1);
}

QTEST_MAIN(TstVideoShell)
#include "tst_videoshell.moc"
