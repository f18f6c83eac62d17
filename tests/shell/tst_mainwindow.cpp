// The main window: account area, navigation, moving and resizing, the account
// menu's dialogs, the log-out and close paths, and the category column
// against the local service.

#include "app/shell/zavixuploadclient.h"

#include "account/accountrecord.h"
#include "devservice/devservice.h"
#include "dialoghelper.h"
#include "library/addcatadialog.h"
#include "library/categorytree.h"
#include "net/api.h"
#include "net/closingflag.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

const char kSeed[] = R"({
  "accounts": [
    {"userId": "1001", "email": "owner@example.com", "password": "pw", "secretKey": "key1001",
     "packageType": "企业版", "uploadType": "0", "leftDay": 30, "remainBytes": 10737418240, "cataid": 1},
    {"userId": "2002", "email": "sub@example.com", "password": "pw", "secretKey": "key2002",
     "packageType": "企业版", "uploadType": "1", "leftDay": 30, "remainBytes": 10737418240, "cataid": 1,
     "parentUserId": "1001"}
  ],
  "categories": [
    {"cataid": 5, "parentid": 1, "cataname": "课程", "owner": "1001"},
    {"cataid": 9, "parentid": 5, "cataname": "第一章", "owner": "1001"}
  ]
})";

QString loginCategoryAnswer()
{
    return QStringLiteral(
        R"({"code":200,"status":"success","message":"","data":{"userLevel":1,"cataid":1,"cataList":[)"
        R"({"cataid":5,"parentid":1,"cataname":"课程","catatree":"1,5"},)"
        R"({"cataid":9,"parentid":5,"cataname":"第一章","catatree":"1,5,9"}]}})");
}

struct Recorder
{
    QStringList calls;
    int restarts = 0;
    QList<QUrl> urls;
};

template <class T>
T *child(QWidget *window, const char *name)
{
    T *w = window->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("missing widget %s", name);
    return w;
}

