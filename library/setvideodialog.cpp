#include "library/setvideodialog.h"

#include "ui_setvideodialog.h"

#include "account/accountrecord.h"
#include "app/customtitle.h"
#include "app/plaintext.h"
#include "library/videorequests.h"
#include "library/videoworkers.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/workers.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

QString chooseImageFile(QWidget *parent, const QString &startPath)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Document"), startPath,
                                        QStringLiteral("Document files(*.gif *.jpg *.bmp *.png);"));
}

// "status" of an answer object; empty when the text is no JSON object.
struct EditAnswer
{
    QString status;
    QString code;
    QString message;
};

EditAnswer readAnswer(const QString &text)
{
    EditAnswer answer;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return answer;
    const QJsonObject object = document.object();
    answer.status = object.value(QLatin1String("status")).toString();
    answer.code = object.value(QLatin1String("code")).toVariant().toString();
    answer.message = object.value(QLatin1String("message")).toString();
    return answer;
}

} // namespace

SetVideoDialog::SetVideoDialog(QWidget *parent, AccountRecord *account, const QString &vid,
                               const QString &title, const QString &tag, const QString &describ)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint)
    , m_ui(new Ui::SetvideoDialog)
    , m_chooser(chooseImageFile)
    , m_vid(vid)
{
    m_ui->setupUi(this);
    if (account) {
        m_uid = account->uid;
        m_secretKey = account->secretKey;
    }
    auto *bar = new CustomTitle(this);
    bar->setTitle(tr("修改视频信息"));
    bar->setMinimumHeight(40);
    m_ui->outerLayout->insertWidget(0, bar);

    m_ui->titleEdit->setText(title);
    m_ui->tagEdit->setPlainText(tag);
    m_ui->describEdit->setPlainText(describ);
    connect(m_ui->Confirm, &QPushButton::clicked, this, &SetVideoDialog::on_confirm_clicked);
}

SetVideoDialog::~SetVideoDialog()
{
    releaseWorker(m_editThread, this);
    releaseWorker(m_coverThread, this);
    delete m_ui;
}

void SetVideoDialog::on_confirm_clicked()
{
    m_ui->tipsLabel->clear();
    const QString title = m_ui->titleEdit->text().trimmed();
    const QString tag = m_ui->tagEdit->toPlainText();
    const QString describ = m_ui->describEdit->toPlainText();
    if (title.isEmpty() && tag.isEmpty() && describ.isEmpty()) {
        close();
        return;
    }
    m_submittedTitle = title;
    m_submittedTag = tag;
    m_submittedDescrib = describ;
    const videorequests::FormRequest request = videorequests::editInfoRequest(
        hosts::apiHost(), m_uid, {m_vid, title, tag, describ}, currentPtime(), m_secretKey);
    if (issueWorker(
            m_editThread, [request] { return new psotRequest(request.url, request.body); }, this,
            &SetVideoDialog::onFinished))
        m_ui->Confirm->setEnabled(false);
}

void SetVideoDialog::onFinished(QString text, QString error)
{
    reapWorker(m_editThread);
    if (text.isEmpty()) {
        qWarning() << m_vid << "edit video info failed:" << error;
        m_ui->Confirm->setEnabled(m_coverThread.isNull());
        m_ui->tipsLabel->setText(tr("更新文件信息失败,请检查网络"));
        return;
    }
    const EditAnswer answer = readAnswer(text);
    if (answer.status == QLatin1String("success")) {
        emit modify(m_submittedTitle, m_submittedTag, m_submittedDescrib, QString());
        close();
        return;
    }
    qWarning() << m_vid << "edit video info rejected:" << answer.code << answer.message;
    m_ui->Confirm->setEnabled(m_coverThread.isNull());
    setPlainText(m_ui->tipsLabel, answer.message);
}

void SetVideoDialog::on_upLoadpic_clicked()
{
    m_ui->tipsLabel->clear();
    const QString path = m_chooser ? m_chooser(this, m_imagePath) : QString();
    if (path.isEmpty())
        return;
    m_imagePath = path;
    const videorequests::CoverRequest request =
        videorequests::coverRequest(hosts::apiHost(), m_uid, m_vid, currentPtime(), m_secretKey);
    const QByteArray localPath = path.toUtf8();
    if (issueWorker(
            m_coverThread,
            [request, localPath] {
                return new psotImage(request.url, localPath, request.ptime, request.sign, request.vids);
            },
            this, &SetVideoDialog::uploadFinished)) {
        m_ui->Confirm->setEnabled(false);
        m_ui->upLoadpic->setEnabled(false);
    }
}

void SetVideoDialog::uploadFinished(QString text, QString error)
{
    reapWorker(m_coverThread);
    if (text.isEmpty()) {
        qWarning() << m_vid << "cover upload failed:" << error;
        m_ui->tipsLabel->setText(tr("上传预览图片失败,请检查网络"));
    } else if (readAnswer(text).status == QLatin1String("success")) {
        emit modify(QString(), QString(), QString(), m_imagePath);
    }
    m_ui->Confirm->setEnabled(m_editThread.isNull());
    m_ui->upLoadpic->setEnabled(true);
}
