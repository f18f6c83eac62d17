#include "upload/userdatafile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

class TestUserDataFile final : public QObject
{
    Q_OBJECT

private slots:
    void roundTripIsBase64OfIndentedJson()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settingsInfo.json"));
        QJsonObject object{{QStringLiteral("luping"), true},
                           {QStringLiteral("name"), QStringLiteral("中文 名")}};
        const QJsonDocument doc(object);
        QVERIFY(userdata::writeFile(path, doc));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QCOMPARE(raw, doc.toJson(QJsonDocument::Indented).toBase64());
        QVERIFY(!raw.contains('\n'));

        const userdata::ReadResult back = userdata::readFile(path);
        QVERIFY(back.ok);
        QCOMPARE(back.document, doc);
    }

    void unusableFilesCountAsMissing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("hello world").toBase64();
        QTest::newRow("not base64") << QByteArray("@@@@");
        QTest::newRow("empty") << QByteArray();
    }
    void unusableFilesCountAsMissing()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QVERIFY(!userdata::readFile(path).ok);
        QVERIFY(!userdata::readFile(dir.filePath(QStringLiteral("missing.json"))).ok);
    }

    void failedWriteKeepsOldContent()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("h.json"));
        QVERIFY(userdata::writeFile(path, QJsonDocument(QJsonArray{1, 2})));
        // A folder in place of the target cannot be replaced by a file.
        const QString blocked = dir.filePath(QStringLiteral("sub/none/h.json"));
        QVERIFY(!userdata::writeFile(blocked, QJsonDocument(QJsonArray{3})));
        QCOMPARE(userdata::readFile(path).document, QJsonDocument(QJsonArray{1, 2}));
    }

    // The account's folder and files hold upload tokens: the owner's only,
    // also when an older version made them readable by others.
    void folderAndFilesAreTheOwnersOnly()
    {
#ifdef Q_OS_WIN
        QSKIP("POSIX file modes");
#else
        QTemporaryDir dir;
        auto mode = [](const QString &path) {
            struct stat info {};
            return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };
        const mode_t previous = ::umask(0);
        const QString folder = dir.filePath(QStringLiteral("users/0123abcd/"));
        QVERIFY(userdata::ensureFolder(folder));
        const QString path = folder + QStringLiteral("uploadInfo.json");
        QVERIFY(userdata::writeFile(path, QJsonDocument(QJsonArray{1})));
        ::umask(previous);
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(path), 0600);

        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        QVERIFY(userdata::ensureFolder(folder));
        QVERIFY(userdata::writeFile(path, QJsonDocument(QJsonArray{2})));
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(path), 0600);
        QCOMPARE(userdata::readFile(path).document.array(), QJsonArray{2});
#endif
    }

    void foldersDifferPerAddress()
    {
        const QString a = userdata::userDataFolder(QStringLiteral("a@b.cn"));
        const QString b = userdata::userDataFolder(QStringLiteral("A@b.cn"));
        QVERIFY(a != b);
        QVERIFY(a.startsWith(QDir::currentPath() + QStringLiteral("/users/")));
        QVERIFY(a.endsWith(QLatin1Char('/')));
        QCOMPARE(a.size(), QDir::currentPath().size() + 7 + 32 + 1);
    }
};

QTEST_GUILESS_MAIN(TestUserDataFile)
#include "tst_userdatafile.moc"