void sendMouse(QWidget *w, QEvent::Type type, const QPoint &local, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    const QPoint global = w->mapToGlobal(local);
    QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Moves with the left button held, given as a global position.
void sendMoveGlobal(QWidget *w, const QPoint &global)
{
    const QPoint local = w->mapFromGlobal(global);
    QMouseEvent event(QEvent::MouseMove, QPointF(local), QPointF(local), QPointF(global), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void imagesOfTheWindowLoad();
    void accountArea_data();
    void accountArea();
    void userDataFolderIsCreated();
    void firstTreeComesFromLoginAnswer();
    void navigation_data();
    void navigation();
    void leftEdgeResize();
    void cursorFollowsHandles();
    void dragMovesWindow();
    void dragOfMaximisedWindowRestoresIt();
    void doubleClickTogglesMaximised();
    void windowButtons();
    void accountMenu_data();
    void accountMenu();
    void managePageListsSameCategoryOnce();
    void treeClickPerPage();
    void packageInfo_data();
    void packageInfo();
    void links();
    void logOutWithEmptyListRestarts();
    void closeWithTasks_data();
    void closeWithTasks();
    void logOutWithTasksCancelled();
    void closeWhileFillingStaysOpen();
    void treeTimeRejection();
    void refreshDisablesButtonsUntilAnswer();
    void failedRefreshReenablesButtons();
    void addCategoryThroughWindow();
    void addedCategoryWithoutIdReloadsTheTree();

private:
    std::unique_ptr<ZavixUploadClient> makeWindow(AccountRecord &account);
    AccountRecord ownerAccount() const;
    void installHooks(ZavixUploadClient &w, bool empty, bool filling);

    QTemporaryDir m_dir;
    devsvc::DevService m_service;
    Recorder m_rec;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const devsvc::OpResult seeded = m_service.seed(QByteArray(kSeed));
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service.baseUrl().toUtf8());
}

void TestMainWindow::init()
{
    m_rec = Recorder();
    resetClosingForTest();
    m_service.clearFaults();
    m_service.clearRequestLog();
}

void TestMainWindow::cleanup()
{
    resetClosingForTest();
}

AccountRecord TestMainWindow::ownerAccount() const
{
    AccountRecord a;
    a.email = QStringLiteral("owner@example.com");
    a.uid = QStringLiteral("1001");
    a.userId = QStringLiteral("1001");
    a.remainSpace = QStringLiteral("10.00");
    a.packageType = QStringLiteral("企业版");
    a.secretKey = QStringLiteral("key1001");
    a.leftDay = 30;
    a.uploadType = QStringLiteral("0");
    a.cataJson = loginCategoryAnswer();
    a.userLevel = QStringLiteral("1");
    return a;
}

std::unique_ptr<ZavixUploadClient> TestMainWindow::makeWindow(AccountRecord &account)
{
    auto w = std::make_unique<ZavixUploadClient>(&account);
    w->setRestartAction([this] { ++m_rec.restarts; });
    w->setUrlOpener([this](const QUrl &url) { m_rec.urls << url; });
    w->move(100, 100);
    w->show();
    return w;
}

void TestMainWindow::installHooks(ZavixUploadClient &w, bool empty, bool filling)
{
    ShellHooks &h = w.hooks();
    h.isUploadListEmpty = [empty] { return empty; };
    h.isFillingUploadList = [filling] { return filling; };
    h.saveUploadRecordsAndClear = [this] { m_rec.calls << "uploads"; };
    h.saveHistory = [this] { m_rec.calls << "history"; };
    h.saveSettings = [this] { m_rec.calls << "settings"; };
    h.saveNetParams = [this] { m_rec.calls << "netparams"; };
    h.stopRunningUploads = [this] { m_rec.calls << "stop rows"; };
}

void TestMainWindow::imagesOfTheWindowLoad()
{
    // Every picture the window's style rules name, plus the ones set in code.
    if (qEnvironmentVariableIsEmpty("ZAVIX_TEST_SOURCE_DIR"))
        QSKIP("needs ZAVIX_TEST_SOURCE_DIR (set by ctest)");
    QFile qss(qEnvironmentVariable("ZAVIX_TEST_SOURCE_DIR") + QStringLiteral("/resources/qss/30-mainwindow.qss"));
    QVERIFY(qss.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(qss.readAll());
    QStringList paths = {QStringLiteral(":/res/Resources/ZAVIX-Desktop.ico"),
                         QStringLiteral(":/res/Resources/icon-folder-close.png"),
                         QStringLiteral(":/res/Resources/icon-folder-open.png"),
                         QStringLiteral(":/res/Resources/folderNull.png"),
                         QStringLiteral(":/res/Resources/noSearch.png"),
                         QStringLiteral(":/res/Resources/loadFailure.png")};
    const QRegularExpression url(QStringLiteral(R"(url\((:/res/Resources/[^)]+)\))"));
    auto it = url.globalMatch(text);
    while (it.hasNext())
        paths << it.next().captured(1);
    QVERIFY(paths.size() > 30);
    for (const QString &path : paths)
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
}

void TestMainWindow::accountArea_data()
{
    QTest::addColumn<bool>("isChild");
    QTest::newRow("normal account") << false;
    QTest::newRow("child account") << true;
}

void TestMainWindow::accountArea()
{
    QFETCH(bool, isChild);
    AccountRecord account = ownerAccount();
    account.isChild = isChild;
    auto w = makeWindow(account);
    QCOMPARE(child<QLabel>(w.get(), "accountNameLabel")->text(), QStringLiteral("owner@example.com"));
    QCOMPARE(child<QLabel>(w.get(), "packageLbl")->text(),
             isChild ? QString() : QStringLiteral("( 企业版"));
    QCOMPARE(child<QLabel>(w.get(), "remainDaysLabel")->text(),
             isChild ? QString() : QStringLiteral("剩余30天 )"));
    for (const char *name : {"accountOperaBtn", "renewBtn", "frame_14"})
        QCOMPARE(child<QWidget>(w.get(), name)->isVisible(), !isChild);
    QCOMPARE(w->windowTitle(), QStringLiteral("Zavix上传客户端"));
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w->size(), QSize(1280, 720));
    QCOMPARE(w->minimumSize(), QSize(1280, 720));
}

void TestMainWindow::userDataFolderIsCreated()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    const QString md5 = QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayLiteral("owner@example.com"), QCryptographicHash::Md5).toHex());
    const QString expected = QDir::currentPath() + QStringLiteral("/users/") + md5 + QLatin1Char('/');
    QCOMPARE(w->userDataFolder(), expected);
    QVERIFY(QDir(expected).exists());
}

