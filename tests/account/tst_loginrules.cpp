#include "account/loginrules.h"

#include <QCryptographicHash>
#include <QtTest>

#include <limits>

class TestLoginRules final : public QObject
{
    Q_OBJECT

private slots:
    void validation_data();
    void validation();
    void digestsAndUrl();
    void categoryUrlIsSigned();
    void failureTexts_data();
    void failureTexts();
    void loginAnswer();
    void remainSpace_data();
    void remainSpace();
    void categoryVerdict_data();
    void categoryVerdict();
};

void TestLoginRules::validation_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty e-mail wins") << "" << "" << "请输入您的邮箱";
    QTest::newRow("no @") << "user.example.com" << "" << "账号格式有误,请检查";
    QTest::newRow("no password") << "a@b.cn" << "" << "请输入您的密码";
    QTest::newRow("hint text as password") << "a@b.cn" << "请输入您的登录密码" << "请输入您的密码";
    QTest::newRow("4 characters") << "a@b.cn" << "1234" << "密码有误,请仔细检查";
    QTest::newRow("4 chinese characters") << "a@b.cn" << "密码密码" << "密码有误,请仔细检查";
    QTest::newRow("5 characters") << "a@b.cn" << "12345" << "";
}

void TestLoginRules::validation()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QCOMPARE(login::validateInput(email, password), expected);
}

void TestLoginRules::digestsAndUrl()
{
    const QString password = QStringLiteral("密码abc123");
    const QByteArray bytes = password.toUtf8();
    const login::PasswordDigests digests = login::passwordDigests(password);
    const QString sha1 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    QCOMPARE(digests.password, sha1.left(20).toUpper());
    QCOMPARE(digests.passwordMd5,
             QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()));
    // "hello": well-known digests
    const login::PasswordDigests hello = login::passwordDigests(QStringLiteral("hello"));
    QCOMPARE(hello.password, QStringLiteral("AAF4C61DDCC5E8A2DABE"));
    QCOMPARE(hello.passwordMd5, QStringLiteral("5d41402abc4b2a76b9719d911017c592"));

    QCOMPARE(login::loginUrl(QStringLiteral("http://127.0.0.1:9"), QStringLiteral("a b+c@例.cn"),
                             QStringLiteral("hello")),
             QStringLiteral("http://127.0.0.1:9/v2/user/login?email=a+b%2Bc%40%E4%BE%8B.cn"
                            "&password=AAF4C61DDCC5E8A2DABE"
                            "&passwordMd5=5d41402abc4b2a76b9719d911017c592"));
}

void TestLoginRules::categoryUrlIsSigned()
{
    const QString url = login::categoryUrl(QStringLiteral("http://h"), QStringLiteral("u1"),
                                           1511856000000LL, QStringLiteral("KEY"));
    const QString sign = QString::fromLatin1(
        QCryptographicHash::hash("ptime=1511856000000KEY", QCryptographicHash::Sha1)
            .toHex()
            .toUpper());
    QCOMPARE(url, QStringLiteral("http://h/v2/video/u1/cata?ptime=1511856000000&sign=") + sign);
}

void TestLoginRules::failureTexts_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("expected");
    QTest::newRow("transport") << "error" << "服务器异常，请检查网络";
    QTest::newRow("password") << R"({"code":400,"message":"password error"})" << "密码有误, 登录失败";
    QTest::newRow("no user") << R"({"message":"user is not exist"})" << "用户不存在,登录失败";
    QTest::newRow("status") << R"({"message":"user status error"})" << "您的账号状态异常";
    QTest::newRow("expired") << R"({"message":"user expired"})" << "您的账号已过期";
    QTest::newRow("sub user") << R"({"message":"sub user not allow"})" << "请勿使用直播账号登录";
    QTest::newRow("other") << R"({"message":"something else"})" << "";
    QTest::newRow("error inside a text") << "an error happened" << "";
    // earlier texts win when an answer carries several
    QTest::newRow("order") << "user expired / password error" << "密码有误, 登录失败";
}

void TestLoginRules::failureTexts()
{
    QFETCH(QString, answer);
    QFETCH(QString, expected);
    QCOMPARE(login::failureText(answer), expected);
}

