#include "app/shell/zavixuploadclient.h"

#include "ui_zavixuploadclient.h"

#include "account/accountrecord.h"
#include "app/messageinfo.h"
#include "app/plaintext.h"
#include "library/addcatadialog.h"
#include "library/categorytree.h"
#include "library/videopages.h"
#include "net/closingflag.h"
#include "net/servicehosts.h"
#include "net/transfer.h"
#include "platform/platform.h"
#include "upload/userdatafile.h"
#include "prefs/historyhost.h"
#include "prefs/settingshost.h"
#include "prefs/shutdownflow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardItemModel>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

namespace {

constexpr int kNormalWidth = 1280;
constexpr int kNormalHeight = 720;

void startProgramAgain()
{
    QProcess::startDetached(QCoreApplication::applicationFilePath(), platform::restartArguments());
}

} // namespace

ZavixUploadClient::ZavixUploadClient(AccountRecord *account, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
    , m_account(account)
    , m_restartAction(startProgramAgain)
    , m_urlOpener([](const QUrl &url) { QDesktopServices::openUrl(url); })
{
    // 1. Widgets, frameless window.
    m_ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setMouseTracking(true);
    // Hover over the containers reaches the window, so the resize cursors show at the edges.
    for (QWidget *w : {m_ui->centralwidget, m_ui->titleWidget, m_ui->leftWidget,
                       static_cast<QWidget *>(m_ui->cataTreeFrame), static_cast<QWidget *>(m_ui->stackedWidget),
                       m_ui->uploadPage, m_ui->managePage, m_ui->searchPage, m_ui->historyPage, m_ui->settingPage})
        w->setMouseTracking(true);

    // 2. libcurl.
    ensureCurlGlobalInit();

    // 3. Title, icon, drops.
    setWindowTitle(tr("Zavix上传客户端"));
    setWindowIcon(QIcon(QStringLiteral(":/res/Resources/ZAVIX-Desktop.ico")));
    setAcceptDrops(true);

    // 4. Status timer, category tree with its model, icons and loading movie.
    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(1000);
    CategoryTreeWidgets treeWidgets;
    treeWidgets.view = m_ui->managerTreeView;
    treeWidgets.loadingFrame = m_ui->loadingCataFrame;
    treeWidgets.movieLabel = m_ui->loadingCataLbl;
    treeWidgets.addButton = m_ui->mAddCataBtn;
    treeWidgets.refreshButton = m_ui->mRefreshCataBtn;
    m_categories = new CategoryTree(treeWidgets, account ? account->uid : QString(),
                                    account ? account->secretKey : QString(), this);
    m_categories->setMessageParent(this);
    m_categories->setStopPredicate([this] { return m_alreadyClosing; });
    connect(m_categories, &CategoryTree::rebuilt, this, [this](bool accepted) {
        if (m_hooks.categoriesBuilt)
            m_hooks.categoriesBuilt(accepted);
    });

    // 5. Initial page state.
    m_navGroup = new QButtonGroup(this);
    m_navGroup->setExclusive(true);
    for (QAbstractButton *b : {static_cast<QAbstractButton *>(m_ui->leftUploadBtn),
                               static_cast<QAbstractButton *>(m_ui->leftManagerBtn),
                               static_cast<QAbstractButton *>(m_ui->leftSearchBtn),
                               static_cast<QAbstractButton *>(m_ui->leftHistoryBtn),
                               static_cast<QAbstractButton *>(m_ui->settingBtn)})
        m_navGroup->addButton(b);
    m_ui->leftUploadBtn->setChecked(true);
    m_ui->stackedWidget->setCurrentIndex(static_cast<int>(ShellPage::Upload));
    m_ui->loadingCataFrame->hide();

    // 6. Account area and user data folder.
    setupAccountArea();

    hostPages();

    // 7. The first tree comes from the login's answer, once the event loop runs.
    QMetaObject::invokeMethod(this, "cataThreadResultSlot", Qt::QueuedConnection, Q_ARG(QString, m_cataJson));

    // 8. Resize handles.
    updateHandles();

    // 9.
    qDebug() << "the version:" << "2.0.0.1";
}

ZavixUploadClient::~ZavixUploadClient()
{
    if (m_hooks.stopRunningUploads)
        m_hooks.stopRunningUploads();
    m_categories->finishRequest();
    if (m_changeAccount) {
        qDebug() << "change acount re start client" << m_changeAccount;
        if (m_restartAction)
            m_restartAction();
    }
    delete m_ui;
}

void ZavixUploadClient::setupAccountArea()
{
    if (m_account) {
        m_email = m_account->email;
        m_uid = m_account->uid;
        m_userId = m_account->userId;
        m_secretKey = m_account->secretKey;
        m_remainSpace = m_account->remainSpace;
        m_leftDay = m_account->leftDay;
        m_cataJson = m_account->cataJson;
        m_uploadTypeWcs = m_account->uploadType != QLatin1String("0");
    }
    const bool child = m_account && m_account->isChild;
    if (!child) {
        m_ui->packageLbl->setText(tr("( %1").arg(m_account ? m_account->packageType : QString()));
        m_ui->remainDaysLabel->setText(tr("剩余%1天 )").arg(m_leftDay));
    } else {
        m_ui->accountOperaBtn->hide();
        m_ui->renewBtn->hide();
        m_ui->frame_14->hide();
    }
    setPlainText(m_ui->accountNameLabel, m_email);

    m_userDataFolder = userdata::userDataFolder(m_email);
    // A folder that cannot be made is not reported; the state files of this
    // run then fail to save in their own way.
    userdata::ensureFolder(m_userDataFolder);
}

// ---- Page contents ----------------------------------------------------------

void ZavixUploadClient::hostInPage(QWidget *page, QWidget *content)
{
    auto *layout = qobject_cast<QBoxLayout *>(page->layout());
    if (!layout || !content)
        return;
    content->setParent(page);
    layout->insertWidget(0, content, 1);
}

void ZavixUploadClient::hostPages()
{
    // Each page area puts its widget into its page (hostInPage) and fills the
    // hooks it serves:
    // upload page   (m_ui->uploadPage):  the upload queue
    // manage page   (m_ui->managePage):  the video list of the current category
    // search page   (m_ui->searchPage):  the video search
    // history page  (m_ui->historyPage): the upload history
    // settings page (m_ui->settingPage): the settings (above the copyright lines)

    // Upload queue and settings; they fill the close, save and drop hooks.
    const UploadPages uploads = createUploadPages(this, m_hooks, this);
    hostInPage(m_ui->uploadPage, uploads.upload);
    hostInPage(m_ui->settingPage, uploads.settings);

    // Manage and search pages; they fill the manage page's navigation hooks.
    const VideoPages videos = createVideoPages(this, m_hooks, this);
    hostInPage(m_ui->managePage, videos.manage);
    hostInPage(m_ui->searchPage, videos.search);

    // History page: finished uploads, opening their category on the manage page.
    VideoManagePage *manage = videos.manage;
    HistoryPage *history = createHistoryPage(
        this, m_hooks, uploads.upload->queue(),
        [manage](const QString &cataid) { return manage->openCategory(cataid); }, this);
    hostInPage(m_ui->historyPage, history);
    // The queue starts the automatic shutdown when its list runs empty.
    installAutoShutDown(uploads.upload->queue(), this, m_hooks);
}

// ---- Navigation ---------------------------------------------------------------

void ZavixUploadClient::switchPage(ShellPage page, bool showTree)
{
    m_ui->stackedWidget->setCurrentIndex(static_cast<int>(page));
    m_ui->cataTreeFrame->setVisible(showTree);
}

void ZavixUploadClient::showPage(ShellPage page)
{
    QAbstractButton *button = nullptr;
    switch (page) {
    case ShellPage::Upload: button = m_ui->leftUploadBtn; break;
    case ShellPage::Manage: button = m_ui->leftManagerBtn; break;
    case ShellPage::Search: button = m_ui->leftSearchBtn; break;
    case ShellPage::History: button = m_ui->leftHistoryBtn; break;
    case ShellPage::Settings: button = m_ui->settingBtn; break;
    }
    if (button)
        button->setChecked(true);
    switchPage(page, page == ShellPage::Upload || page == ShellPage::Manage);
}

void ZavixUploadClient::on_leftUploadBtn_clicked()
{
    switchPage(ShellPage::Upload, true);
}

void ZavixUploadClient::on_leftManagerBtn_clicked()
{
    switchPage(ShellPage::Manage, true);
    if (m_hooks.enterManagePage)
        m_hooks.enterManagePage(m_categories->current());
}

void ZavixUploadClient::on_leftSearchBtn_clicked()
{
    switchPage(ShellPage::Search, false);
}

void ZavixUploadClient::on_leftHistoryBtn_clicked()
{
    switchPage(ShellPage::History, false);
}

void ZavixUploadClient::on_settingBtn_clicked()
{
    switchPage(ShellPage::Settings, false);
}

// ---- Window buttons -------------------------------------------------------------

void ZavixUploadClient::on_minimizeBtn_clicked()
{
    showMinimized();
}

void ZavixUploadClient::on_maxCBX_clicked(bool checked)
{
    if (checked)
        showMaximized();
    else
        showNormal();
}

void ZavixUploadClient::on_closeBtn_clicked()
{
    close();
}

void ZavixUploadClient::restoreNormalSize()
{
    showNormal();
    resize(kNormalWidth, kNormalHeight);
    m_ui->maxCBX->setChecked(false);
}

// ---- Account menu and links ----------------------------------------------------------

QString ZavixUploadClient::packageInfoText(const QString &name, const QString &remainSpace, int leftDay)
{
    if (leftDay >= 0)
        return tr("尊敬的%1\r\n\r\n您当前剩余空间为%2G, 距离服务到期还剩%3天").arg(name, remainSpace).arg(leftDay);
    return tr("尊敬的%1\r\n\r\n您当前剩余空间为%2G,已超过服务%3天,无法继续为您服务").arg(name, remainSpace).arg(leftDay);
}

void ZavixUploadClient::on_accountOperaBtn_clicked()
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("accountMenu"));
    connect(menu.addAction(tr("套餐信息")), &QAction::triggered, this, &ZavixUploadClient::packageInfoSlot);
    connect(menu.addAction(tr("关于我们")), &QAction::triggered, this, &ZavixUploadClient::techSupportSlot);
    connect(menu.addAction(tr("退出登录")), &QAction::triggered, this, &ZavixUploadClient::changeAccountSlot);
    menu.exec(QCursor::pos() + QPoint(-66, 34));
}

