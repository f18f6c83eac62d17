// The login answer and the category answer that follows a login.
#include "account/accountrecord.h"
#include "account/loginrules.h"
#include "fuzz/fuzzcheck.h"

#include <QJsonDocument>
#include <QJsonObject>

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));

    const login::LoginAnswer answer = login::parseLoginAnswer(text);
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    FUZZ_CHECK(answer.valid
               == (document.isObject() && document.object().value(QStringLiteral("data")).isObject()));
    AccountRecord record;
    login::fillRecord(record, QStringLiteral("demo@example.com"), answer);
    // A child account works under its own id, every other under the user's.
    FUZZ_CHECK(record.uid == (answer.childUserId.isEmpty() ? answer.userId : answer.childUserId));
    login::remainSpaceText(answer.remainBytes);
    login::failureText(text);

    const login::CategoryVerdict verdict = login::evaluateCategoryAnswer(text);
    // Accepted answers carry the user level; rejections say why, unless the
    // answer was not even an object.
    if (verdict.accepted)
        FUZZ_CHECK(verdict.hasUserLevel && verdict.error.isEmpty());
    return 0;
}
