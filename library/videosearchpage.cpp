#include "library/videosearchpage.h"

#include "ui_videosearchpage.h"

#include "account/accountrecord.h"
#include "app/messageinfo.h"
#include "library/copycodedialog.h"
#include "library/searchwidget.h"
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

namespace {
const char kLoadingMovie[] = ":/res/Resources/loading.gif";
}

VideoSearchPage::VideoSearchPage(VideoPageHost *host, QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::VideoSearchPage)
    , m_host(host)
{
    m_ui->setupUi(this);
    m_header = new SearchWidget(m_ui->searchFrame);
    m_header->setObjectName(QStringLiteral("searchTWidget"));
    m_header->setHeaderTexts();
    m_ui->searchFrameLayout->insertWidget(0, m_header);

    m_movie = new QMovie(QString::fromLatin1(kLoadingMovie), QByteArray(), this);
    m_ui->loadinSLbl->setMovie(m_movie);
    m_ui->loadinSLbl->hide();

    m_ui->searchFrame->hide();
    m_ui->searchPageIndexFrame->hide();
    m_ui->searchPageList->setFixedWidth(videoformat::pageListWidth(0));
    m_ui->copySuccessLblS->hide();
    m_ui->reviewCodeBtnS->hide();
    m_ui->sPageIndexLineEdit->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), m_ui->sPageIndexLineEdit));
}

VideoSearchPage::~VideoSearchPage()
{
    reapWorker(m_searchThread);
    delete m_ui;
}

void VideoSearchPage::showMessage(const QString &text)
{
    QPointer<MessageInfo> box =
        new MessageInfo(m_host->dialogParent(), tr("提示"), text, tr("确定"), QString());
    box->exec();
    delete box.data();
}

void VideoSearchPage::requestSearch()
{
    const QString keyword = m_ui->searchEdit->text();
    if (keyword.isEmpty()) {
        // The loading flag stays as it is: clearing it while a search is
        // outstanding would let the next press wait for that search on the
        // GUI thread and drop its answer, leaving the page "loading".
        showMessage(tr("请输入要查找的视频标题"));
        return;
    }
    if (m_searchLoading)
        return;
    if (m_searchThread) {
        reapWorker(m_searchThread);
        return;
    }
    m_ui->loadinSLbl->show();
    m_searchLoading = true;
    m_movie->start();

    AccountRecord *account = m_host->account();
    videorequests::SearchQuery query;
    query.uid = account ? account->uid : QString();
    query.keyword = keyword;
    query.pageNum = requestedVideoPage(m_ui->searchPageList);
    query.ptime = currentPtime();
    query.secretKey = account ? account->secretKey : QString();
    const QString url = videorequests::searchUrl(hosts::apiHost(), query);
    issueWorker(
        m_searchThread, [url] { return new GetJsonThread(url); }, this,
        &VideoSearchPage::searchThreadResultSlot);
}

void VideoSearchPage::setSortingEnabled(bool on)
{
    m_ui->sortComboBox->setEnabled(on);
    m_ui->searchPageList->setEnabled(on);
}

void VideoSearchPage::searchThreadResultSlot(QString catajs)
{
    reapWorker(m_searchThread);
    setSortingEnabled(false);

    const VideoListAnswer answer = VideoListAnswer::parse(catajs);
    QString message;
    if (!answer.parsed) {
        qWarning() << "video search failed:" << catajs.left(200);
        message = tr("搜索视频失败，请检查您的网络");
    } else {
        m_ui->searchPageIndexFrame->setVisible(answer.pageCount > 1);
        if (m_ui->searchPageList->count() == 0 && answer.pageCount > 1)
            fillVideoPageList(m_ui->searchPageList, m_ui->sPageCountLbl, answer.pageCount);

        if (answer.succeeded()) {
            m_ui->searchFrame->show();
            m_ui->searchListWidget->clear();
            if (answer.videos.isEmpty()) {
                m_ui->searchFrame->hide();
                m_ui->fileNumLblS->setText(videoformat::fileCountText(0));
            } else {
                m_ui->fileNumLblS->setText(videoformat::fileCountText(0));
                const bool byName = m_ui->sortComboBox->currentIndex() == 1;
                for (int index : searchRowOrder(answer.videos, byName)) {
                    if (m_host->isClosingDown())
                        break;
                    addRow(answer.videos.at(index));
                }
                m_ui->fileNumLblS->setText(videoformat::fileCountText(answer.videos.size()));
            }
        } else {
            qWarning() << "video search rejected:" << answer.status << answer.message;
            message = answer.timeRejected() ? tr("搜索视频失败，请检查您的系统时间")
                                            : tr("搜索视频失败，请检查您的网络");
        }
    }
    if (!message.isEmpty()) {
        m_ui->searchFrame->hide();
        showMessage(message);
    }

    m_searchLoading = false;
    m_movie->stop();
    m_ui->loadinSLbl->hide();
    setSortingEnabled(true);
}