void TestMainWindow::firstTreeComesFromLoginAnswer()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    CategoryTree *tree = w->categoryTree();
    QCOMPARE(tree->model()->rowCount(), 0); // built once the event loop runs
    QTRY_COMPARE(tree->model()->rowCount(), 1);
    QStandardItem *root = tree->model()->item(0, 0);
    QCOMPARE(root->text(), QStringLiteral("默认分类"));
    QCOMPARE(root->child(0)->text(), QStringLiteral("课程"));
    QCOMPARE(root->child(0)->child(0)->text(), QStringLiteral("第一章"));
    QCOMPARE(tree->currentId(), QStringLiteral("1"));
    QVERIFY(child<QTreeView>(w.get(), "managerTreeView")->isExpanded(root->index()));
    QVERIFY(m_service.requests(QStringLiteral("/v2/video/.*/cata")).isEmpty());
}

void TestMainWindow::navigation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("treeShown");
    QTest::newRow("manage") << "leftManagerBtn" << 1 << true;
    QTest::newRow("search") << "leftSearchBtn" << 2 << false;
    QTest::newRow("history") << "leftHistoryBtn" << 3 << false;
    QTest::newRow("settings") << "settingBtn" << 4 << false;
    QTest::newRow("upload") << "leftUploadBtn" << 0 << true;
}

void TestMainWindow::navigation()
{
    QFETCH(QString, button);
    QFETCH(int, page);
    QFETCH(bool, treeShown);
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    int managerEntries = 0;
    w->hooks().enterManagePage = [&managerEntries](const CategoryRef &) { ++managerEntries; };
    auto *stack = child<QStackedWidget>(w.get(), "stackedWidget");
    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(child<QCheckBox>(w.get(), "leftUploadBtn")->isChecked());

    // Leave page 0 first so that going to the upload page is a change too.
    child<QCheckBox>(w.get(), "leftHistoryBtn")->click();
    child<QCheckBox>(w.get(), button.toLatin1().constData())->click();
    QCOMPARE(stack->currentIndex(), page);
    QCOMPARE(child<QFrame>(w.get(), "cataTreeFrame")->isVisible(), treeShown);
    QCOMPARE(stack->currentWidget()->objectName(),
             QStringList({"uploadPage", "managePage", "searchPage", "historyPage", "settingPage"}).at(page));
    QVERIFY(child<QCheckBox>(w.get(), button.toLatin1().constData())->isChecked());
    QCOMPARE(child<QCheckBox>(w.get(), "leftHistoryBtn")->isChecked(), button == "leftHistoryBtn");
    QCOMPARE(managerEntries, page == 1 ? 1 : 0);
}

void TestMainWindow::leftEdgeResize()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    w->setGeometry(200, 100, 1280, 720);
    const QRect start = w->geometry();
    const QPoint pressLocal(2, 300);
    const QPoint pressGlobal = w->mapToGlobal(pressLocal);

    sendMouse(w.get(), QEvent::MouseButtonPress, pressLocal, Qt::LeftButton, Qt::LeftButton);
    sendMoveGlobal(w.get(), pressGlobal + QPoint(60, 0)); // inwards: below the minimum width
    QCOMPARE(w->geometry(), start);
    sendMoveGlobal(w.get(), pressGlobal + QPoint(-90, 10)); // outwards
    QCOMPARE(w->geometry().left(), start.left() - 90);
    QCOMPARE(w->geometry().right(), start.right());
    QCOMPARE(w->geometry().height(), start.height());
    sendMouse(w.get(), QEvent::MouseButtonRelease, w->mapFromGlobal(pressGlobal + QPoint(-90, 10)), Qt::LeftButton,
              Qt::NoButton);
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);

    // The handles follow the new size: the right band is at the new width.
    sendMouse(w.get(), QEvent::MouseMove, QPoint(w->width() - 2, 300), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w->cursor().shape(), Qt::SizeHorCursor);
}

