// The login dialog against the local service emulator.

#include "account/rememberedusers.h"
#include "account/zavixlogin.h"
#include "devservice/devservice.h"
#include "dialoghelper.h"
#include "eventloopwatch.h"
#include "net/closingflag.h"
#include "net/servicehosts.h"
#include "net/transferlimits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

const QString kPassword = QStringLiteral("pass12345");

// Accounts of this test, one per situation the dialog has to handle.
const char *const kSeed = R"({
  "accounts": [
    {"userId": "u100", "email": "ok@zavix.test", "password": "pass12345", "secretKey": "sk-u100",
     "packageType": "pro", "uploadType": "0", "leftDay": 30, "remainBytes": 5368709120,
     "userLevel": 6, "cataid": 1, "note": "plain account"},
    {"userId": "u101", "email": "b@zavix.test", "password": "pass12345", "secretKey": "sk-u101",
     "uploadType": "1", "leftDay": 30, "remainBytes": 5368709120, "userLevel": 1},
    {"userId": "u102", "email": "ab@zavix.test", "password": "pass12345", "secretKey": "sk-u102",
     "uploadType": "0", "leftDay": 30, "remainBytes": 5368709120, "userLevel": 1},
    {"userId": "u103", "email": "zero@zavix.test", "password": "pass12345", "secretKey": "sk-u103",
     "uploadType": "0", "leftDay": 0, "remainBytes": 5368709120, "userLevel": 1},
    {"userId": "u104", "email": "over@zavix.test", "password": "pass12345", "secretKey": "sk-u104",
     "uploadType": "0", "leftDay": -1, "remainBytes": 5368709120, "userLevel": 1},
    {"userId": "u105", "email": "low@zavix.test", "password": "pass12345", "secretKey": "sk-u105",
     "uploadType": "0", "leftDay": 30, "remainBytes": 1073741823, "userLevel": 1},
    {"userId": "u106", "email": "edge@zavix.test", "password": "pass12345", "secretKey": "sk-u106",
     "uploadType": "0", "leftDay": 30, "remainBytes": 1073741824, "userLevel": 1},
    {"userId": "u107", "email": "level4@zavix.test", "password": "pass12345", "secretKey": "sk-u107",
     "uploadType": "0", "leftDay": 30, "remainBytes": 5368709120, "userLevel": 4, "cataid": 0},
    {"userId": "u108", "email": "child@zavix.test", "password": "pass12345", "secretKey": "sk-u108",
     "uploadType": "0", "leftDay": 30, "remainBytes": 5368709120, "userLevel": 1,
     "parentUserId": "u100"},
    {"userId": "u109", "email": "disabled@zavix.test", "password": "pass12345",
     "secretKey": "sk-u109", "state": "disabled"},
    {"userId": "u110", "email": "expired@zavix.test", "password": "pass12345",
     "secretKey": "sk-u110", "state": "expired"},
    {"userId": "u111", "email": "live@zavix.test", "password": "pass12345",
     "secretKey": "sk-u111", "state": "live"}
  ]
})";

const QString kLoginPath = QStringLiteral("/v2/user/login");
const QString kCataPath = QStringLiteral("/v2/video/[^/]+/cata");

// A port on 127.0.0.1 that nothing listens on any more.
quint16 closedPort()
{
    devsvc::DevService gone;
    if (!gone.start())
        return 9; // discard: refused on a machine that does not serve it
    const quint16 port = gone.port();
    gone.stop();
    return port;
}

} // namespace

// Catches the pages the dialog opens in the browser.
class UrlCatcher final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestZavixLogin final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void widgetsOfTheForm();
    void loginFailures_data();
    void loginFailures();
    void shortPasswordSendsNothing();
    void addressIsTrimmed();
    void rememberPasswordAcrossStarts();
    void choosingARememberedUser();
    void clearHistoryDeletesFile();
    void recentUserFirstAndContainedAddressSeparate();
    void remainingDays_data();
    void remainingDays();
    void lowSpaceWarning_data();
    void lowSpaceWarning();
    void categoryAnswers_data();
    void categoryAnswers();
    void acceptedOnlyAfterCategoryAnswer();
    void silentServiceEndsWithTheNetworkText_data();
    void silentServiceEndsWithTheNetworkText();
    void keys();
    void damagedUsersFile_data();
    void damagedUsersFile();
    void browserPages();
    void closedByTitleBar();

