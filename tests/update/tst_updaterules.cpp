// The update check's plain rules: version text and its Base64 form, the
// version answer, the comparison, the progress percentage and the paths.

#include "prefs/updatecheck.h"
#include "prefs/updatedialog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestUpdateRules final : public QObject
{
    Q_OBJECT

private slots:
    void builtVersionFileMatchesTheProgram()
    {
        // The build writes version.ini for the executable's folder.
        const QString buildDir = qEnvironmentVariable("ZAVIX_BUILD_DIR");
        if (buildDir.isEmpty())
            QSKIP("not run by ctest");
        const QString path = buildDir + QStringLiteral("/version.ini");
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const update::VersionFileCheck c = update::checkVersionFile(path, update::builtInVersion());
        QCOMPARE(int(c.state), int(update::VersionFileState::Match));
        QCOMPARE(c.localVersion, QStringLiteral("V4.1.2.20171128"));
    }

    void versionFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("local");
        const auto match = int(update::VersionFileState::Match);
        const auto mismatch = int(update::VersionFileState::Mismatch);
        QTest::newRow("missing") << QByteArray() << int(update::VersionFileState::Missing) << QString();
        QTest::newRow("same") << QByteArray("[General]\nVERSION=VjQuMS4yLjIwMTcxMTI4\n") << match << "V4.1.2.20171128";
        QTest::newRow("plain text version") << QByteArray("[General]\nVERSION=V4.1.2.20171128\n") << mismatch << QString();
        QTest::newRow("other version") << QByteArray("[General]\nVERSION=" + QByteArray("V4.1.1").toBase64() + "\n")
                                       << mismatch << "V4.1.1";
        QTest::newRow("no key") << QByteArray("[General]\nOTHER=1\n") << mismatch << QString();
        QTest::newRow("empty file") << QByteArray("\n") << mismatch << QString();
    }
    void versionFile()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("version.ini"));
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const update::VersionFileCheck c = update::checkVersionFile(path, update::builtInVersion());
        QTEST(int(c.state), "state");
        QTEST(c.localVersion, "local");
    }

    void base64RoundTrip()
    {
        QCOMPARE(update::encodeVersionValue(update::builtInVersion()), QByteArray("VjQuMS4yLjIwMTcxMTI4"));
        QVERIFY(!update::decodeVersionValue("V4.1.2.20171128").ok);
        QVERIFY(!update::decodeVersionValue("%%%").ok);
        QCOMPARE(update::decodeVersionValue("5paw54mI").version, QStringLiteral("新版"));
    }

    void versionAnswer_data()
    {
        QTest::addColumn<bool>("requestOk");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("version");
        QTest::newRow("answer") << true << QByteArray(R"([{"version":"V5","description":"d"},{"version":"V6"}])") << true << "V5";
        QTest::newRow("transfer failed") << false << QByteArray(R"([{"version":"V5"}])") << false << QString();
        QTest::newRow("object") << true << QByteArray(R"({"version":"V5"})") << false << QString();
        QTest::newRow("empty array") << true << QByteArray("[]") << false << QString();
        QTest::newRow("first not object") << true << QByteArray(R"(["V5"])") << false << QString();
        QTest::newRow("not json") << true << QByteArray("<html>") << false << QString();
        // Nothing to offer without a version text.
        QTest::newRow("version missing") << true << QByteArray(R"([{"description":"d"}])") << false << QString();
        QTest::newRow("version null") << true << QByteArray(R"([{"version":null,"description":"d"}])") << false << QString();
        QTest::newRow("version a number") << true << QByteArray(R"([{"version":5,"description":"d"}])") << false << QString();
        QTest::newRow("version empty") << true << QByteArray(R"([{"version":"","description":"d"}])") << false << QString();
        QTest::newRow("version blank") << true << QByteArray(R"([{"version":"  "}])") << false << QString();
        QTest::newRow("only later elements") << true << QByteArray(R"([{}, {"version":"V6"}])") << false << QString();
    }
    void versionAnswer()
    {
        QFETCH(bool, requestOk);
        QFETCH(QByteArray, body);
        const update::VersionAnswer a = update::parseVersionAnswer(requestOk, body);
        QTEST(a.ok, "ok");
        QTEST(a.version, "version");
    }

    void anyOtherVersionIsAnUpdate()
    {
        QVERIFY(!update::isOfferedUpdate("V4.1.2.20171128", "V4.1.2.20171128"));
        QVERIFY(update::isOfferedUpdate("V4.1.2.20171128", "V4.2.1"));
        QVERIFY(update::isOfferedUpdate("V4.1.2.20171128", "V3.0.0"));
        QVERIFY(!update::isOfferedUpdate("V4.1.2.20171128", ""));
    }

    void percent_data()
    {
        QTest::addColumn<qlonglong>("received");
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("unknown total") << 5000LL << 0LL << 0;
        QTest::newRow("start") << 0LL << 1000LL << 0;
        QTest::newRow("truncated") << 999LL << 1000LL << 99;
        QTest::newRow("done") << 1000LL << 1000LL << 100;
        QTest::newRow("beyond 2 GiB") << 3000000000LL << 6000000000LL << 50;
    }
    void percent()
    {
        QFETCH(qlonglong, received);
        QFETCH(qlonglong, total);
        QTEST(UpdateDialog::percentOf(received, total), "percent");
    }

    void paths()
    {
        qputenv("ZAVIX_SERVICE_URL", "http://127.0.0.1:18080");
        QCOMPARE(update::installerUrl(), QStringLiteral("http://127.0.0.1:18080/soft/ZavixUploadClientSetup.exe"));
        QCOMPARE(update::versionListUrl(), QStringLiteral("http://127.0.0.1:18080/uc/video/getVersions"));
        QCOMPARE(update::downloadPageUrl(), QStringLiteral("http://127.0.0.1:18080/download/"));
        QCOMPARE(update::installerPath(QStringLiteral("/t m p/zavix-update-a1B2c3")),
                 QStringLiteral("/t m p/zavix-update-a1B2c3/ZavixUploadClient2019.exe"));
        QCOMPARE(UpdateDialog::progressText(42), QStringLiteral("正在下载更新，已完成42%"));
    }
};

QTEST_GUILESS_MAIN(TestUpdateRules)
#include "tst_updaterules.moc"