void TestMainWindow::cursorFollowsHandles()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    const QList<QPair<QPoint, Qt::CursorShape>> cases = {
        {QPoint(1, 1), Qt::SizeFDiagCursor},       {QPoint(600, 2), Qt::SizeVerCursor},
        {QPoint(1278, 1), Qt::SizeBDiagCursor},    {QPoint(1278, 300), Qt::SizeHorCursor},
        {QPoint(1278, 718), Qt::SizeFDiagCursor},  {QPoint(600, 718), Qt::SizeVerCursor},
        {QPoint(1, 718), Qt::SizeBDiagCursor},     {QPoint(1, 300), Qt::SizeHorCursor},
        {QPoint(600, 300), Qt::ArrowCursor},
    };
    for (const auto &c : cases) {
        sendMouse(w.get(), QEvent::MouseMove, c.first, Qt::NoButton, Qt::NoButton);
        QCOMPARE(w->cursor().shape(), c.second);
    }
}

void TestMainWindow::dragMovesWindow()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    w->move(100, 100);
    const QPoint start = w->pos();
    const QPoint press(400, 30);
    const QPoint pressGlobal = w->mapToGlobal(press);
    sendMouse(w.get(), QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    sendMoveGlobal(w.get(), pressGlobal + QPoint(35, 12));
    QCOMPARE(w->pos(), start + QPoint(35, 12));
    sendMouse(w.get(), QEvent::MouseButtonRelease, press, Qt::LeftButton, Qt::NoButton);

    // A press outside the drag area (the navigation column) does not drag.
    sendMouse(w.get(), QEvent::MouseButtonPress, QPoint(40, 300), Qt::LeftButton, Qt::LeftButton);
    sendMoveGlobal(w.get(), w->mapToGlobal(QPoint(40, 300)) + QPoint(50, 50));
    QCOMPARE(w->pos(), start + QPoint(35, 12));
    sendMouse(w.get(), QEvent::MouseButtonRelease, QPoint(40, 300), Qt::LeftButton, Qt::NoButton);
}

void TestMainWindow::dragOfMaximisedWindowRestoresIt()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    auto *maxBox = child<QCheckBox>(w.get(), "maxCBX");
    maxBox->click();
    QVERIFY(maxBox->isChecked());
    QTRY_VERIFY(w->isMaximized());

    const QPoint press(300, 30);
    const QPoint pressGlobal = w->mapToGlobal(press);
    sendMouse(w.get(), QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    sendMoveGlobal(w.get(), pressGlobal + QPoint(20, 40));
    QVERIFY(!maxBox->isChecked());
    QVERIFY(!w->isMaximized());
    QCOMPARE(w->size(), QSize(1280, 720));
    // The pressed point stays under the pointer.
    const QPoint inWindow = w->mapFromGlobal(pressGlobal + QPoint(20, 40));
    QVERIFY(w->rect().contains(inWindow));
    QCOMPARE(inWindow.y(), press.y());
    sendMouse(w.get(), QEvent::MouseButtonRelease, inWindow, Qt::LeftButton, Qt::NoButton);
}

void TestMainWindow::doubleClickTogglesMaximised()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    auto *maxBox = child<QCheckBox>(w.get(), "maxCBX");
    sendMouse(w.get(), QEvent::MouseButtonDblClick, QPoint(500, 30), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(maxBox->isChecked());
    QTRY_VERIFY(w->isMaximized());
    sendMouse(w.get(), QEvent::MouseButtonDblClick, QPoint(500, 30), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!maxBox->isChecked());
    QTRY_VERIFY(!w->isMaximized());
    QCOMPARE(w->size(), QSize(1280, 720));
    // Outside the drag area nothing happens.
    sendMouse(w.get(), QEvent::MouseButtonDblClick, QPoint(500, 400), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!maxBox->isChecked());
}

void TestMainWindow::windowButtons()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    auto *maxBox = child<QCheckBox>(w.get(), "maxCBX");
    maxBox->click();
    QTRY_VERIFY(w->isMaximized());
    maxBox->click();
    QTRY_VERIFY(!w->isMaximized());
    child<QPushButton>(w.get(), "minimizeBtn")->click();
    QTRY_VERIFY(w->isMinimized());
}

