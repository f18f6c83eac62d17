// The login dialog against the local service with its demo accounts, the
// way a user logs in: both demo accounts are accepted with their channel,
// and a remembered password comes back at the next start from the
// remembered-users file in the working folder (here one whose name holds
// Chinese text and a blank). Runs natively and, in the Windows build, under
// wine against a native service; tst_zavixlogin has the failure cases.

#include "account/rememberedusers.h"
#include "account/zavixlogin.h"
#include "dialoghelper.h"
#include "net/closingflag.h"
#include "testservice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kPassword = QStringLiteral("zavix123");

struct Form
{
    QComboBox *usr = nullptr;
    QLineEdit *pwd = nullptr;
    QCheckBox *remember = nullptr;
    QPushButton *login = nullptr;
};

Form formOf(ZavixLogin &dialog)
{
    Form form;
    form.usr = dialog.findChild<QComboBox *>(QStringLiteral("usrCBX"));
    form.pwd = dialog.findChild<QLineEdit *>(QStringLiteral("pwdEdit"));
    form.remember = dialog.findChild<QCheckBox *>(QStringLiteral("rememberPwdCBox"));
    form.login = dialog.findChild<QPushButton *>(QStringLiteral("loginBtn"));
    return form;
}

// Fills the form, presses the button and waits until the dialog accepted
// itself or is idle again. Returns whether it accepted.
bool attempt(ZavixLogin &dialog, const QString &email, bool remember)
{
    const Form form = formOf(dialog);
    if (!form.usr || !form.pwd || !form.remember || !form.login)
        return false;
    dialog.show();
    form.usr->setEditText(email);
    form.pwd->setText(kPassword);
    form.remember->setChecked(remember);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.login->click();
    QTest::qWaitFor([&] { return !accepted.isEmpty() || form.login->isEnabled(); }, 20000);
    return !accepted.isEmpty();
}

} // namespace

class TestLoginService final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_originalDir = QDir::currentPath();
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString folder = m_dir->filePath(QStringLiteral("用户 数据"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir::setCurrent(folder));
        // Any message (a space or expiry notice) is confirmed, so that it
        // cannot block the test.
        m_answerer = std::make_unique<DialogAnswerer>();
        m_answerer->clickWhenShown(QStringLiteral("addBtn"), 10, QStringLiteral("MessageInfo"));
    }
    void cleanup()
    {
        resetClosingForTest();
        m_answerer.reset();
        QDir::setCurrent(m_originalDir);
        m_dir.reset();
    }
    void cleanupTestCase() { m_service.stop(); }

    void demoAccountsLogIn_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("uploadType");
        QTest::newRow("oss") << "oss@zavix.test" << "10001" << "0";
        QTest::newRow("wcs") << "wcs@zavix.test" << "10002" << "1";
    }
    void demoAccountsLogIn()
    {
        QFETCH(QString, email);
        QFETCH(QString, userId);
        QFETCH(QString, uploadType);
        ZavixLogin dialog;
        QVERIFY(attempt(dialog, email, false));
        QVERIFY(dialog.account());
        QCOMPARE(dialog.account()->userId, userId);
        QCOMPARE(dialog.account()->uploadType, uploadType);
        QVERIFY(!dialog.account()->uid.isEmpty());
    }

    void rememberedPasswordAtTheNextStart()
    {
        {
            ZavixLogin first;
            QCOMPARE(QFileInfo(first.usersFilePath()).absolutePath(), QDir::currentPath());
            QVERIFY(attempt(first, QStringLiteral("oss@zavix.test"), true));
        }
        QVERIFY(QFileInfo::exists(QDir::current().filePath(QStringLiteral("info"))));
        ZavixLogin second;
        const Form form = formOf(second);
        QCOMPARE(form.usr->currentText(), QStringLiteral("oss@zavix.test"));
        QCOMPARE(form.pwd->text(), kPassword);
        QVERIFY(form.remember->isChecked());
        QVERIFY(attempt(second, QStringLiteral("oss@zavix.test"), true));
    }

private:
    TestService m_service;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DialogAnswerer> m_answerer;
    QString m_originalDir;
};

QTEST_MAIN(TestLoginService)
#include "tst_loginservice.moc"