void TestLoginRules::loginAnswer()
{
    const QString text = QStringLiteral(
        R"({"code":200,"data":{"rtoken":"r","leftDay":-1,"remainBytes":5368709120,)"
        R"("userId":"u1","packageType":"pro","childUserId":"c9","uploadType":"0","secretKey":"S"}})");
    const login::LoginAnswer answer = login::parseLoginAnswer(text);
    QVERIFY(answer.valid);
    QCOMPARE(answer.leftDay, -1);
    QCOMPARE(answer.remainBytes, 5368709120LL);
    AccountRecord record;
    login::fillRecord(record, QStringLiteral("a@b.cn"), answer);
    QCOMPARE(record.uid, QStringLiteral("c9"));
    QVERIFY(record.isChild);
    QCOMPARE(record.userId, QStringLiteral("u1"));
    QCOMPARE(record.remainSpace, QStringLiteral("5.00"));
    QCOMPARE(record.secretKey, QStringLiteral("S"));
    QCOMPARE(record.uploadType, QStringLiteral("0"));
    QCOMPARE(record.packageType, QStringLiteral("pro"));
    QCOMPARE(record.email, QStringLiteral("a@b.cn"));

    const login::LoginAnswer parent = login::parseLoginAnswer(
        QStringLiteral(R"({"data":{"rtoken":"r","userId":"u1","childUserId":""}})"));
    AccountRecord parentRecord;
    login::fillRecord(parentRecord, QStringLiteral("a@b.cn"), parent);
    QCOMPARE(parentRecord.uid, QStringLiteral("u1"));
    QVERIFY(!parentRecord.isChild);

    // Numbers beyond the integers' range saturate instead of wrapping.
    const login::LoginAnswer huge = login::parseLoginAnswer(QStringLiteral(
        R"({"data":{"rtoken":"r","leftDay":1e300,"remainBytes":-1e300,"userId":4e19}})"));
    QCOMPARE(huge.leftDay, std::numeric_limits<int>::max());
    QCOMPARE(huge.remainBytes, std::numeric_limits<qint64>::min());
    QCOMPARE(huge.userId, QString::number(std::numeric_limits<qint64>::max()));

    QVERIFY(!login::parseLoginAnswer(QStringLiteral("rtoken")).valid);
    QVERIFY(!login::parseLoginAnswer(QStringLiteral(R"(["rtoken"])")).valid);
    QVERIFY(!login::parseLoginAnswer(QStringLiteral(R"({"rtoken":1,"data":[1]})")).valid);
}

void TestLoginRules::remainSpace_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << "0.00";
    QTest::newRow("just below 1 GiB") << qint64(1073741823) << "1.00";
    QTest::newRow("1.5 GiB") << qint64(1610612736) << "1.50";
    QTest::newRow("half a TiB") << qint64(549755813888) << "512.00";
    QTest::newRow("negative") << qint64(-1073741824) << "-1.00";
}

void TestLoginRules::remainSpace()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, expected);
    QCOMPARE(login::remainSpaceText(bytes), expected);
}

void TestLoginRules::categoryVerdict_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("userLevel");
    QTest::newRow("ok") << R"({"code":200,"data":{"userLevel":6,"cataid":1}})" << true << ""
                        << "6";
    QTest::newRow("level 4 whole library") << R"({"code":200,"data":{"userLevel":4,"cataid":0}})"
                                           << false << "您没有目录权限，登录失败" << "4";
    QTest::newRow("level 4 sub tree") << R"({"code":200,"data":{"userLevel":4,"cataid":17}})"
                                      << true << "" << "4";
    QTest::newRow("level 1 cataid 0") << R"({"code":200,"data":{"userLevel":1,"cataid":0}})"
                                      << true << "" << "1";
    QTest::newRow("too old") << R"({"code":400,"message":"ptime is too old."})" << false
                             << "系统时间错误，请检查系统时间" << "";
    QTest::newRow("illegal") << R"({"code":400,"message":"ptime is illegal."})" << false
                             << "系统时间错误，请检查系统时间" << "";
    QTest::newRow("other message") << R"({"code":400,"message":"ptime is odd"})" << false << ""
                                   << "";
    QTest::newRow("transport") << "error" << false << "" << "";
    QTest::newRow("array") << "[]" << false << "" << "";
}

void TestLoginRules::categoryVerdict()
{
    QFETCH(QString, answer);
    QFETCH(bool, accepted);
    QFETCH(QString, error);
    QFETCH(QString, userLevel);
    const login::CategoryVerdict verdict = login::evaluateCategoryAnswer(answer);
    QCOMPARE(verdict.accepted, accepted);
    QCOMPARE(verdict.error, error);
    QCOMPARE(verdict.userLevel, userLevel);
}

QTEST_GUILESS_MAIN(TestLoginRules)
#include "tst_loginrules.moc"
