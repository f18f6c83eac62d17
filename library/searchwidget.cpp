#include "library/searchwidget.h"

#include "ui_searchwidget.h"

#include "app/plaintext.h"
#include "library/videoformat.h"
#include "library/videorecord.h"
#include "library/videothumbnail.h"
#include "library/videoworkers.h"
#include "net/workers.h"

#include <QFontMetrics>

SearchWidget::SearchWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::SearchWidget)
{
    m_ui->setupUi(this);
    connect(m_ui->videoOperationBtn, &QPushButton::clicked, this, &SearchWidget::videoOperationBtnSlot);
    connect(m_ui->cataBtn, &QPushButton::clicked, this, &SearchWidget::cataBtnClickedSlot);
}

SearchWidget::~SearchWidget()
{
    releaseWorker(m_thumbnailThread, this);
    delete m_ui;
}

void SearchWidget::setHeaderTexts()
{
    m_ui->thumbnailLbl->setText(tr("缩略图"));
    m_ui->videoNameLbl->setText(tr("名称"));
    m_ui->cataBtn->setText(tr("目录"));
    m_ui->videoStatusLbl->setText(tr("视频状态"));
    m_ui->videoDurationLbl->setText(tr("视频时长"));
    m_ui->modifyTimeLbl->setText(tr("修改时间"));
    m_ui->playTimesLbl->setText(tr("播放次数"));
    m_ui->videoOperationBtn->setText(tr("操作"));
}

void SearchWidget::setVideo(const VideoRecord &video)
{
    setPlainText(m_ui->videoNameLbl, video.title);
    m_ui->videoNameLbl->setToolTip(plainToolTip(video.title));
    m_ui->videoStatusLbl->setText(videoformat::statusText(video.status));
    setPlainText(m_ui->videoDurationLbl, video.duration);
    m_ui->modifyTimeLbl->setText(videoformat::modificationText(video.ptime));
    setPlainText(m_ui->playTimesLbl, video.times);
    const QFontMetrics metrics(font());
    m_ui->cataBtn->setText(metrics.elidedText(video.cataname, Qt::ElideRight, m_ui->cataBtn->width()));
    m_ui->cataBtn->setToolTip(plainToolTip(video.cataname));

    m_vid = video.vid;
    m_title = video.title;
    m_cataid = video.cataid;
    m_playerwidth = video.playerwidth;
    m_playerheight = video.playerheight;

    const QString address = video.firstImage;
    issueWorker(
        m_thumbnailThread, [address] { return new downloadPicThread(address); }, this,
        &SearchWidget::finishedSlot);
}

void SearchWidget::videoOperationBtnSlot()
{
    emit copyCode();
}

void SearchWidget::cataBtnClickedSlot()
{
    emit openCata();
}

void SearchWidget::finishedSlot(QByteArray imgData)
{
    reapWorker(m_thumbnailThread);
    showVideoThumbnail(m_ui->thumbnailLbl, imgData);
}