private:
    struct Form
    {
        QComboBox *usr = nullptr;
        QLineEdit *pwd = nullptr;
        QCheckBox *remember = nullptr;
        QPushButton *login = nullptr;
        QLabel *tips = nullptr;
    };
    static Form formOf(ZavixLogin &dialog);
    // One attempt: fills the form, presses the button and waits until the
    // dialog accepted itself or is idle again. Returns whether it accepted.
    bool attempt(ZavixLogin &dialog, const QString &email, const QString &password,
                 bool remember = false);
    // A whole start: a new dialog that logs in once with the test password.
    bool loginOnce(const QString &email, bool remember = false);
    QList<RememberedUser> storedUsers() const;
    int loginRequests() const { return m_service->requests(kLoginPath).size(); }

    std::unique_ptr<devsvc::DevService> m_service;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DialogAnswerer> m_answerer;
    UrlCatcher m_browser;
    QString m_originalDir;
};

void TestZavixLogin::initTestCase()
{
    m_originalDir = QDir::currentPath();
    m_service = std::make_unique<devsvc::DevService>();
    const devsvc::OpResult seeded = m_service->seed(kSeed);
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service->baseUrl().toUtf8());
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
}

void TestZavixLogin::init()
{
    // The remembered-users file lives in the working folder.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    qputenv("ZAVIX_SERVICE_URL", m_service->baseUrl().toUtf8());
    m_service->clearFaults();
    m_service->setClockOffsetMs(0);
    m_service->clearRequestLog();
    m_browser.urls.clear();
    // Any message dialog is confirmed and recorded, so that an unexpected
    // one fails the test instead of blocking it.
    m_answerer = std::make_unique<DialogAnswerer>();
    m_answerer->clickWhenShown(QStringLiteral("addBtn"), 10, QStringLiteral("MessageInfo"));
}

void TestZavixLogin::cleanup()
{
    resetTransferLimitsForTest();
    m_service->releaseStalls();
    resetClosingForTest(); // set when a failed test left a dialog with a request
    m_answerer.reset();
    QDir::setCurrent(m_originalDir);
    m_dir.reset();
}

void TestZavixLogin::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m_service->stop();
}

TestZavixLogin::Form TestZavixLogin::formOf(ZavixLogin &dialog)
{
    Form form;
    form.usr = dialog.findChild<QComboBox *>(QStringLiteral("usrCBX"));
    form.pwd = dialog.findChild<QLineEdit *>(QStringLiteral("pwdEdit"));
    form.remember = dialog.findChild<QCheckBox *>(QStringLiteral("rememberPwdCBox"));
    form.login = dialog.findChild<QPushButton *>(QStringLiteral("loginBtn"));
    form.tips = dialog.findChild<QLabel *>(QStringLiteral("tipsLbl"));
    return form;
}

bool TestZavixLogin::attempt(ZavixLogin &dialog, const QString &email, const QString &password,
                             bool remember)
{
    const Form form = formOf(dialog);
    dialog.show();
    form.usr->setEditText(email);
    form.pwd->setText(password);
    form.remember->setChecked(remember);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.login->click();
    const bool ended =
        QTest::qWaitFor([&] { return !accepted.isEmpty() || form.login->isEnabled(); }, 10000);
    if (!ended)
        qWarning("the login attempt did not end in time");
    return !accepted.isEmpty();
}

bool TestZavixLogin::loginOnce(const QString &email, bool remember)
{
    ZavixLogin dialog;
    return attempt(dialog, email, kPassword, remember);
}

QList<RememberedUser> TestZavixLogin::storedUsers() const
{
    return parseRememberedUsers(usersfile::readFile(QDir::current().filePath(QStringLiteral("info"))));
}