void ZavixUploadClient::packageInfoSlot()
{
    showNotice(packageInfoText(m_ui->accountNameLabel->text(), m_remainSpace, m_leftDay));
}

void ZavixUploadClient::techSupportSlot()
{
    m_urlOpener(QUrl(hosts::vendorSite() + QStringLiteral("/contact/")));
}

void ZavixUploadClient::on_renewBtn_clicked()
{
    m_urlOpener(QUrl(hosts::vendorSite() + QStringLiteral("/price/")));
}

void ZavixUploadClient::on_zavixNetAdressBtn_clicked()
{
    m_urlOpener(QUrl(hosts::vendorSite()));
}

void ZavixUploadClient::showNotice(const QString &text)
{
    auto *box = new MessageInfo(this, tr("提示"), text, tr("确定"), QString());
    box->exec();
    delete box;
}

// ---- Log out and close ---------------------------------------------------------------

bool ZavixUploadClient::confirmLeavingUploads()
{
    if (m_hooks.isFillingUploadList && m_hooks.isFillingUploadList()) {
        showNotice(tr("上传任务添加中，请您稍后退出客户端"));
        return false;
    }
    if (m_hooks.isUploadListEmpty && !m_hooks.isUploadListEmpty()) {
        auto *box = new MessageInfo(this, tr("提示"), tr("当前上传列表有任务\r\n确定退出客户端吗？"), tr("确定"),
                                    tr("取消"));
        const int answer = box->exec();
        delete box;
        if (answer != QDialog::Accepted)
            return false;
    }
    return true;
}

