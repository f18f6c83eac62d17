#include "account/zavixlogin.h"

#include "ui_zavixlogin.h"

#include "account/loginrules.h"
#include "account/rememberedusers.h"
#include "app/messageinfo.h"
#include "app/plaintext.h"
#include "net/api.h"
#include "net/closingflag.h"
#include "net/servicehosts.h"
#include "net/transferlimits.h"
#include "net/workers.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QUrl>

namespace {

const char *const kClearHistory = "清空历史记录";

} // namespace

ZavixLogin::ZavixLogin(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ZavixLogin)
    , m_usersFilePath(QDir::currentPath() + QStringLiteral("/info"))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_ui->customTitle->setTitle(windowTitle());
    // A view of its own, so that the style sheet can reach the popup's items.
    m_ui->usrCBX->setView(new QListView(m_ui->usrCBX));
    m_ui->usrCBX->lineEdit()->setPlaceholderText(tr("电子邮箱"));

    connect(m_ui->loginBtn, &QPushButton::clicked, this, &ZavixLogin::loginBtnClickSlot);
    connect(m_ui->forgetPwdBtn, &QPushButton::clicked, this, &ZavixLogin::forgetPwdBtnClickSlot);
    connect(m_ui->registerBtn, &QPushButton::clicked, this, &ZavixLogin::registerBtnClickSlot);

    loadRememberedUsers();
    // Connected after filling the list, so loading does not count as a choice.
    connect(m_ui->usrCBX, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ZavixLogin::usrIndexChangedSlot);

    m_account = std::make_unique<AccountRecord>();
}

ZavixLogin::~ZavixLogin()
{
    // The dialog lives until the program ends. A request still running now
    // belongs to a login that was abandoned: cut it short instead of keeping
    // the ending process alive until the transfer gives up by itself.
    if ((m_loginThread && m_loginThread->isRunning()) || (m_cataThread && m_cataThread->isRunning()))
        setClosing();
    reapWorker(m_loginThread);
    reapWorker(m_cataThread);
    delete m_ui;
}

void ZavixLogin::loadRememberedUsers()
{
    m_usersJson = usersfile::readFile(m_usersFilePath);
    const QList<RememberedUser> users = parseRememberedUsers(m_usersJson);
    bool filled = false;
    for (const RememberedUser &user : users) {
        m_ui->usrCBX->addItem(user.usrName);
        if (!filled && !user.usrName.isEmpty()) {
            filled = true;
            m_ui->usrCBX->setEditText(user.usrName);
            if (user.isRemberPwd)
                m_ui->pwdEdit->setText(user.usrPwd);
            m_ui->rememberPwdCBox->setChecked(user.isRemberPwd);
        }
    }
    if (!users.isEmpty())
        m_ui->usrCBX->addItem(tr(kClearHistory));
}

void ZavixLogin::keyPressEvent(QKeyEvent *event)
{
    // Return logs in; no other key does anything here, Escape included, so
    // the dialog cannot be closed by accident. While a login is under way
    // the button is disabled and Return is not a way around that.
    if (event->key() == Qt::Key_Return && m_ui->loginBtn->isEnabled())
        loginBtnClickSlot();
}

void ZavixLogin::forgetPwdBtnClickSlot()
{
    QDesktopServices::openUrl(QUrl(hosts::vendorSite() + QStringLiteral("/forget")));
}

void ZavixLogin::registerBtnClickSlot()
{
    QDesktopServices::openUrl(QUrl(hosts::vendorSite() + QStringLiteral("/register")));
}

void ZavixLogin::usrIndexChangedSlot(int index)
{
    Q_UNUSED(index)
    const QString current = m_ui->usrCBX->currentText();
    if (current == tr(kClearHistory)) {
        m_usersJson.clear();
        m_ui->usrCBX->clear();
        m_ui->pwdEdit->clear();
        QFile::remove(m_usersFilePath);
        return;
    }
    const RememberedLookup lookup = findRememberedUser(m_usersJson, current);
    if (!lookup.found)
        return;
    m_ui->pwdEdit->setText(lookup.user.isRemberPwd ? lookup.user.usrPwd : QString());
    m_ui->rememberPwdCBox->setChecked(lookup.user.isRemberPwd);
}

