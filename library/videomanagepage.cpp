#include "library/videomanagepage.h"

#include "ui_videomanagepage.h"

#include "account/accountrecord.h"
#include "app/messageinfo.h"
#include "library/categorytree.h"
#include "library/copycodedialog.h"
#include "library/managerwidget.h"
#include "library/videoformat.h"
#include "library/videopagehost.h"
#include "library/videopaging.h"
#include "library/videorecord.h"
#include "library/videorequests.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/workers.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QMovie>
#include <QRegExpValidator>
#include <QStandardItemModel>

namespace {
const char kLoadingMovie[] = ":/res/Resources/loading.gif";
}

VideoManagePage::VideoManagePage(VideoPageHost *host, QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::VideoManagePage)
    , m_host(host)
{
    m_ui->setupUi(this);
    m_header = new ManagerWidget(m_ui->manageFrame, m_host->account(), true);
    m_header->setObjectName(QStringLiteral("managerTWidget"));
    m_header->setHeaderTexts();
    m_ui->manageFrameLayout->insertWidget(0, m_header);

    m_movie = new QMovie(QString::fromLatin1(kLoadingMovie), QByteArray(), this);
    m_ui->loadinMLbl->setMovie(m_movie);
    m_ui->loadinMLbl->hide();

    m_ui->manageFrame->hide();
    m_ui->pageIndexList->setFixedWidth(videoformat::pageListWidth(0));
    m_ui->copySuccessLblM->hide();
    m_ui->reviewCodeBtnM->hide();
    m_ui->pageIndexLineEdit->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), m_ui->pageIndexLineEdit));
}

VideoManagePage::~VideoManagePage()
{
    reapWorker(m_listThread);
    delete m_ui;
}

void VideoManagePage::showMessage(const QString &text)
{
    QPointer<MessageInfo> box =
        new MessageInfo(m_host->dialogParent(), tr("提示"), text, tr("确定"), QString());
    box->exec();
    delete box.data();
}

bool VideoManagePage::treeIsEmpty()
{
    QStandardItemModel *model = m_host->categoryModel();
    if (model && model->rowCount() > 0)
        return false;
    showMessage(tr("获取视频列表失败\r\n请检查网络或刷新目录"));
    return true;
}

void VideoManagePage::reloadFromFirstPage()
{
    if (m_listLoading)
        return;
    m_ui->pageIndexList->clear();
    requestVideoList();
}

void VideoManagePage::requestVideoList()
{
    QString cataid = m_host->currentCategoryId();
    m_lastListedCataId = cataid;
    if (m_listLoading)
        return;
    if (m_listThread) {
        reapWorker(m_listThread);
        return;
    }
    m_ui->loadinMLbl->show();
    m_listLoading = true;
    m_movie->start();

    if (cataid.isEmpty()) {
        QStandardItemModel *model = m_host->categoryModel();
        if (model && model->item(0, 0))
            cataid = model->item(0, 0)->data(kCategoryIdRole).toString();
    }
    AccountRecord *account = m_host->account();
    videorequests::ListQuery query;
    query.uid = account ? account->uid : QString();
    query.cataflag = m_cataflag;
    query.cataid = cataid;
    query.pageNum = requestedVideoPage(m_ui->pageIndexList);
    query.ptime = currentPtime();
    query.secretKey = account ? account->secretKey : QString();
    const QString url = videorequests::listUrl(hosts::apiHost(), query);
    issueWorker(
        m_listThread, [url] { return new GetJsonThread(url); }, this,
        &VideoManagePage::managerThreadResultSlot);
}

void VideoManagePage::setPagingEnabled(bool on)
{
    m_ui->pageIndexList->setEnabled(on);
    m_ui->leftPageBtn->setEnabled(on);
    m_ui->rightPageBtn->setEnabled(on);
}

void VideoManagePage::managerThreadResultSlot(QString catajs)
{
    reapWorker(m_listThread);
    setPagingEnabled(false);

    const VideoListAnswer answer = VideoListAnswer::parse(catajs);
    QString message;
    if (!answer.parsed) {
        qWarning() << "video list failed:" << catajs.left(200);
        message = tr("获取视频列表失败\r\n请检查您的网络或该目录已被删除");
    } else {
        m_ui->pageIndexFrame->setVisible(answer.pageCount > 1);
        if (m_ui->pageIndexList->count() == 0 && answer.pageCount > 1)
            fillVideoPageList(m_ui->pageIndexList, m_ui->pageCountLbl, answer.pageCount);

        if (answer.succeeded()) {
            m_ui->manageFrame->show();
            m_ui->managerListWidget->clear();
            if (answer.videos.isEmpty()) {
                m_ui->manageFrame->hide();
                m_ui->fileNumLblM->setText(videoformat::fileCountText(0));
            } else {
                m_ui->fileNumLblM->setText(videoformat::fileCountText(0));
                for (const VideoRecord &video : answer.videos) {
                    if (m_host->isClosingDown())
                        break;
                    addRow(video);
                }
                m_ui->fileNumLblM->setText(videoformat::fileCountText(answer.videos.size()));
            }
        } else {
            qWarning() << "video list rejected:" << answer.status << answer.message;
            message = answer.timeRejected() ? tr("获取视频列表失败，请检查您的系统时间")
                                            : tr("获取视频列表失败\r\n请检查您的网络或该目录已被删除");
        }
    }
    if (!message.isEmpty()) {
        showMessage(message);
        m_ui->manageFrame->hide();
    }

    m_listLoading = false;
    m_movie->stop();
    m_ui->loadinMLbl->hide();
    setPagingEnabled(true);
}

