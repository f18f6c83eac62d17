#pragma once

#include "account/accountrecord.h"

#include <QString>
#include <QtGlobal>

// The login's rules that need no window: input checks, the password digests,
// the two request URLs and the evaluation of the two answers.
namespace login {

// The first validation failure of an attempt, or an empty text when the
// (already trimmed) input may be sent.
QString validateInput(const QString &email, const QString &password);

struct PasswordDigests
{
    QString password;    // first 20 hex digits of SHA-1, upper case
    QString passwordMd5; // MD5, lower-case hex
};
PasswordDigests passwordDigests(const QString &password);

// apiHost + "/v2/user/login?email=...&password=...&passwordMd5=..." (unsigned).
QString loginUrl(const QString &apiHost, const QString &email, const QString &password);

// apiHost + "/v2/video/<uid>/cata?ptime=<ptime>&sign=<sign>".
QString categoryUrl(const QString &apiHost, const QString &uid, qint64 ptime,
                    const QString &secretKey);

// The text shown for a login answer that does not contain "rtoken".
QString failureText(const QString &answer);

// A login answer that carried "rtoken", read field by field.
struct LoginAnswer
{
    bool valid = false; // the answer is an object whose data is an object
    int leftDay = 0;
    qint64 remainBytes = 0;
    QString userId;
    QString packageType;
    QString childUserId;
    QString uploadType;
    QString secretKey;
};
LoginAnswer parseLoginAnswer(const QString &text);

inline constexpr qint64 kLowSpaceBytes = qint64(1) << 30; // 1 GiB

// Remaining storage in GiB with two decimals.
QString remainSpaceText(qint64 remainBytes);

// Fills the record's login fields from an answer.
void fillRecord(AccountRecord &record, const QString &email, const LoginAnswer &answer);

// The verdict on the category answer that follows a login.
struct CategoryVerdict
{
    bool accepted = false;
    QString error;     // the text for the tips label when not accepted
    bool hasUserLevel = false;
    QString userLevel; // decimal, when the answer had code 200
};
CategoryVerdict evaluateCategoryAnswer(const QString &text);

} // namespace login