void ZavixLogin::loginBtnClickSlot()
{
    m_email = m_ui->usrCBX->currentText().trimmed();
    m_password = m_ui->pwdEdit->text().trimmed();
    m_ui->tipsLbl->clear();

    const QString invalid = login::validateInput(m_email, m_password);
    if (!invalid.isEmpty()) {
        m_ui->tipsLbl->setText(invalid);
        m_ui->loginBtn->setEnabled(true);
        return;
    }

    if (m_loginThread) {
        reapWorker(m_loginThread);
        return;
    }

    m_ui->loginBtn->setText(tr("正在登录,请稍后"));
    m_ui->loginBtn->setEnabled(false);

    // A silent service ends the request after the login limit, as a
    // network failure, instead of leaving the dialog waiting.
    const QString url = login::loginUrl(hosts::apiHost(), m_email, m_password);
    const long limitMs = transferLimits().loginMs;
    issueWorker(
        m_loginThread, [&url, limitMs] { return new GetJsonThread(url, limitMs); }, this,
        &ZavixLogin::loginThreadResultSlot);
}

void ZavixLogin::loginThreadResultSlot(QString catajs)
{
    reapWorker(m_loginThread);

    if (!catajs.contains(QLatin1String("rtoken"))) {
        qWarning() << "login refused" << loggableAnswer(catajs);
        failLogin(login::failureText(catajs));
        return;
    }

    saveRememberedUser();

    const login::LoginAnswer answer = login::parseLoginAnswer(catajs);
    if (!answer.valid) {
        failLogin(tr("服务器异常，请检查网络"));
        return;
    }

    if (answer.leftDay < 0) {
        showNotice(tr("您好，您的剩余天数不足1天"));
        QDesktopServices::openUrl(QUrl(hosts::supportChat()));
        failLogin(tr("剩余天数不足，请联系客服续费"));
        return;
    }

    if (answer.remainBytes < login::kLowSpaceBytes)
        showNotice(tr("您好，您的空间已不足1G"));

    login::fillRecord(*m_account, m_email, answer);

    if (m_cataThread) {
        reapWorker(m_cataThread);
        return;
    }
    const QString url = login::categoryUrl(hosts::apiHost(), m_account->uid, currentPtime(),
                                           m_account->secretKey);
    const long limitMs = transferLimits().loginMs;
    issueWorker(
        m_cataThread, [&url, limitMs] { return new GetJsonThread(url, limitMs); }, this,
        &ZavixLogin::logincataThreadResultSlot);
}

void ZavixLogin::logincataThreadResultSlot(QString catajs)
{
    reapWorker(m_cataThread);

    m_account->cataJson = catajs;
    if (catajs == QLatin1String("error")) {
        // No answer (a network failure or the time limit): the same text as
        // a login that got no answer, not an empty line.
        qWarning() << "category request after login failed";
        failLogin(login::failureText(catajs));
        return;
    }
    const login::CategoryVerdict verdict = login::evaluateCategoryAnswer(catajs);
    if (verdict.hasUserLevel)
        m_account->userLevel = verdict.userLevel;
    if (!verdict.accepted) {
        qWarning() << "category answer after login refused" << catajs.left(200);
        failLogin(verdict.error);
        return;
    }
    accept();
}

void ZavixLogin::saveRememberedUser()
{
    RememberedUser user;
    user.usrName = m_email;
    user.isRemberPwd = m_ui->rememberPwdCBox->isChecked();
    user.usrPwd = user.isRemberPwd ? m_password : QString();
    m_usersJson = rememberUser(m_usersJson, user);
    if (!usersfile::writeFile(m_usersFilePath, m_usersJson))
        qWarning() << "cannot write the remembered users to" << m_usersFilePath;
}

void ZavixLogin::failLogin(const QString &message)
{
    setPlainText(m_ui->tipsLbl, message);
    m_ui->loginBtn->setText(tr("登录"));
    m_ui->loginBtn->setEnabled(true);
}

void ZavixLogin::showNotice(const QString &text)
{
    auto *notice = new MessageInfo(this, tr("提示"), text, tr("确定"), QString());
    notice->exec();
    delete notice;
}