void TestZavixLogin::widgetsOfTheForm()
{
    ZavixLogin dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("ZavixLogin"));
    QCOMPARE(int(dialog.windowFlags()), 0x40803);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Zavix上传客户端"));
    QCOMPARE(dialog.usersFilePath(), QDir::currentPath() + QStringLiteral("/info"));
    const Form form = formOf(dialog);
    QVERIFY(form.usr && form.pwd && form.remember && form.login && form.tips);
    QVERIFY(form.usr->isEditable());
    QCOMPARE(form.usr->size(), QSize(220, 30));
    QCOMPARE(form.usr->lineEdit()->placeholderText(), QStringLiteral("电子邮箱"));
    QCOMPARE(form.usr->count(), 0);
    QCOMPARE(form.pwd->echoMode(), QLineEdit::Password);
    QCOMPARE(form.pwd->placeholderText(), QStringLiteral("密码"));
    QCOMPARE(form.login->text(), QStringLiteral("登录"));
    QCOMPARE(form.remember->text(), QStringLiteral("记住密码"));
    QCOMPARE(dialog.findChild<QPushButton *>("forgetPwdBtn")->text(), QStringLiteral("忘记密码？"));
    QCOMPARE(dialog.findChild<QPushButton *>("registerBtn")->text(), QStringLiteral("注册账号"));
    QCOMPARE(dialog.findChild<QLabel *>("registerTipsLbl")->text(), QStringLiteral("还没有账号？去"));
    QCOMPARE(dialog.findChild<QWidget *>("customTitle")->size(), QSize(320, 60));
    QCOMPARE(int(form.tips->alignment()), 0x84);
    QVERIFY(dialog.account());
    QVERIFY(dialog.account()->uid.isEmpty());
}

void TestZavixLogin::loginFailures_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");     // 0: the service answers by itself
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("remembered");

    const QString ok = QStringLiteral("ok@zavix.test");
    QTest::newRow("network down") << ok << kPassword << -1 << QByteArray()
                                  << "服务器异常，请检查网络" << false;
    QTest::newRow("status 500 with a good body")
        << ok << kPassword << 500 << QByteArray(R"({"code":200,"data":{"rtoken":"r"}})")
        << "服务器异常，请检查网络" << false;
    QTest::newRow("wrong password") << ok << "wrong-pass" << 0 << QByteArray()
                                    << "密码有误, 登录失败" << false;
    QTest::newRow("unknown user") << "nobody@zavix.test" << kPassword << 0 << QByteArray()
                                  << "用户不存在,登录失败" << false;
    QTest::newRow("disabled account") << "disabled@zavix.test" << kPassword << 0 << QByteArray()
                                      << "您的账号状态异常" << false;
    QTest::newRow("expired account") << "expired@zavix.test" << kPassword << 0 << QByteArray()
                                     << "您的账号已过期" << false;
    QTest::newRow("live account") << "live@zavix.test" << kPassword << 0 << QByteArray()
                                  << "请勿使用直播账号登录" << false;
    QTest::newRow("unknown refusal")
        << ok << kPassword << 200 << QByteArray(R"({"code":400,"status":"error","message":"busy"})")
        << "" << false;
    QTest::newRow("not json but rtoken") << ok << kPassword << 200 << QByteArray("rtoken?")
                                         << "服务器异常，请检查网络" << true;
    QTest::newRow("array") << ok << kPassword << 200 << QByteArray(R"(["rtoken"])")
                           << "服务器异常，请检查网络" << true;
    QTest::newRow("data not an object")
        << ok << kPassword << 200 << QByteArray(R"({"code":200,"rtoken":"r","data":"x"})")
        << "服务器异常，请检查网络" << true;
}

void TestZavixLogin::loginFailures()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QFETCH(bool, remembered);

    if (status < 0)
        qputenv("ZAVIX_SERVICE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(closedPort()));
    else if (status > 0)
        m_service->answerNext(kLoginPath, status, body);

    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QVERIFY(!attempt(dialog, email, password));
    QCOMPARE(form.tips->text(), expected);
    QCOMPARE(form.login->text(), QStringLiteral("登录"));
    QVERIFY(form.login->isEnabled());
    QVERIFY(m_service->requests(kCataPath).isEmpty());
    QCOMPARE(m_answerer->answeredCount(), 0);
    // A user is remembered as soon as the answer carried "rtoken".
    QCOMPARE(storedUsers().size(), remembered ? 1 : 0);
}