void TestMainWindow::accountMenu_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("effect");
    QTest::newRow("package information") << 0 << "dialog";
    QTest::newRow("about us") << 1 << "/contact/";
    QTest::newRow("log out") << 2 << "closed";
}

void TestMainWindow::accountMenu()
{
    QFETCH(int, action);
    QFETCH(QString, effect);
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    installHooks(*w, /*empty=*/true, /*filling=*/false);
    DialogAnswerer answerer;
    if (effect == QLatin1String("dialog"))
        answerer.clickWhenShown(QStringLiteral("addBtn"));

    QString menuName;
    QStringList texts;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || !menuName.isEmpty())
            return;
        menuName = menu->objectName();
        for (QAction *a : menu->actions())
            texts << a->text();
        menu->actions().at(action)->trigger();
        menu->close();
    });
    poll.start();
    child<QPushButton>(w.get(), "accountOperaBtn")->click();
    QTRY_VERIFY(!menuName.isEmpty());
    poll.stop();
    QCOMPARE(menuName, QStringLiteral("accountMenu"));
    QCOMPARE(texts, QStringList({"套餐信息", "关于我们", "退出登录"}));
    if (effect == QLatin1String("dialog")) {
        QVERIFY(answerer.waitAnswered(1));
        QVERIFY(answerer.last().message.startsWith(QStringLiteral("尊敬的owner@example.com")));
    } else if (effect == QLatin1String("closed")) {
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(w->isChangingAccount());
    } else {
        QCOMPARE(m_rec.urls.size(), 1);
        QCOMPARE(m_rec.urls.at(0).path(), effect);
    }
}

void TestMainWindow::managePageListsSameCategoryOnce()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    QTRY_COMPARE(w->categoryTree()->model()->rowCount(), 1);
    const QString list = QStringLiteral("/v2/video/1001/list");
    child<QCheckBox>(w.get(), "leftManagerBtn")->click();
    QVERIFY(m_service.waitForRequest(list, 5000));
    // The page has processed its answer once its loading label is gone.
    QTRY_VERIFY(child<QWidget>(w.get(), "loadinMLbl")->isHidden());
    m_service.clearRequestLog();
    child<QCheckBox>(w.get(), "leftUploadBtn")->click();
    child<QCheckBox>(w.get(), "leftManagerBtn")->click();
    QVERIFY(!m_service.waitForRequest(list, 300));
    QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentIndex(), 1);
}

void TestMainWindow::treeClickPerPage()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    CategoryTree *tree = w->categoryTree();
    QTRY_COMPARE(tree->model()->rowCount(), 1);
    QStringList clicked;
    w->hooks().categoryClickedOnManagePage = [&clicked](const CategoryRef &c) { clicked << c.cataid; };
    auto *view = child<QTreeView>(w.get(), "managerTreeView");
    const QModelIndex course = findCategoryItem(tree->model()->item(0, 0), QStringLiteral("5"));

    // On the upload page a click only changes the current category.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(course).center());
    QCOMPARE(tree->current().cataid, QStringLiteral("5"));
    QCOMPARE(tree->current().name, QStringLiteral("课程"));
    QCOMPARE(tree->currentItem(), tree->model()->itemFromIndex(course));
    QVERIFY(clicked.isEmpty());

    w->hooks().enterManagePage = nullptr;
    child<QCheckBox>(w.get(), "leftManagerBtn")->click();
    const QModelIndex root = tree->model()->index(0, 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(root).center());
    QCOMPARE(clicked, QStringList{"1"});
    QCOMPARE(tree->current().cataid, QStringLiteral("1"));
}

void TestMainWindow::packageInfo_data()
{
    QTest::addColumn<int>("leftDay");
    QTest::addColumn<QString>("text");
    QTest::newRow("days left") << 30
                               << "尊敬的owner@example.com\r\n\r\n您当前剩余空间为10.00G, 距离服务到期还剩30天";
    QTest::newRow("last day") << 0 << "尊敬的owner@example.com\r\n\r\n您当前剩余空间为10.00G, 距离服务到期还剩0天";
    QTest::newRow("expired")
        << -5 << "尊敬的owner@example.com\r\n\r\n您当前剩余空间为10.00G,已超过服务-5天,无法继续为您服务";
}

