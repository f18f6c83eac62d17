// The remembered-users file of the login dialog.
#include "account/rememberedusers.h"
#include "fuzz/fuzzcheck.h"

#include <QJsonArray>
#include <QJsonDocument>

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    // The file as stored: whatever it holds, the reader gives a text or nothing.
    const QString stored = usersfile::decode(input);
    parseRememberedUsers(stored);

    // The input as the JSON text inside the file: the file keeps it exactly.
    const QString text = QString::fromUtf8(input);
    const QByteArray file = usersfile::encode(text);
    FUZZ_CHECK(!file.isEmpty() && file.size() % 16 == 0);
    FUZZ_CHECK(usersfile::decode(file) == text);

    // Remembering a user puts it first, keeps every other user once, and the
    // login finds it again.
    const QList<RememberedUser> before = parseRememberedUsers(text);
    RememberedUser user;
    user.usrName = before.isEmpty() ? QStringLiteral("demo@example.com") : before.last().usrName;
    user.usrPwd = QStringLiteral("secret");
    user.isRemberPwd = true;
    const QString after = rememberUser(text, user);
    const QList<RememberedUser> users = parseRememberedUsers(after);
    FUZZ_CHECK(!users.isEmpty());
    FUZZ_CHECK(users.first().usrName == user.usrName && users.first().usrPwd == user.usrPwd
               && users.first().isRemberPwd);
    int named = 0;
    for (const RememberedUser &u : users)
        named += u.usrName == user.usrName ? 1 : 0;
    FUZZ_CHECK(named == 1);
    const RememberedLookup found = findRememberedUser(after, user.usrName);
    FUZZ_CHECK(found.found && found.user.usrPwd == user.usrPwd);
    return 0;
}
