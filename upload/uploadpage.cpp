#include "upload/uploadpage.h"

#include "ui_uploadpage.h"

#include "account/accountrecord.h"
#include "app/messageinfo.h"
#include "app/shell/pagehooks.h"
#include "library/categorytree.h"
#include "upload/uploadfilefilter.h"
#include "upload/uploadqueue.h"
#include "upload/uploadwidget.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QMovie>
#include <QPointer>
#include <QStandardItemModel>
#include <QUrl>

UploadPage::UploadPage(ShellServices *services, QWidget *parent)
    : QWidget(parent), m_ui(new Ui::UploadPage), m_services(services)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("uploadPageContent"));
    m_ui->uploadTWidget->setColumnTitles(
        {tr("名称"), tr("分类目录"), tr("文件大小"), tr("上传速度"), tr("剩余时间"), tr("上传状态")},
        tr("操作"));

    m_loadingMovie = new QMovie(QStringLiteral(":/res/Resources/loading.gif"), QByteArray(), this);
    m_ui->loadinULbl->setMovie(m_loadingMovie);
    m_ui->loadinULbl->hide();

    UploadQueueWidgets widgets;
    widgets.list = m_ui->uploadListWidget;
    widgets.allStartBtn = m_ui->allStartBtn;
    widgets.clearListBtn = m_ui->clearListBtn;
    widgets.uploadFrame = m_ui->uploadFrame;
    widgets.loadingLbl = m_ui->loadinULbl;
    widgets.loadingMovie = m_loadingMovie;
    widgets.statusLbl = m_ui->uploadStatusLbl;
    widgets.dialogParent = services ? services->dialogParent() : window();
    m_queue = new UploadQueue(widgets, this);
    connect(m_queue, &UploadQueue::rowCountChanged, this,
            [this](int rows) { m_ui->uploadDropHintLbl->setVisible(rows == 0); });

    // Start-up state: the queue is stopped and empty.
    m_queue->setQueueRunning(false);
    m_queue->resetStatusLine();
    m_ui->uploadFrame->hide();
    m_ui->allStartBtn->hide();
    m_ui->clearListBtn->hide();
    setLupingTip(false);

    m_fileChooser = [](QWidget *parent, const QString &folder, const QString &filter) {
        return QFileDialog::getOpenFileNames(parent, QStringLiteral("Open File"), folder, filter);
    };

    if (m_services) {
        if (AccountRecord *account = m_services->account())
            m_queue->setAccount(UploadAccount::fromRecord(*account, false));
        m_queue->setCategorySource([this]() { return currentCategory(); });
        // Enabled once the category answer has been accepted.
        m_ui->uploadVideoBtn->setEnabled(false);
        m_ui->allStartBtn->setEnabled(false);
    }
}

UploadPage::~UploadPage()
{
    delete m_ui;
}

UploadWidget *UploadPage::headerRow() const
{
    return m_ui->uploadTWidget;
}

void UploadPage::fillHooks(ShellHooks &hooks)
{
    hooks.isUploadListEmpty = [this]() { return m_queue->rowCount() == 0; };
    hooks.isFillingUploadList = [this]() { return m_queue->isFilling(); };
    hooks.saveUploadRecordsAndClear = [this]() { m_queue->tearDownQueue(); };
    hooks.stopRunningUploads = [this]() { m_queue->stopRunningUploads(); };
    hooks.categoriesBuilt = [this](bool ok) {
        if (ok) {
            m_ui->uploadVideoBtn->setEnabled(true);
            m_ui->allStartBtn->setEnabled(true);
        }
    };
    hooks.dragEnter = [this](QDragEnterEvent *event) { dragEnter(event); };
    hooks.dragMove = [this](QDragMoveEvent *event) { dragMove(event); };
    hooks.drop = [this](QDropEvent *event) { drop(event); };
}

void UploadPage::startQueue()
{
    m_queue->resetStatusLine();
    m_queue->setCurrentLinks(0);
    if (m_services)
        m_queue->startStatusTimer(m_services->statusTimer());
}

void UploadPage::setFileChooser(
    std::function<QStringList(QWidget *, const QString &, const QString &)> chooser)
{
    m_fileChooser = std::move(chooser);
}

void UploadPage::setLupingTip(bool on)
{
    m_ui->settingTipTextBtn->setText(on ? tr("已开启“视频课件优化处理”功能，")
                                        : tr("未开启“视频课件优化处理”功能，"));
    m_queue->setLuping(on);
}

QString UploadPage::lupingTipText() const
{
    return m_ui->settingTipTextBtn->text();
}

UploadCategory UploadPage::currentCategory() const
{
    CategoryTree *tree = m_services ? m_services->categoryTree() : nullptr;
    if (!tree)
        return {};
    if (!tree->currentId().isEmpty())
        return {tree->currentId(), tree->currentName()};
    // No current category yet: the first top-level item.
    QStandardItemModel *model = tree->model();
    QStandardItem *first = model ? model->item(0) : nullptr;
    if (!first)
        return {};
    return {first->data(kCategoryIdRole).toString(), first->text()};
}

bool UploadPage::hasCategories() const
{
    if (!m_services)
        return true;
    CategoryTree *tree = m_services->categoryTree();
    return tree && tree->model() && tree->model()->rowCount() > 0;
}

void UploadPage::showNoCategoryMessage()
{
    QPointer<MessageInfo> dialog =
        new MessageInfo(m_services ? m_services->dialogParent() : window(), tr("提示"),
                        tr("无法上传视频\r\n请检查网络或刷新目录"), tr("确定"), QString());
    dialog->exec();
    delete dialog.data();
}

void UploadPage::on_uploadVideoBtn_clicked()
{
    if (!hasCategories()) {
        showNoCategoryMessage();
        return;
    }
    if (m_queue->lastFolder().isEmpty())
        m_queue->setLastFolder(QDir::rootPath());
    const QStringList chosen = m_fileChooser ? m_fileChooser(m_services ? m_services->dialogParent() : window(),
                                                             m_queue->lastFolder(), uploadExtensionList())
                                             : QStringList();
    m_queue->addUploadTask(acceptedUploadPaths(chosen));
}

void UploadPage::on_allStartBtn_clicked()
{
    m_queue->on_allStartBtn_clicked();
}

void UploadPage::on_clearListBtn_clicked()
{
    m_queue->on_clearListBtn_clicked();
}

void UploadPage::on_settingTipBtn_clicked()
{
    if (m_services)
        m_services->showPage(ShellPage::Settings);
    emit settingsRequested();
}

QRect UploadPage::dropZone() const
{
    return QRect(m_dropOrigin, m_ui->uploadLblWidget->size());
}

void UploadPage::dragEnter(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")) && isVisible())
        event->acceptProposedAction();
    else
        event->ignore();
}

void UploadPage::dragMove(QDragMoveEvent *event)
{
    if (!dropZone().contains(event->pos())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void UploadPage::drop(QDropEvent *event)
{
    if (!dropZone().contains(event->pos())) {
        event->ignore();
        return;
    }
    event->accept();
    if (!hasCategories()) {
        showNoCategoryMessage();
        return;
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl &url : urls)
        paths.append(url.toLocalFile());
    m_queue->addUploadTask(acceptedUploadPaths(paths));
}
