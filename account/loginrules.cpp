#include "account/loginrules.h"

#include "net/api.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

#include <cmath>
#include <limits>

namespace {

// A number of the answer truncated towards zero; values beyond the 64-bit
// range saturate (converting them directly would be undefined).
qint64 saturatedInt64(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775808.0)
        return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(d);
}

// A number of the answer as a 64-bit integer; numeric strings count too.
qint64 int64Of(const QJsonValue &value)
{
    if (value.isDouble())
        return saturatedInt64(value.toDouble());
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return 0;
}

// A text field of the answer; ids that arrive as numbers are kept as digits.
QString textOf(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(saturatedInt64(value.toDouble()));
    return {};
}

} // namespace

namespace login {

QString validateInput(const QString &email, const QString &password)
{
    if (email.isEmpty())
        return QObject::tr("请输入您的邮箱");
    if (!email.contains(QLatin1Char('@')))
        return QObject::tr("账号格式有误,请检查");
    if (password.isEmpty() || password == QStringLiteral("请输入您的登录密码"))
        return QObject::tr("请输入您的密码");
    if (password.size() < 5)
        return QObject::tr("密码有误,请仔细检查");
    return {};
}

PasswordDigests passwordDigests(const QString &password)
{
    const QByteArray bytes = password.toUtf8();
    PasswordDigests digests;
    digests.password = QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(20).toUpper());
    digests.passwordMd5 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    return digests;
}

QString loginUrl(const QString &apiHost, const QString &email, const QString &password)
{
    const PasswordDigests digests = passwordDigests(password);
    return apiHost + QStringLiteral("/v2/user/login?") + QStringLiteral("email=")
        + QString::fromLatin1(urlEncode(email)) + QStringLiteral("&password=") + digests.password
        + QStringLiteral("&passwordMd5=") + digests.passwordMd5;
}

QString categoryUrl(const QString &apiHost, const QString &uid, qint64 ptime,
                    const QString &secretKey)
{
    const QString stamp = QString::number(ptime);
    const QString sign = signParams(QStringLiteral("ptime=") + stamp + secretKey);
    return apiHost + QStringLiteral("/v2/video/") + uid + QStringLiteral("/cata?ptime=") + stamp
        + QStringLiteral("&sign=") + sign;
}

QString failureText(const QString &answer)
{
    if (answer == QLatin1String("error"))
        return QObject::tr("服务器异常，请检查网络");
    if (answer.contains(QLatin1String("password error")))
        return QObject::tr("密码有误, 登录失败");
    if (answer.contains(QLatin1String("user is not exist")))
        return QObject::tr("用户不存在,登录失败");
    if (answer.contains(QLatin1String("user status error")))
        return QObject::tr("您的账号状态异常");
    if (answer.contains(QLatin1String("user expired")))
        return QObject::tr("您的账号已过期");
    if (answer.contains(QLatin1String("sub user not allow")))
        return QObject::tr("请勿使用直播账号登录");
    return {};
}

LoginAnswer parseLoginAnswer(const QString &text)
{
    LoginAnswer answer;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject())
        return answer;
    const QJsonValue dataValue = doc.object().value(QStringLiteral("data"));
    if (!dataValue.isObject())
        return answer;
    const QJsonObject data = dataValue.toObject();
    answer.valid = true;
    answer.leftDay = int(qBound<qint64>(std::numeric_limits<int>::min(), int64Of(data.value(QStringLiteral("leftDay"))),
                                         std::numeric_limits<int>::max()));
    answer.remainBytes = int64Of(data.value(QStringLiteral("remainBytes")));
    answer.userId = textOf(data.value(QStringLiteral("userId")));
    answer.packageType = textOf(data.value(QStringLiteral("packageType")));
    answer.childUserId = textOf(data.value(QStringLiteral("childUserId")));
    answer.uploadType = textOf(data.value(QStringLiteral("uploadType")));
    answer.secretKey = textOf(data.value(QStringLiteral("secretKey")));
    return answer;
}

QString remainSpaceText(qint64 remainBytes)
{
    float value = float(remainBytes);
    value = value / 1024 / 1024 / 1024;
    return QString::number(double(value), 'f', 2);
}

void fillRecord(AccountRecord &record, const QString &email, const LoginAnswer &answer)
{
    record.email = email;
    record.leftDay = answer.leftDay;
    record.remainSpace = remainSpaceText(answer.remainBytes);
    record.userId = answer.userId;
    record.packageType = answer.packageType;
    record.uploadType = answer.uploadType;
    record.secretKey = answer.secretKey;
    record.isChild = !answer.childUserId.isEmpty();
    record.uid = record.isChild ? answer.childUserId : answer.userId;
}

CategoryVerdict evaluateCategoryAnswer(const QString &text)
{
    CategoryVerdict verdict;
    const ApiEnvelope envelope = parseEnvelope(text);
    if (!envelope.parsed)
        return verdict; // failure with the empty message
    if (envelope.code == 200) {
        const QJsonObject data = envelope.data.toObject();
        const qint64 level = int64Of(data.value(QStringLiteral("userLevel")));
        const qint64 cataid = int64Of(data.value(QStringLiteral("cataid")));
        verdict.hasUserLevel = true;
        verdict.userLevel = QString::number(level);
        if (level == 4 && cataid == 0) {
            verdict.error = QObject::tr("您没有目录权限，登录失败");
            return verdict;
        }
        verdict.accepted = true;
        return verdict;
    }
    if (envelope.message == QLatin1String(kPtimeTooOld)
        || envelope.message == QLatin1String(kPtimeIllegal))
        verdict.error = QObject::tr("系统时间错误，请检查系统时间");
    return verdict;
}

} // namespace login