void TestZavixLogin::shortPasswordSendsNothing()
{
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QVERIFY(!attempt(dialog, QStringLiteral("ok@zavix.test"), QStringLiteral(" 1234 ")));
    QCOMPARE(form.tips->text(), QStringLiteral("密码有误,请仔细检查"));
    QVERIFY(!attempt(dialog, QStringLiteral("  "), kPassword));
    QCOMPARE(form.tips->text(), QStringLiteral("请输入您的邮箱"));
    QVERIFY(!attempt(dialog, QStringLiteral("ok.zavix.test"), kPassword));
    QCOMPARE(form.tips->text(), QStringLiteral("账号格式有误,请检查"));
    QVERIFY(form.login->isEnabled());
    QCOMPARE(form.login->text(), QStringLiteral("登录"));
    QCOMPARE(m_service->requestLog().size(), 0);
    QVERIFY(!QFile::exists(dialog.usersFilePath()));
}

void TestZavixLogin::addressIsTrimmed()
{
    ZavixLogin dialog;
    QVERIFY(attempt(dialog, QStringLiteral("  ok@zavix.test \t"), QStringLiteral(" ") + kPassword));
    const QList<devsvc::RequestLogEntry> logins = m_service->requests(kLoginPath);
    QCOMPARE(logins.size(), 1);
    const QUrlQuery query(logins.first().query);
    QCOMPARE(query.queryItemValue(QStringLiteral("email"), QUrl::FullyEncoded),
             QStringLiteral("ok%40zavix.test"));
    QCOMPARE(dialog.account()->email, QStringLiteral("ok@zavix.test"));
    const QList<RememberedUser> users = storedUsers();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().usrName, QStringLiteral("ok@zavix.test"));
}

void TestZavixLogin::rememberPasswordAcrossStarts()
{
    QVERIFY(loginOnce(QStringLiteral("ok@zavix.test"), true));
    {
        ZavixLogin second;
        const Form form = formOf(second);
        QCOMPARE(form.usr->currentText(), QStringLiteral("ok@zavix.test"));
        QCOMPARE(form.pwd->text(), kPassword);
        QVERIFY(form.remember->isChecked());
        QCOMPARE(form.usr->count(), 2);
        QCOMPARE(form.usr->itemText(1), QStringLiteral("清空历史记录"));
        // Log in again without asking to remember the password.
        QVERIFY(attempt(second, QStringLiteral("ok@zavix.test"), kPassword, false));
    }
    {
        ZavixLogin third;
        const Form form = formOf(third);
        QCOMPARE(form.usr->currentText(), QStringLiteral("ok@zavix.test"));
        QCOMPARE(form.pwd->text(), QString());
        QVERIFY(!form.remember->isChecked());
    }
    const QList<RememberedUser> users = storedUsers();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().usrPwd, QString());
    QVERIFY(!users.first().isRemberPwd);
}

void TestZavixLogin::choosingARememberedUser()
{
    QVERIFY(loginOnce(QStringLiteral("b@zavix.test"), true));
    QVERIFY(loginOnce(QStringLiteral("ab@zavix.test"), false));
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QCOMPARE(form.usr->count(), 3);
    QCOMPARE(form.usr->currentText(), QStringLiteral("ab@zavix.test"));
    form.usr->setCurrentIndex(1); // b@, password remembered
    QCOMPARE(form.pwd->text(), kPassword);
    QVERIFY(form.remember->isChecked());
    form.usr->setCurrentIndex(0); // ab@, password not remembered
    QCOMPARE(form.pwd->text(), QString());
    QVERIFY(!form.remember->isChecked());
}

void TestZavixLogin::clearHistoryDeletesFile()
{
    QVERIFY(loginOnce(QStringLiteral("ok@zavix.test"), true));
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QVERIFY(QFile::exists(dialog.usersFilePath()));
    QCOMPARE(form.pwd->text(), kPassword);
    form.usr->setCurrentIndex(form.usr->count() - 1);
    QCOMPARE(form.usr->count(), 0);
    QCOMPARE(form.usr->currentText(), QString());
    QCOMPARE(form.pwd->text(), QString());
    QVERIFY(!QFile::exists(dialog.usersFilePath()));
    // The next login starts a new list.
    QVERIFY(attempt(dialog, QStringLiteral("b@zavix.test"), kPassword));
    const QList<RememberedUser> users = storedUsers();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().usrName, QStringLiteral("b@zavix.test"));
}

