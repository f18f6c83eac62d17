#include "platform/platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatform final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void appDataFolder_data();
    void appDataFolder();
    void crashFolderIsMadeWithParents();
    void makeExecutable();
#ifdef Q_OS_WIN
    void singleInstanceClaim();
#endif
    void restartFlag();
};

void TestPlatform::cleanup()
{
    qunsetenv("XDG_CONFIG_HOME");
}

#ifdef Q_OS_WIN
// CSIDL_APPDATA: the roaming application-data folder of the user, which the
// system also names in %APPDATA%.
void TestPlatform::appDataFolder_data() {}

void TestPlatform::appDataFolder()
{
    const QString folder = platform::appDataFolder();
    QVERIFY(!folder.isEmpty());
    QVERIFY(QDir::isAbsolutePath(folder));
    QVERIFY(QDir(folder).exists());
    QCOMPARE(folder, QDir::toNativeSeparators(folder));
    QCOMPARE(QDir::cleanPath(folder).toLower(), QDir::cleanPath(qEnvironmentVariable("APPDATA")).toLower());
    QCOMPARE(platform::crashFolder(), folder + "\\zavix-winupload\\crashes");
}

void TestPlatform::crashFolderIsMadeWithParents()
{
    const QString folder = platform::crashFolder();
    QVERIFY(platform::makeFolderPath(folder));
    QVERIFY(QDir(folder).exists());
    QVERIFY(platform::makeFolderPath(folder)); // already there
    QVERIFY(!platform::makeFolderPath(QString()));
}

void TestPlatform::makeExecutable()
{
    // Nothing to mark on Windows: true for a file that is there.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setup.exe"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(platform::makeExecutable(path));
    QVERIFY(!platform::makeExecutable(dir.filePath(QStringLiteral("missing.exe"))));
}

// One process claims the named mutex; a second claim, here or in another
// process, is refused until the holder ends (tst_startup runs the programs).
void TestPlatform::singleInstanceClaim()
{
    QVERIFY(platform::checkSingleInstance());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!platform::checkSingleInstance());
    QVERIFY(!platform::checkSingleInstance(300));
    QVERIFY(timer.elapsed() >= 250);
}
#else
void TestPlatform::appDataFolder_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME") << QByteArray("/srv/conf/") << "/srv/conf";
    QTest::newRow("unset") << QByteArray() << QDir::homePath() + "/.config";
    QTest::newRow("relative is ignored") << QByteArray("conf") << QDir::homePath() + "/.config";
}

void TestPlatform::appDataFolder()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    if (xdg.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdg);
    QCOMPARE(platform::appDataFolder(), expected);
    QCOMPARE(platform::crashFolder(), expected + "/zavix-winupload/crashes");
}

void TestPlatform::crashFolderIsMadeWithParents()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString folder = platform::crashFolder();
    QVERIFY(!QDir(folder).exists());
    QVERIFY(platform::makeFolderPath(folder));
    QVERIFY(QDir(dir.filePath(QStringLiteral("zavix-winupload/crashes"))).exists());
    QVERIFY(platform::makeFolderPath(folder)); // already there
    QVERIFY(!platform::makeFolderPath(QString()));
}

void TestPlatform::makeExecutable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setup.exe"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(platform::makeExecutable(path));
    QVERIFY(QFileInfo(path).isExecutable());
    QVERIFY(!platform::makeExecutable(dir.filePath(QStringLiteral("missing"))));
}

#endif

void TestPlatform::restartFlag()
{
    QVERIFY(platform::restartArguments().contains(platform::restartedFlag()));
    QVERIFY(platform::restartedFlag().startsWith(QLatin1String("--")));
    QVERIFY(platform::kRestartWaitMs >= 2000);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
