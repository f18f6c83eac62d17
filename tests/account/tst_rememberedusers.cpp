#include "account/rememberedusers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

class TestRememberedUsers final : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void knownAnswer();
    void paddingLeavesAWholeExtraBlock_data();
    void paddingLeavesAWholeExtraBlock();
    void damagedFileGivesNothing_data();
    void damagedFileGivesNothing();
    void fileIsWrittenWhole();
    void fileIsTheOwnersOnly();
    void rememberPutsUserFirst();
    void notAnArrayGivesEmptyList_data();
    void notAnArrayGivesEmptyList();
};

void TestRememberedUsers::roundTrip_data()
{
    QTest::addColumn<QString>("json");
    QTest::newRow("one user") << QStringLiteral(
        "[\n    {\n        \"isRemberPwd\": true,\n        \"usrName\": \"a@b.cn\",\n"
        "        \"usrPwd\": \"secret\"\n    }\n]\n");
    QTest::newRow("chinese text") << QStringLiteral("[{\"usrName\":\"张三@例子.中国\"}]");
    QTest::newRow("empty array") << QStringLiteral("[]");
    // Base64 of 12 bytes is 16 characters: a length on a block boundary.
    QTest::newRow("block boundary") << QStringLiteral("[\"abcdefgh\"]");
}

void TestRememberedUsers::roundTrip()
{
    QFETCH(QString, json);
    const QByteArray stored = usersfile::encode(json);
    QVERIFY(!stored.isEmpty());
    QVERIFY(!stored.contains(json.toUtf8().toBase64().left(8))); // really encrypted
    QCOMPARE(usersfile::decode(stored), json);
}

// One fixed text and the exact bytes of its file, made without the program:
//
//   printf '[\n    {\n        "isRemberPwd": true,\n        "usrName": "li.lei@example.cn",\n        "usrPwd": "Zx 9+/="\n    }\n]\n' > users.json
//   # 152 Base64 characters, then zero bytes up to 160 (the next multiple
//   # of 16) + 16 = 176
//   { base64 -w0 users.json; head -c 24 /dev/zero; } > padded.bin
//   openssl enc -aes-128-cbc -nopad -K 5a617669782d55706c6f61642d4b6579 \
//       -iv 3c910ed4276ba815f249835ec71a60bd -in padded.bin | xxd -p
//
// A change of key, vector, mode, padding or Base64 step changes these bytes.
void TestRememberedUsers::knownAnswer()
{
    const QString text = QStringLiteral("[\n    {\n        \"isRemberPwd\": true,\n        \"usrName\": "
                                        "\"li.lei@example.cn\",\n        \"usrPwd\": \"Zx 9+/=\"\n    }\n]\n");
    const QByteArray bytes = QByteArray::fromHex(
        "ff0d7c290d6564259b676166db804bfc93eb345e7a2460a4724ef69fd2b84cdd"
        "31ab165239a88cccae136cf25264221bb9201ee9d6c195bcae659df818ce8bbb"
        "286d5bca037fc2a707456fdfa15cdc4af7f5a7573aa71fcd156974d93c88bb76"
        "de7a2099417731b875f002d4a638212ff0a00fed401cbd309945ac3b1eb7a28e"
        "31a6edd5787bfaec9073d90c4b36ee9ba284c29aa3bb4f18fa7e1c1c7ad32892"
        "b16dca1c7b21ebb55fa314d66625ef44");
    QCOMPARE(bytes.size(), 176);
    QCOMPARE(usersfile::encode(text), bytes);
    QCOMPARE(usersfile::decode(bytes), text);

    // The same through the file, and the text is what remembering the user gives.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("info"));
    QVERIFY(usersfile::writeFile(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    QCOMPARE(usersfile::readFile(path), text);
    RememberedUser user;
    user.usrName = QStringLiteral("li.lei@example.cn");
    user.usrPwd = QStringLiteral("Zx 9+/=");
    user.isRemberPwd = true;
    QCOMPARE(rememberUser(QString(), user), text);
}

void TestRememberedUsers::paddingLeavesAWholeExtraBlock_data()
{
    QTest::addColumn<int>("textBytes");
    QTest::addColumn<int>("storedBytes");
    // Base64 length 4 -> 16 + 16; 16 -> 16 + 16; 20 -> 32 + 16.
    QTest::newRow("short") << 1 << 32;
    QTest::newRow("exact block") << 12 << 32;
    QTest::newRow("past a block") << 13 << 48;
}

void TestRememberedUsers::paddingLeavesAWholeExtraBlock()
{
    QFETCH(int, textBytes);
    QFETCH(int, storedBytes);
    QCOMPARE(usersfile::encode(QString(textBytes, QLatin1Char('x'))).size(), storedBytes);
}

void TestRememberedUsers::damagedFileGivesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = usersfile::encode(QStringLiteral("[{\"usrName\":\"a@b.cn\"}]"));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated mid block") << good.left(good.size() - 5);
    QTest::newRow("one block short") << good.left(good.size() - 16);
    QTest::newRow("not encrypted") << QByteArray("[{\"usrName\":\"a@b.cn\"}]   ");
    QTest::newRow("random blocks") << QByteArray(64, '\x5a');
    QByteArray flipped = good;
    flipped[3] = char(flipped[3] ^ 0x40);
    QTest::newRow("flipped byte") << flipped;
}

void TestRememberedUsers::damagedFileGivesNothing()
{
    QFETCH(QByteArray, bytes);
    const QString text = usersfile::decode(bytes);
    // Whatever survives must not be taken as a user list.
    QVERIFY(parseRememberedUsers(text).isEmpty());
}

void TestRememberedUsers::fileIsWrittenWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("info"));
    QCOMPARE(usersfile::readFile(path), QString()); // missing
    const QString json = rememberUser(QString(), {QStringLiteral("a@b.cn"), QString(), false});
    QVERIFY(usersfile::writeFile(path, json));
    QCOMPARE(usersfile::readFile(path), json);
    // A shorter list replaces the file; no tail of the old one remains.
    const QString shorter = QStringLiteral("[]");
    QVERIFY(usersfile::writeFile(path, shorter));
    QCOMPARE(usersfile::readFile(path), shorter);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("info")});
    // A folder in the file's place is not readable as the file.
    QTemporaryDir other;
    QVERIFY(QDir(other.path()).mkdir(QStringLiteral("info")));
    QCOMPARE(usersfile::readFile(other.filePath(QStringLiteral("info"))), QString());
    QVERIFY(!usersfile::writeFile(other.filePath(QStringLiteral("info")), json));
}