void ZavixUploadClient::saveStateForExit()
{
    m_statusTimer->stop();
    if (m_hooks.saveUploadRecordsAndClear)
        m_hooks.saveUploadRecordsAndClear();
    if (m_hooks.saveHistory)
        m_hooks.saveHistory();
    if (m_hooks.saveSettings)
        m_hooks.saveSettings();
    if (m_hooks.saveNetParams)
        m_hooks.saveNetParams();
}

void ZavixUploadClient::changeAccountSlot()
{
    if (m_alreadyClosing)
        return;
    if (!confirmLeavingUploads())
        return;
    // The closing flag first: every request of the rows that are torn down
    // next ends within about a second, so nothing below waits on them.
    m_changeAccount = true;
    m_alreadyClosing = true;
    setClosing();
    saveStateForExit();
    close();
}

void ZavixUploadClient::closeEvent(QCloseEvent *event)
{
    if (m_alreadyClosing) {
        event->accept();
        return;
    }
    if (!confirmLeavingUploads()) {
        event->ignore();
        return;
    }
    hide();
    // The closing flag first: every request of the rows that are torn down
    // next ends within about a second, so nothing below waits on them.
    m_alreadyClosing = true;
    setClosing();
    saveStateForExit();
    event->accept();
}

// ---- Frameless window: drag and resize -------------------------------------------------

QRect ZavixUploadClient::currentDragArea() const
{
    return frameless::dragArea(m_ui->titleWidget->geometry());
}

void ZavixUploadClient::updateHandles()
{
    m_handles = frameless::handleRects(size());
}

void ZavixUploadClient::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    updateHandles();
}