void TestMainWindow::packageInfo()
{
    QFETCH(int, leftDay);
    QFETCH(QString, text);
    AccountRecord account = ownerAccount();
    account.leftDay = leftDay;
    auto w = makeWindow(account);
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("addBtn"));
    w->packageInfoSlot();
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().title, QStringLiteral("提示"));
    QCOMPARE(answerer.last().message, text);
}

void TestMainWindow::links()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    child<QPushButton>(w.get(), "renewBtn")->click();
    w->techSupportSlot();
    child<QPushButton>(w.get(), "zavixNetAdressBtn")->click();
    QCOMPARE(m_rec.urls.size(), 3);
    QCOMPARE(m_rec.urls.at(0).path(), QStringLiteral("/price/"));
    QCOMPARE(m_rec.urls.at(1).path(), QStringLiteral("/contact/"));
    for (const QUrl &url : m_rec.urls)
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
}

void TestMainWindow::logOutWithEmptyListRestarts()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    installHooks(*w, /*empty=*/true, /*filling=*/false);
    w->statusTimer()->start();
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("addBtn")); // must stay unused

    w->changeAccountSlot();
    QVERIFY(!w->isVisible());
    QVERIFY(w->isChangingAccount());
    QVERIFY(w->isClosingDown());
    QVERIFY(isClosing());
    QVERIFY(!w->statusTimer()->isActive());
    QCOMPARE(m_rec.calls, QStringList({"uploads", "history", "settings", "netparams"}));
    QCOMPARE(m_rec.restarts, 0); // the restart comes with the destruction
    QCoreApplication::processEvents();
    QCOMPARE(answerer.answeredCount(), 0);
    answerer.clear();

    w.reset();
    QCOMPARE(m_rec.restarts, 1);
    QCOMPARE(m_rec.calls.last(), QStringLiteral("stop rows"));
}

void TestMainWindow::closeWithTasks_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("cancel keeps everything running") << "cancelBtn" << false;
    QTest::newRow("confirm saves and closes") << "addBtn" << true;
}

void TestMainWindow::closeWithTasks()
{
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    installHooks(*w, /*empty=*/false, /*filling=*/false);
    w->statusTimer()->start();
    DialogAnswerer answerer;
    answerer.clickWhenShown(answer);

    child<QPushButton>(w.get(), "closeBtn")->click();
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().message, QStringLiteral("当前上传列表有任务\r\n确定退出客户端吗？"));
    QCOMPARE(w->isVisible(), !closes);
    QCOMPARE(isClosing(), closes);
    QCOMPARE(w->statusTimer()->isActive(), !closes);
    QCOMPARE(m_rec.calls, closes ? QStringList({"uploads", "history", "settings", "netparams"}) : QStringList());
    w.reset();
    QCOMPARE(m_rec.restarts, 0);
}

void TestMainWindow::logOutWithTasksCancelled()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    installHooks(*w, /*empty=*/false, /*filling=*/false);
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("cancelBtn"));
    w->changeAccountSlot();
    QCOMPARE(answerer.answeredCount(), 1);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isChangingAccount());
    QVERIFY(m_rec.calls.isEmpty());
    w.reset();
    QCOMPARE(m_rec.restarts, 0);
}

void TestMainWindow::closeWhileFillingStaysOpen()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    installHooks(*w, /*empty=*/false, /*filling=*/true);
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("addBtn"), 2);
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    w->changeAccountSlot();
    QVERIFY(w->isVisible());
    QCOMPARE(answerer.answeredCount(), 2);
    for (const AnsweredDialog &d : answerer.answered())
        QCOMPARE(d.message, QStringLiteral("上传任务添加中，请您稍后退出客户端"));
    QVERIFY(m_rec.calls.isEmpty());
    QVERIFY(!isClosing());
}