void TestRememberedUsers::fileIsTheOwnersOnly()
{
#ifdef Q_OS_WIN
    QSKIP("POSIX file modes");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("info"));
    const QString json = rememberUser(QString(), {QStringLiteral("a@b.cn"), QStringLiteral("secret-pw"), true});
    auto mode = [&path] {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    };
    const mode_t previous = ::umask(0);
    QVERIFY(usersfile::writeFile(path, json));
    ::umask(previous);
    QCOMPARE(mode(), 0600);
    // A file an older version left readable by others is tightened when it is rewritten.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    QVERIFY(usersfile::writeFile(path, json));
    QCOMPARE(mode(), 0600);
    QCOMPARE(usersfile::readFile(path), json);
#endif
}

void TestRememberedUsers::rememberPutsUserFirst()
{
    QString json;
    json = rememberUser(json, {QStringLiteral("a@b.cn"), QStringLiteral("11111"), true});
    json = rememberUser(json, {QStringLiteral("xa@b.cn"), QString(), false});
    QCOMPARE(parseRememberedUsers(json).size(), 2); // contained address is a different user
    json = rememberUser(json, {QStringLiteral("a@b.cn"), QString(), false});
    const QList<RememberedUser> users = parseRememberedUsers(json);
    QCOMPARE(users.size(), 2);
    QCOMPARE(users.at(0).usrName, QStringLiteral("a@b.cn"));
    QCOMPARE(users.at(0).usrPwd, QString());
    QCOMPARE(users.at(0).isRemberPwd, false);
    QCOMPARE(users.at(1).usrName, QStringLiteral("xa@b.cn"));

    // The stored text is the indented form with the three keys.
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
    QVERIFY(doc.isArray());
    QCOMPARE(json, QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
    const QJsonObject first = doc.array().at(0).toObject();
    QCOMPARE(first.keys(), (QStringList{"isRemberPwd", "usrName", "usrPwd"}));
    QVERIFY(first.value("isRemberPwd").isBool());

    QVERIFY(findRememberedUser(json, QStringLiteral("xa@b.cn")).found);
    QVERIFY(!findRememberedUser(json, QStringLiteral("b.cn")).found);
}

void TestRememberedUsers::notAnArrayGivesEmptyList_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("object") << QStringLiteral("{\"usrName\":\"a@b.cn\"}");
    QTest::newRow("broken") << QStringLiteral("[{\"usrName\":");
    QTest::newRow("binary") << QString::fromLatin1("\x01\x02\xff");
}

void TestRememberedUsers::notAnArrayGivesEmptyList()
{
    QFETCH(QString, text);
    QVERIFY(parseRememberedUsers(text).isEmpty());
    // and remembering on top of it starts a fresh list
    const QList<RememberedUser> users =
        parseRememberedUsers(rememberUser(text, {QStringLiteral("n@b.cn"), QString(), false}));
    QCOMPARE(users.size(), 1);
}

QTEST_GUILESS_MAIN(TestRememberedUsers)
#include "tst_rememberedusers.moc"