void VideoSearchPage::addRow(const VideoRecord &video)
{
    auto *item = new QListWidgetItem;
    m_ui->searchListWidget->addItem(item);
    auto *row = new SearchWidget(m_ui->searchListWidget);
    m_ui->searchListWidget->setItemWidget(item, row);
    row->setVideo(video);
    connect(row, &SearchWidget::copyCode, this, &VideoSearchPage::searchCopyCodeSlot, Qt::QueuedConnection);
    connect(row, &SearchWidget::openCata, this, &VideoSearchPage::openCataSearchSlot, Qt::QueuedConnection);
    item->setSizeHint(QSize(row->sizeHint().width(), 60));
}

void VideoSearchPage::makeCurrent(QWidget *row)
{
    QListWidget *list = m_ui->searchListWidget;
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemWidget(list->item(i)) == row) {
            list->setCurrentRow(i);
            return;
        }
    }
}

void VideoSearchPage::searchCopyCodeSlot()
{
    auto *row = qobject_cast<SearchWidget *>(sender());
    if (!row)
        return;
    embedcode::CopyInput input;
    input.kind = m_ui->duplicateCbxS->currentIndex();
    input.vid = row->vid();
    input.title = row->title();
    input.width = row->playerWidth();
    input.height = row->playerHeight();
    const QFontMetrics metrics(window()->font());
    m_lastCopy = embedcode::nextCopy(m_lastCopy, input, embedcode::Page::Search,
                                     embedcode::playerHostName(), metrics);
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_lastCopy.code);
    makeCurrent(row);
    m_ui->copySuccessLblS->show();
    m_ui->reviewCodeBtnS->show();
}

void VideoSearchPage::openCataSearchSlot()
{
    QPointer<SearchWidget> row = qobject_cast<SearchWidget *>(sender());
    if (!row)
        return;
    emit openCategoryRequested(row->cataid());
    if (row)
        makeCurrent(row);
}

void VideoSearchPage::on_reviewCodeBtnS_clicked()
{
    auto *dialog = new CopyCodeDialog(m_host->dialogParent(), m_lastCopy.type, m_lastCopy.header,
                                      m_lastCopy.code);
    dialog->exec(); // deletes itself when closed
}

void VideoSearchPage::on_searchBtn_clicked()
{
    m_ui->searchPageList->clear();
    requestSearch();
}

void VideoSearchPage::on_searchEdit_returnPressed()
{
    m_ui->searchPageList->clear();
    requestSearch();
}

void VideoSearchPage::on_searchPageList_itemClicked(QListWidgetItem *)
{
    requestSearch();
}

void VideoSearchPage::on_searchLeftPageBtn_clicked()
{
    stepVideoPage(m_ui->searchPageList, -1);
    requestSearch();
}

void VideoSearchPage::on_searchRightPageBtn_clicked()
{
    stepVideoPage(m_ui->searchPageList, +1);
    requestSearch();
}

void VideoSearchPage::on_sProceedPageBtn_clicked()
{
    const int row = typedVideoPageRow(m_ui->sPageIndexLineEdit->text(), m_ui->searchPageList);
    if (row < 0) {
        showMessage(tr("请输入有效的页数"));
        return;
    }
    m_ui->searchPageList->setCurrentRow(row);
    requestSearch();
}

void VideoSearchPage::on_sortComboBox_currentIndexChanged(int)
{
    if (m_ui->searchListWidget->count() == 0)
        return;
    m_ui->searchPageList->clear();
    requestSearch();
}