void TestMainWindow::treeTimeRejection()
{
    AccountRecord account = ownerAccount();
    account.cataJson = QStringLiteral(R"({"code":400,"status":"fail","message":"ptime is too old.","data":{}})");
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("addBtn"));
    auto w = makeWindow(account);
    QVERIFY(answerer.waitAnswered(1));
    QCOMPARE(answerer.last().message, QStringLiteral("无法获取视频分类\r\n校验时间戳失败，请检查您的系统时间"));
    QCOMPARE(w->categoryTree()->model()->rowCount(), 0);
    QVERIFY(child<QPushButton>(w.get(), "mRefreshCataBtn")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "mAddCataBtn")->isEnabled());
    QVERIFY(child<QFrame>(w.get(), "loadingCataFrame")->isHidden());
}

void TestMainWindow::refreshDisablesButtonsUntilAnswer()
{
    AccountRecord account = ownerAccount();
    account.cataJson = QStringLiteral(
        R"({"code":200,"status":"success","message":"","data":{"userLevel":1,"cataid":1,"cataList":[]}})");
    auto w = makeWindow(account);
    CategoryTree *tree = w->categoryTree();
    QTRY_COMPARE(tree->model()->rowCount(), 1);
    QCOMPARE(tree->model()->item(0, 0)->rowCount(), 0);

    auto *refresh = child<QPushButton>(w.get(), "mRefreshCataBtn");
    auto *add = child<QPushButton>(w.get(), "mAddCataBtn");
    m_service.stallNext(QStringLiteral("/v2/video/1001/cata"));
    // Let the held request go before the window waits for its thread.
    struct Release
    {
        devsvc::DevService &service;
        ~Release() { service.releaseStalls(); }
    } release{m_service};
    refresh->click();
    QTRY_COMPARE(m_service.stalledCount(), 1);
    QVERIFY(!refresh->isEnabled());
    QVERIFY(!add->isEnabled());
    QVERIFY(!child<QFrame>(w.get(), "loadingCataFrame")->isHidden());
    m_service.releaseStalls();

    // The service's tree replaces the login's.
    QTRY_VERIFY(refresh->isEnabled());
    QVERIFY(add->isEnabled());
    QVERIFY(child<QFrame>(w.get(), "loadingCataFrame")->isHidden());
    QStandardItem *root = tree->model()->item(0, 0);
    QCOMPARE(root->rowCount(), 1);
    QCOMPARE(root->child(0)->text(), QStringLiteral("课程"));
    QCOMPARE(root->child(0)->child(0)->text(), QStringLiteral("第一章"));
    QCOMPARE(m_service.requests(QStringLiteral("/v2/video/1001/cata")).size(), 1);
}

void TestMainWindow::failedRefreshReenablesButtons()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    QTRY_COMPARE(w->categoryTree()->model()->rowCount(), 1);
    m_service.answerNext(QStringLiteral("/v2/video/1001/cata"), 500, QByteArrayLiteral("{}"));
    DialogAnswerer answerer;
    answerer.clickWhenShown(QStringLiteral("addBtn"));
    child<QPushButton>(w.get(), "mRefreshCataBtn")->click();
    QVERIFY(answerer.waitAnswered(1));
    QCOMPARE(answerer.last().message, QStringLiteral("无法获取视频分类\r\n"));
    QTRY_VERIFY(child<QPushButton>(w.get(), "mRefreshCataBtn")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "mAddCataBtn")->isEnabled());
    QCOMPARE(w->categoryTree()->model()->rowCount(), 0);
}