void TestZavixLogin::recentUserFirstAndContainedAddressSeparate()
{
    // A new dialog per login, as at each start of the program.
    QVERIFY(loginOnce(QStringLiteral("b@zavix.test")));
    QVERIFY(loginOnce(QStringLiteral("ab@zavix.test")));
    QVERIFY(loginOnce(QStringLiteral("ok@zavix.test")));
    QVERIFY(loginOnce(QStringLiteral("b@zavix.test")));
    QStringList names;
    for (const RememberedUser &user : storedUsers())
        names << user.usrName;
    QCOMPARE(names, (QStringList{"b@zavix.test", "ok@zavix.test", "ab@zavix.test"}));
}

void TestZavixLogin::remainingDays_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0 days left") << "zero@zavix.test" << true;
    QTest::newRow("-1 days left") << "over@zavix.test" << false;
}

void TestZavixLogin::remainingDays()
{
    QFETCH(QString, email);
    QFETCH(bool, accepted);
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QCOMPARE(attempt(dialog, email, kPassword), accepted);
    if (accepted) {
        QCOMPARE(m_answerer->answeredCount(), 0);
        QVERIFY(m_browser.urls.isEmpty());
        QCOMPARE(dialog.account()->leftDay, 0);
        return;
    }
    QCOMPARE(m_answerer->answeredCount(), 1);
    QCOMPARE(m_answerer->last().title, QStringLiteral("提示"));
    QCOMPARE(m_answerer->last().message, QStringLiteral("您好，您的剩余天数不足1天"));
    QCOMPARE(m_browser.urls, QList<QUrl>{QUrl(hosts::supportChat())});
    QCOMPARE(form.tips->text(), QStringLiteral("剩余天数不足，请联系客服续费"));
    QVERIFY(form.login->isEnabled());
    QVERIFY(m_service->requests(kCataPath).isEmpty());
    QCOMPARE(storedUsers().size(), 1); // remembered before the refusal
}

void TestZavixLogin::lowSpaceWarning_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<QString>("remainSpace");
    QTest::newRow("one byte below 1 GiB") << "low@zavix.test" << true << "1.00";
    QTest::newRow("exactly 1 GiB") << "edge@zavix.test" << false << "1.00";
    QTest::newRow("5 GiB") << "ok@zavix.test" << false << "5.00";
}

void TestZavixLogin::lowSpaceWarning()
{
    QFETCH(QString, email);
    QFETCH(bool, warned);
    QFETCH(QString, remainSpace);
    ZavixLogin dialog;
    QVERIFY(attempt(dialog, email, kPassword)); // the warning does not stop the login
    QCOMPARE(m_answerer->answeredCount(), warned ? 1 : 0);
    if (warned)
        QCOMPARE(m_answerer->last().message, QStringLiteral("您好，您的空间已不足1G"));
    QCOMPARE(dialog.account()->remainSpace, remainSpace);
}

void TestZavixLogin::categoryAnswers_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<qint64>("clockShift");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("tips");
    QTest::addColumn<QString>("userLevel");

    const qint64 hours = 3600 * 1000;
    QTest::newRow("service clock hours ahead")
        << "ok@zavix.test" << 5 * hours << 0 << QByteArray() << false
        << "系统时间错误，请检查系统时间" << "";
    QTest::newRow("ptime is illegal.")
        << "ok@zavix.test" << qint64(0) << 200
        << QByteArray(R"({"code":400,"status":"error","message":"ptime is illegal.","data":{}})")
        << false << "系统时间错误，请检查系统时间" << "";
    QTest::newRow("level 4 without a category") << "level4@zavix.test" << qint64(0) << 0
                                                << QByteArray() << false
                                                << "您没有目录权限，登录失败" << "4";
    QTest::newRow("not an object") << "ok@zavix.test" << qint64(0) << 200 << QByteArray("[1,2]")
                                   << false << "" << "";
    QTest::newRow("transport failure") << "ok@zavix.test" << qint64(0) << 500 << QByteArray("{}")
                                       << false << "服务器异常，请检查网络" << "";
    QTest::newRow("other refusal")
        << "ok@zavix.test" << qint64(0) << 200
        << QByteArray(R"({"code":403,"status":"error","message":"sign error","data":{}})") << false
        << "" << "";
    QTest::newRow("level 6") << "ok@zavix.test" << qint64(0) << 0 << QByteArray() << true << ""
                             << "6";
}

