#include "library/addcatadialog.h"

#include "ui_addcatadialog.h"

#include "app/customtitle.h"
#include "app/plaintext.h"
#include "net/api.h"
#include "net/backgroundcall.h"
#include "net/servicehosts.h"
#include "net/transfer.h"
#include "net/transferlimits.h"

#include <QFontMetrics>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QtDebug>

#include <cmath>
#include <string>

AddCataRequest buildAddCataRequest(const QString &apiHost, const QString &uid, const QString &secretKey,
                                   const QString &parentId, const QString &name, qint64 ptime)
{
    AddCataRequest request;
    const QString ptimeText = QString::number(ptime);
    request.url = (apiHost + QStringLiteral("/v2/video/") + uid + QStringLiteral("/addCata/")).toUtf8();
    request.signedText = QStringLiteral("cataname=%1&parentid=%2&ptime=%3%4")
                             .arg(name, parentId, ptimeText, secretKey);
    const QString sign = signParams(request.signedText);
    request.body = QByteArrayLiteral("cataname=") + urlEncode(name.toUtf8())
        + QStringLiteral("&parentid=%1&ptime=%2&sign=%3").arg(parentId, ptimeText, sign).toUtf8();
    return request;
}

AddCataOutcome evaluateAddCataAnswer(bool transferOk, const QString &answer)
{
    AddCataOutcome outcome;
    if (!transferOk) {
        outcome.tip = QObject::tr("http 请求错误，请检查网络。");
        return outcome;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        outcome.tip = QObject::tr("创建目录错误");
        return outcome;
    }
    const QJsonObject object = doc.object();
    const int code = object.value(QLatin1String("code")).toInt();
    const QString message = object.value(QLatin1String("message")).toString();
    if (code != 200) {
        outcome.tip = message.contains(QLatin1String("ptime")) ? QObject::tr("请检查系统时间") : message;
        return outcome;
    }
    // Code 200: the category exists on the service. Without a usable id the
    // tree cannot address a new item, so cataid stays empty and the caller
    // reloads the tree instead; an error here would invite a duplicate.
    outcome.ok = true;
    const QJsonValue id = object.value(QLatin1String("data")).toObject().value(QLatin1String("cataid"));
    const double d = id.toDouble();
    if (id.isDouble() && std::isfinite(d) && d > 0 && d < 9.2233720368547758e18)
        outcome.cataid = QString::number(static_cast<qint64>(d));
    return outcome;
}

AddCataDialog::AddCataDialog(QWidget *parent, QString uid, QString secretKey, QString parentId,
                             QString parentName)
    : QDialog(parent)
    , m_ui(new Ui::AddCataDialog)
    , m_parentId(std::move(parentId))
    , m_uid(std::move(uid))
    , m_secretKey(std::move(secretKey))
{
    m_ui->setupUi(this);
    m_title = m_ui->customTitle;
    m_title->setTitle(tr("新建目录"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(522, 260);

    m_ui->currentCataCotentLbl->setTextFormat(Qt::PlainText);
    m_ui->currentCataCotentLbl->setText(QFontMetrics(font()).elidedText(parentName, Qt::ElideRight, 220));
    // Rich text with the name escaped, so that markup in a name shows as typed.
    m_ui->currentCataCotentLbl->setToolTip(QStringLiteral("<span>%1</span>").arg(parentName.toHtmlEscaped()));
    m_ui->addCataEdit->setMaxLength(40);
    m_ui->currentNumLbl->setText(QStringLiteral("0/40"));
    connect(m_ui->addCataEdit, &QLineEdit::textChanged, this, &AddCataDialog::CheckInputText);
}

AddCataDialog::~AddCataDialog()
{
    delete m_ui;
}

void AddCataDialog::CheckInputText(QString text)
{
    m_ui->currentNumLbl->setText(QStringLiteral("%1/40").arg(text.size()));
}

namespace {

struct AddCataAnswer
{
    bool ok = false;
    QString text;
};

} // namespace

void AddCataDialog::on_addBtn_clicked()
{
    if (m_pending)
        return;
    const QString name = m_ui->addCataEdit->text().trimmed();
    if (name.isEmpty()) {
        m_ui->tipsLbl->setText(tr("您的输入为空"));
        return;
    }
    const AddCataRequest request =
        buildAddCataRequest(hosts::apiHost(), m_uid, m_secretKey, m_parentId, name, currentPtime());
    qCritical() << "request cata http url:" << request.url;

    // The request runs on a thread of its own; the dialog stays responsive
    // and may be closed meanwhile (the answer is then dropped).
    m_pending = true;
    m_ui->addBtn->setEnabled(false);
    background::start<AddCataAnswer>(
        this, int(transferLimits().addCategoryMs),
        [request](const std::atomic_bool &) {
            std::string response;
            AddCataAnswer answer;
            answer.ok = syncFormRequest(request.url, response, false, request.body, {});
            answer.text = QString::fromUtf8(response.data(), static_cast<int>(response.size()));
            return answer;
        },
        [this, name](AddCataAnswer answer) { finishAdd(name, answer.ok, answer.text); },
        [this, name] { finishAdd(name, false, QString()); });
}

void AddCataDialog::finishAdd(const QString &name, bool transferOk, const QString &answer)
{
    m_pending = false;
    m_ui->addBtn->setEnabled(true);
    qCritical() << "add cata http data:" << answer;
    const AddCataOutcome outcome = evaluateAddCataAnswer(transferOk, answer);
    if (!outcome.ok) {
        setPlainText(m_ui->tipsLbl, outcome.tip);
        return;
    }
    emit Result(name, outcome.cataid);
    close();
}

void AddCataDialog::on_cancelBtn_clicked()
{
    close();
}