void ZavixUploadClient::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int handle = frameless::handleAt(m_handles, event->pos());
        if (handle != frameless::NoHandle && !m_ui->maxCBX->isChecked()) {
            m_resizing = true;
            m_handle = handle;
            m_pressGlobal = event->globalPos();
            m_currentGlobal = m_pressGlobal;
            m_pressGeometry = geometry();
        } else if (currentDragArea().contains(event->pos())) {
            m_dragging = true;
            m_firstMove = true;
            m_pressInWindow = event->pos();
        }
    }
    QMainWindow::mousePressEvent(event);
}

void ZavixUploadClient::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        if (m_firstMove && m_ui->maxCBX->isChecked()) {
            const int maximisedWidth = width();
            restoreNormalSize();
            // Keep the pressed point under the pointer in the smaller window.
            const QPoint topLeft = frameless::restoredTopLeft(event->globalPos(), m_pressInWindow, maximisedWidth,
                                                              kNormalWidth);
            m_pressInWindow = event->globalPos() - topLeft;
        }
        m_firstMove = false;
        move(event->globalPos() - m_pressInWindow);
    } else if (m_resizing && (event->buttons() & Qt::LeftButton)) {
        m_currentGlobal = event->globalPos();
        const auto next = frameless::resizedGeometry(m_handle, m_pressGeometry, m_currentGlobal - m_pressGlobal,
                                                     minimumSize(), maximumSize());
        if (next) {
            setGeometry(*next);
            updateHandles();
        }
    } else {
        setCursor(frameless::cursorForHandle(frameless::handleAt(m_handles, event->pos())));
    }
    QMainWindow::mouseMoveEvent(event);
}

void ZavixUploadClient::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    m_firstMove = false;
    m_resizing = false;
    m_handle = frameless::NoHandle;
    setCursor(Qt::ArrowCursor);
    QMainWindow::mouseReleaseEvent(event);
}

void ZavixUploadClient::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && currentDragArea().contains(event->pos())) {
        if (!m_ui->maxCBX->isChecked()) {
            showMaximized();
            m_ui->maxCBX->setChecked(true);
        } else {
            restoreNormalSize();
            if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
                QRect frame(QPoint(0, 0), QSize(kNormalWidth, kNormalHeight));
                frame.moveCenter(screen->availableGeometry().center());
                move(frame.topLeft());
            }
        }
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void ZavixUploadClient::enterEvent(QEvent *event)
{
    if (!m_dragging && !m_resizing)
        setCursor(frameless::cursorForHandle(frameless::handleAt(m_handles, mapFromGlobal(QCursor::pos()))));
    QMainWindow::enterEvent(event);
}

void ZavixUploadClient::leaveEvent(QEvent *event)
{
    QMainWindow::leaveEvent(event);
}

// ---- Drops (the upload queue decides) ---------------------------------------------------

void ZavixUploadClient::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_hooks.dragEnter)
        m_hooks.dragEnter(event);
    else
        event->ignore();
}

void ZavixUploadClient::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_hooks.dragMove)
        m_hooks.dragMove(event);
    else
        event->ignore();
}

void ZavixUploadClient::dropEvent(QDropEvent *event)
{
    if (m_hooks.drop)
        m_hooks.drop(event);
    else
        event->ignore();
}

// ---- Category tree ------------------------------------------------------------------

void ZavixUploadClient::cataThreadResultSlot(QString catajs)
{
    m_categories->applyAnswer(catajs);
}

void ZavixUploadClient::on_mRefreshCataBtn_clicked()
{
    m_categories->refresh();
}

void ZavixUploadClient::on_managerTreeView_clicked(const QModelIndex &index)
{
    m_categories->selectIndex(index);
    if (m_ui->stackedWidget->currentIndex() == static_cast<int>(ShellPage::Manage)
        && m_hooks.categoryClickedOnManagePage)
        m_hooks.categoryClickedOnManagePage(m_categories->current());
}

void ZavixUploadClient::on_managerTreeView_expanded(const QModelIndex &index)
{
    Q_UNUSED(index)
    m_ui->managerTreeView->resizeColumnToContents(0);
}

void ZavixUploadClient::on_mAddCataBtn_clicked()
{
    if (!m_categories->hasCategories() || m_categories->isLoadingShown())
        return;
    const CategoryRef parent = m_categories->effectiveCurrent();
    auto *dialog = new AddCataDialog(this, m_uid, m_secretKey, parent.cataid, parent.name);
    connect(dialog, &AddCataDialog::Result, this, &ZavixUploadClient::mAddCataBtnSlot);
    dialog->exec(); // deletes itself when closed
}

void ZavixUploadClient::mAddCataBtnSlot(QString cataname, QString cataid)
{
    // Made on the service, but its id is unknown here: the service's tree
    // brings the new category.
    if (cataid.isEmpty()) {
        if (!m_categories->isLoadingShown())
            m_categories->refresh();
        return;
    }
    m_categories->appendCategory(cataname, cataid);
}