void TestZavixLogin::categoryAnswers()
{
    QFETCH(QString, email);
    QFETCH(qint64, clockShift);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, accepted);
    QFETCH(QString, tips);
    QFETCH(QString, userLevel);

    m_service->setClockOffsetMs(clockShift);
    if (status > 0)
        m_service->answerNext(kCataPath, status, body);
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QCOMPARE(attempt(dialog, email, kPassword), accepted);
    QCOMPARE(form.tips->text(), tips);
    QCOMPARE(dialog.account()->userLevel, userLevel);
    const QList<devsvc::RequestLogEntry> cata = m_service->requests(kCataPath);
    QCOMPARE(cata.size(), 1);
    if (status == 200)
        QCOMPARE(dialog.account()->cataJson, QString::fromUtf8(body));
    else if (status == 500)
        QCOMPARE(dialog.account()->cataJson, QStringLiteral("error"));
    if (!accepted) {
        QVERIFY(form.login->isEnabled());
        QCOMPARE(form.login->text(), QStringLiteral("登录"));
    }
}

void TestZavixLogin::acceptedOnlyAfterCategoryAnswer()
{
    m_service->stallNext(kCataPath);
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.usr->setEditText(QStringLiteral("child@zavix.test"));
    form.pwd->setText(kPassword);
    form.login->click();
    QCOMPARE(form.login->text(), QStringLiteral("正在登录,请稍后"));
    QVERIFY(!form.login->isEnabled());
    QTRY_COMPARE(m_service->stalledCount(), 1); // the category request is held
    QCoreApplication::processEvents();
    QVERIFY(accepted.isEmpty());
    QVERIFY(!form.login->isEnabled());
    QCOMPARE(form.login->text(), QStringLiteral("正在登录,请稍后"));
    m_service->releaseStalls();
    QTRY_COMPARE(accepted.size(), 1);
    // the category request went to the effective (child) user id
    QCOMPARE(m_service->requests(kCataPath).first().path, QStringLiteral("/v2/video/u108/cata"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const AccountRecord *record = dialog.account();
    QCOMPARE(record->email, QStringLiteral("child@zavix.test"));
    QCOMPARE(record->uid, QStringLiteral("u108"));
    QVERIFY(record->isChild);
    QCOMPARE(record->userId, QStringLiteral("u100"));
    QCOMPARE(record->secretKey, QStringLiteral("sk-u108"));
    QCOMPARE(record->uploadType, QStringLiteral("0"));
    QCOMPARE(record->leftDay, 30);
    QCOMPARE(record->remainSpace, QStringLiteral("5.00"));
    QCOMPARE(record->userLevel, QStringLiteral("1"));
    QVERIFY(record->cataJson.contains(QLatin1String("\"code\"")));
}

void TestZavixLogin::silentServiceEndsWithTheNetworkText_data()
{
    QTest::addColumn<QString>("silentPath");
    QTest::newRow("login request") << kLoginPath;
    QTest::newRow("category request") << kCataPath;
}

void TestZavixLogin::silentServiceEndsWithTheNetworkText()
{
    // The service takes the request and never answers. After the login limit
    // (shortened here) the dialog shows the network text and can be used
    // again; its event loop runs all the while.
    QFETCH(QString, silentPath);
    TransferLimits limits;
    limits.loginMs = 1500;
    setTransferLimitsForTest(limits);
    m_service->stallNext(silentPath);
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.usr->setEditText(QStringLiteral("ok@zavix.test"));
    form.pwd->setText(kPassword);
    EventLoopWatch watch;
    QElapsedTimer timer;
    timer.start();
    form.login->click();
    QTRY_COMPARE(m_service->stalledCount(), 1);
    // Measured from here: the silent part (the login answer before a silent
    // category request builds a notice dialog, which is work, not waiting).
    watch.restart();
    QCOMPARE(form.login->text(), QStringLiteral("正在登录,请稍后"));
    QTRY_VERIFY_WITH_TIMEOUT(form.login->isEnabled(), 8000);
    QVERIFY2(timer.elapsed() >= 1400, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
    QCOMPARE(form.tips->text(), QStringLiteral("服务器异常，请检查网络"));
    QCOMPARE(form.login->text(), QStringLiteral("登录"));
    QVERIFY(accepted.isEmpty());

    // With the service answering again, the next press logs in.
    m_service->releaseStalls();
    form.login->click();
    QTRY_COMPARE(accepted.size(), 1);
}

void TestZavixLogin::keys()
{
    ZavixLogin dialog;
    const Form form = formOf(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy rejected(&dialog, &QDialog::rejected);

    QTest::keyClick(form.pwd, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QVERIFY(rejected.isEmpty());

    // Return in the address field runs the checks; nothing is added to the list.
    form.usr->setEditText(QStringLiteral("ok@zavix.test"));
    QTest::keyClick(form.usr->lineEdit(), Qt::Key_Return);
    QCOMPARE(form.tips->text(), QStringLiteral("请输入您的密码"));
    QCOMPARE(form.usr->count(), 0);

    // Return in the password field logs in; a second Return while the first
    // login is under way starts nothing.
    m_service->stallNext(kLoginPath);
    form.pwd->setText(kPassword);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::keyClick(form.pwd, Qt::Key_Return);
    QTRY_COMPARE(m_service->stalledCount(), 1);
    QVERIFY(!form.login->isEnabled());
    QTest::keyClick(form.pwd, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Return);
    m_service->releaseStalls();
    QTRY_COMPARE(accepted.size(), 1);
    QCOMPARE(loginRequests(), 1);
    QCOMPARE(m_service->requests(kCataPath).size(), 1);
}

void TestZavixLogin::damagedUsersFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = usersfile::encode(
        QStringLiteral(R"([{"usrName":"old@zavix.test","usrPwd":"","isRemberPwd":false}])"));
    QTest::newRow("garbage") << QByteArray("\x00\x01garbage\xff", 11);
    QTest::newRow("truncated") << good.left(good.size() - 3);
    QTest::newRow("plain json") << QByteArray(R"([{"usrName":"old@zavix.test"}])");
    QTest::newRow("encrypted non-json") << usersfile::encode(QStringLiteral("not json at all"));
    QTest::newRow("empty file") << QByteArray();
}

void TestZavixLogin::damagedUsersFile()
{
    QFETCH(QByteArray, bytes);
    QFile file(QDir::current().filePath(QStringLiteral("info")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    ZavixLogin dialog;
    const Form form = formOf(dialog);
    QCOMPARE(form.usr->count(), 0);
    QCOMPARE(form.usr->currentText(), QString());
    QVERIFY(attempt(dialog, QStringLiteral("ok@zavix.test"), kPassword));
    const QList<RememberedUser> users = storedUsers();
    QCOMPARE(users.size(), 1); // rewritten as a fresh list
    QCOMPARE(users.first().usrName, QStringLiteral("ok@zavix.test"));
}

void TestZavixLogin::browserPages()
{
    ZavixLogin dialog;
    dialog.findChild<QPushButton *>("forgetPwdBtn")->click();
    dialog.findChild<QPushButton *>("registerBtn")->click();
    QCOMPARE(m_browser.urls,
             (QList<QUrl>{QUrl(hosts::vendorSite() + "/forget"), QUrl(hosts::vendorSite() + "/register")}));
    QCOMPARE(m_service->requestLog().size(), 0);
}

void TestZavixLogin::closedByTitleBar()
{
    // Run modally as at startup; the title bar's close button rejects it.
    m_answerer->clear();
    m_answerer->clickWhenShown(QStringLiteral("close"), QStringLiteral("ZavixLogin"));
    ZavixLogin dialog;
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(m_answerer->answeredCount(), 1);
    QCOMPARE(m_service->requestLog().size(), 0);
}

QTEST_MAIN(TestZavixLogin)
#include "tst_zavixlogin.moc"