void TestMainWindow::addCategoryThroughWindow()
{
    AccountRecord account = ownerAccount();
    auto w = makeWindow(account);
    CategoryTree *tree = w->categoryTree();
    QTRY_COMPARE(tree->model()->rowCount(), 1);
    // Make "课程" the current category.
    const QModelIndex course = findCategoryItem(tree->model()->item(0, 0), QStringLiteral("5"));
    QVERIFY(course.isValid());
    QTest::mouseClick(child<QTreeView>(w.get(), "managerTreeView")->viewport(), Qt::LeftButton, Qt::NoModifier,
                      child<QTreeView>(w.get(), "managerTreeView")->visualRect(course).center());
    QCOMPARE(tree->currentId(), QStringLiteral("5"));

    // Type into the dialog once it is up, then save.
    const QString typed = QStringLiteral("  新 目录 a+b&c  ");
    bool typedIn = false;
    QString parentShown;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<AddCataDialog *>(QApplication::activeModalWidget());
        if (!dialog || typedIn)
            return;
        typedIn = true;
        parentShown = dialog->findChild<QLabel *>(QStringLiteral("currentCataCotentLbl"))->text();
        dialog->findChild<QLineEdit *>(QStringLiteral("addCataEdit"))->setText(typed);
        dialog->findChild<QPushButton *>(QStringLiteral("addBtn"))->click();
    });
    poll.start();
    child<QPushButton>(w.get(), "mAddCataBtn")->click();
    poll.stop();
    QVERIFY(typedIn);
    QCOMPARE(parentShown, QStringLiteral("课程"));

    QStandardItem *courseItem = tree->model()->itemFromIndex(course);
    QCOMPARE(courseItem->rowCount(), 2);
    QStandardItem *added = courseItem->child(1);
    QCOMPARE(added->text(), typed.trimmed());
    const QString newId = added->data(kCategoryIdRole).toString();
    QVERIFY(newId.toLongLong() > 9);
    QCOMPARE(m_service.requests(QStringLiteral("/v2/video/1001/addCata/?")).size(), 1);

    // The service stored the name as typed (the body decoded to the raw name
    // and the signature over the raw name was accepted): a refresh shows it.
    child<QPushButton>(w.get(), "mRefreshCataBtn")->click();
    QTRY_VERIFY(child<QPushButton>(w.get(), "mRefreshCataBtn")->isEnabled());
    const QModelIndex fromService = findCategoryItem(tree->model()->item(0, 0), newId);
    QVERIFY(fromService.isValid());
    QCOMPARE(fromService.data().toString(), typed.trimmed());
    QCOMPARE(fromService.parent().data(kCategoryIdRole).toString(), QStringLiteral("5"));
}

void TestMainWindow::addedCategoryWithoutIdReloadsTheTree()
{
    AccountRecord account = ownerAccount();
    account.cataJson = QStringLiteral(
        R"({"code":200,"status":"success","message":"","data":{"userLevel":1,"cataid":1,"cataList":[]}})");
    auto w = makeWindow(account);
    CategoryTree *tree = w->categoryTree();
    QTRY_COMPARE(tree->model()->rowCount(), 1);
    QCOMPARE(tree->model()->item(0, 0)->rowCount(), 0);
    m_service.clearRequestLog();
    // The service made the category but names no id for it.
    m_service.answerNext(QStringLiteral("/v2/video/1001/addCata/?"), 200,
                         QByteArrayLiteral(R"({"code":200,"status":"success","message":"","data":{}})"));

    bool typedIn = false;
    QString tip;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<AddCataDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *addBtn = dialog->findChild<QPushButton *>(QStringLiteral("addBtn"));
        if (!typedIn) {
            typedIn = true;
            dialog->findChild<QLineEdit *>(QStringLiteral("addCataEdit"))->setText(QStringLiteral("无编号"));
            addBtn->click();
            return;
        }
        // The request runs off the GUI thread; a dialog still open once its
        // button is usable again did not take the answer as a success.
        if (dialog->isVisible() && addBtn->isEnabled()) {
            tip = dialog->findChild<QLabel *>(QStringLiteral("tipsLbl"))->text();
            dialog->close();
        }
    });
    poll.start();
    child<QPushButton>(w.get(), "mAddCataBtn")->click(); // returns once the dialog is closed
    poll.stop();
    QVERIFY(typedIn);
    QCOMPARE(tip, QString()); // closed by the success, no "创建目录错误"

    // No item without an id; the tree is fetched again and shows the
    // service's categories.
    QTRY_COMPARE(m_service.requests(QStringLiteral("/v2/video/1001/cata")).size(), 1);
    QTRY_VERIFY(child<QPushButton>(w.get(), "mRefreshCataBtn")->isEnabled());
    QStandardItem *root = tree->model()->item(0, 0);
    QVERIFY(root);
    QCOMPARE(root->child(0)->text(), QStringLiteral("课程"));
    for (int i = 0; i < root->rowCount(); ++i)
        QVERIFY(!root->child(i)->data(kCategoryIdRole).toString().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
