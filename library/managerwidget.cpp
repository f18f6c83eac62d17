#include "library/managerwidget.h"

#include "ui_managerwidget.h"

#include "account/accountrecord.h"
#include "app/messageinfo.h"
#include "app/plaintext.h"
#include "library/setvideodialog.h"
#include "library/videoformat.h"
#include "library/videorecord.h"
#include "library/videorequests.h"
#include "library/videothumbnail.h"
#include "library/videoworkers.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/workers.h"

#include <QDebug>

ManagerWidget::ManagerWidget(QWidget *parent, AccountRecord *account, bool isHeader)
    : QWidget(parent)
    , m_ui(new Ui::ManagerWidget)
    , m_account(account)
    , m_isHeader(isHeader)
{
    m_ui->setupUi(this);
    if (isHeader) {
        m_ui->videoSetupBtn->setEnabled(false);
        m_ui->videoDelBtn->setEnabled(false);
        m_ui->videoDelBtn->hide();
    } else {
        m_ui->videoSetupBtn->setEnabled(true);
        m_ui->videoDelBtn->setEnabled(true);
    }
    connect(m_ui->videoDelBtn, &QPushButton::clicked, this, &ManagerWidget::VideoDel);
    connect(m_ui->videoOperationBtn, &QPushButton::clicked, this, &ManagerWidget::videoOperationBtnSlot);
    connect(m_ui->videoSetupBtn, &QPushButton::clicked, this, &ManagerWidget::setVideoBtnSlot);
}

ManagerWidget::~ManagerWidget()
{
    releaseWorker(m_thumbnailThread, this);
    releaseWorker(m_delThread, this);
    delete m_ui;
}

void ManagerWidget::setHeaderTexts()
{
    m_ui->thumbnailLbl->setText(tr("缩略图"));
    m_ui->videoNameLbl->setText(tr("视频名称"));
    m_ui->videoStatusLbl->setText(tr("视频状态"));
    m_ui->modifyTimeLbl->setText(tr("修改时间"));
    m_ui->playTimesLbl->setText(tr("播放次数"));
    m_ui->videoOperationBtn->setText(tr("操作"));
    m_ui->videoSetupBtn->setText(tr("视频设置"));
}

void ManagerWidget::setVideo(const VideoRecord &video)
{
    // Only level-6 accounts may delete.
    if (!m_account || m_account->userLevel != QLatin1String("6"))
        m_ui->videoDelBtn->hide();

    setPlainText(m_ui->videoNameLbl, video.title);
    m_ui->videoNameLbl->setToolTip(plainToolTip(video.title));
    m_ui->videoStatusLbl->setText(videoformat::statusText(video.status));
    m_ui->modifyTimeLbl->setText(videoformat::modificationText(video.ptime));
    setPlainText(m_ui->playTimesLbl, video.times);

    m_vid = video.vid;
    m_title = video.title;
    m_tag = video.tag;
    m_describ = video.describ;
    m_playerwidth = video.playerwidth;
    m_playerheight = video.playerheight;
    startThumbnail(video.firstImage);
}

void ManagerWidget::startThumbnail(const QString &url)
{
    const QString address = url;
    issueWorker(
        m_thumbnailThread, [address] { return new downloadPicThread(address); }, this,
        &ManagerWidget::finishedSlot);
}

void ManagerWidget::finishedSlot(QByteArray imgData)
{
    reapWorker(m_thumbnailThread);
    showVideoThumbnail(m_ui->thumbnailLbl, imgData);
}

void ManagerWidget::videoOperationBtnSlot()
{
    emit copyCode();
}

bool ManagerWidget::notify(const QString &text)
{
    QPointer<ManagerWidget> self(this);
    QPointer<MessageInfo> box = new MessageInfo(this, tr("提示"), text, tr("确定"), QString());
    box->exec();
    delete box.data();
    return !self.isNull();
}

void ManagerWidget::VideoDel()
{
    if (!m_account || m_account->userLevel != QLatin1String("6")) {
        notify(tr("没有权限删除视频！"));
        return;
    }
    QPointer<ManagerWidget> self(this);
    QPointer<MessageInfo> question =
        new MessageInfo(this, tr("删除视频"), tr("确认删除视频吗？"), tr("确认删除"), tr("取消"));
    const int answer = question->exec();
    delete question.data();
    if (!self || answer != QDialog::Accepted)
        return;

    m_uid = m_account->uid;
    m_secretKey = m_account->secretKey;
    const QString url =
        videorequests::deleteUrl(hosts::apiHost(), m_uid, m_vid, currentPtime(), m_secretKey);
    issueWorker(
        m_delThread, [url] { return new GetJsonThread(url); }, this, &ManagerWidget::DelThreadResult);
}

void ManagerWidget::DelThreadResult(QString text)
{
    reapWorker(m_delThread);
    const ApiEnvelope answer = parseEnvelope(text);
    if (!answer.parsed) {
        qWarning() << m_vid << "delete video failed:" << text.left(200);
        notify(tr("删除视频失败\r\n请检查网络"));
        return;
    }
    if (answer.code != 200) {
        qWarning() << m_vid << "delete video rejected:" << answer.code << answer.message;
        if (answer.message.contains(QLatin1String("ptime")))
            notify(tr("请检查系统时间"));
        else
            notify(QStringLiteral("%1").arg(answer.message));
        return;
    }
    if (answer.status.toUtf8() != QByteArrayLiteral("success"))
        return;
    qDebug() << m_vid << "video deleted";
    // The notice first: once delVideo is handled the row is gone.
    if (!notify(tr("删除成功")))
        return;
    emit delVideo();
}

void ManagerWidget::setVideoBtnSlot()
{
    if (m_ui->videoStatusLbl->text() == tr("上传中")) {
        notify(tr("视频上传中\r\n请稍后"));
        return;
    }
    QPointer<SetVideoDialog> dialog = new SetVideoDialog(this, m_account, m_vid, m_title, m_tag, m_describ);
    connect(dialog.data(), &SetVideoDialog::modify, this, &ManagerWidget::modifyInfo);
    dialog->exec();
    delete dialog.data();
}

void ManagerWidget::modifyInfo(QString title, QString tag, QString describ, QString imagePath)
{
    if (!imagePath.isEmpty())
        showPictureFile(m_ui->thumbnailLbl, imagePath);
    if (!title.isEmpty()) {
        setPlainText(m_ui->videoNameLbl, title);
        m_ui->videoNameLbl->setToolTip(plainToolTip(title));
        m_title = title;
    }
    if (!tag.isEmpty())
        m_tag = tag;
    if (!describ.isEmpty())
        m_describ = describ;
}