void VideoManagePage::addRow(const VideoRecord &video)
{
    auto *item = new QListWidgetItem;
    m_ui->managerListWidget->addItem(item);
    auto *row = new ManagerWidget(m_ui->managerListWidget, m_host->account(), false);
    m_ui->managerListWidget->setItemWidget(item, row);
    row->setVideo(video);
    connect(row, &ManagerWidget::copyCode, this, &VideoManagePage::manageCopyCodeSlot, Qt::QueuedConnection);
    connect(row, &ManagerWidget::delVideo, this, &VideoManagePage::delListVideoSlot, Qt::QueuedConnection);
    item->setSizeHint(QSize(row->sizeHint().width(), 60));
}

void VideoManagePage::delListVideoSlot()
{
    auto *row = qobject_cast<QWidget *>(sender());
    if (!row)
        return;
    QListWidget *list = m_ui->managerListWidget;
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemWidget(list->item(i)) == row) {
            delete list->takeItem(i);
            return;
        }
    }
}

void VideoManagePage::manageCopyCodeSlot()
{
    auto *row = qobject_cast<ManagerWidget *>(sender());
    if (!row)
        return;
    embedcode::CopyInput input;
    input.kind = m_ui->duplicateCbxM->currentIndex();
    input.vid = row->vid();
    input.title = row->title();
    input.width = row->playerWidth();
    input.height = row->playerHeight();
    const QFontMetrics metrics(window()->font());
    m_lastCopy = embedcode::nextCopy(m_lastCopy, input, embedcode::Page::Manage,
                                     embedcode::playerHostName(), metrics);
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_lastCopy.code);

    QListWidget *list = m_ui->managerListWidget;
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemWidget(list->item(i)) == row) {
            list->setCurrentRow(i);
            break;
        }
    }
    m_ui->copySuccessLblM->show();
    m_ui->reviewCodeBtnM->show();
}

void VideoManagePage::on_reviewCodeBtnM_clicked()
{
    auto *dialog = new CopyCodeDialog(m_host->dialogParent(), m_lastCopy.type, m_lastCopy.header,
                                      m_lastCopy.code);
    dialog->exec(); // deletes itself when closed
}

void VideoManagePage::on_containSubCataBtn_clicked()
{
    m_ui->containSubCataBtn->setChecked(true);
    m_ui->notContainSubBtn->setChecked(false);
    m_cataflag = QStringLiteral("0");
    if (treeIsEmpty())
        return;
    reloadFromFirstPage();
}

void VideoManagePage::on_notContainSubBtn_clicked()
{
    m_ui->containSubCataBtn->setChecked(false);
    m_ui->notContainSubBtn->setChecked(true);
    m_cataflag = QStringLiteral("1");
    if (treeIsEmpty())
        return;
    reloadFromFirstPage();
}

void VideoManagePage::on_refreshBtn_clicked()
{
    if (treeIsEmpty())
        return;
    reloadFromFirstPage();
}

void VideoManagePage::on_pageIndexList_itemClicked(QListWidgetItem *)
{
    if (treeIsEmpty())
        return;
    if (!m_listLoading)
        requestVideoList();
}

void VideoManagePage::on_leftPageBtn_clicked()
{
    stepVideoPage(m_ui->pageIndexList, -1);
    if (treeIsEmpty())
        return;
    if (!m_listLoading)
        requestVideoList();
}

void VideoManagePage::on_rightPageBtn_clicked()
{
    stepVideoPage(m_ui->pageIndexList, +1);
    if (treeIsEmpty())
        return;
    if (!m_listLoading)
        requestVideoList();
}

void VideoManagePage::on_proceedPageBtn_clicked()
{
    const int row = typedVideoPageRow(m_ui->pageIndexLineEdit->text(), m_ui->pageIndexList);
    if (row < 0) {
        showMessage(tr("请输入有效的页数"));
        return;
    }
    m_ui->pageIndexList->setCurrentRow(row);
    requestVideoList();
}

void VideoManagePage::categoryClicked()
{
    reloadFromFirstPage();
}

void VideoManagePage::enterPage()
{
    if (m_listLoading || m_host->currentCategoryId() == m_lastListedCataId)
        return;
    m_ui->pageIndexList->clear();
    requestVideoList();
}

bool VideoManagePage::openCategory(const QString &cataid)
{
    QStandardItemModel *model = m_host->categoryModel();
    const QModelIndex found =
        model ? findCategoryItem(model->item(0, 0), cataid) : QModelIndex();
    if (!found.isValid()) {
        showMessage(tr("该目录不存在"));
        return false;
    }
    m_host->showCategoryOnManagePage(cataid);
    reloadFromFirstPage();
    return true;
}
