#include "upload/userdatafile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

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
