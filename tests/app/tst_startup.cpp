#include "app/startup.h"
#include "platform/platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef STARTUP_PROBE_PATH
#error "STARTUP_PROBE_PATH must name the probe program"
#endif

namespace {

// One copy of the probe program in a folder of its own, so that its log
// folder (next to the executable) belongs to this test alone.
class ProbeCopy final
{
public:
    ProbeCopy()
    {
#ifdef Q_OS_WIN
        m_exe = m_dir.filePath(QStringLiteral("startup_probe.exe"));
#else
        m_exe = m_dir.filePath(QStringLiteral("startup_probe"));
#endif
        QFile::copy(QStringLiteral(STARTUP_PROBE_PATH), m_exe);
        QFile::setPermissions(m_exe, QFile::permissions(m_exe) | QFileDevice::ExeOwner);
    }
    bool isValid() const { return QFileInfo(m_exe).isExecutable(); }
    QString exe() const { return m_exe; }
    QString folder() const { return m_dir.path(); }
    bool hasLogFolder() const { return QDir(m_dir.filePath(QStringLiteral("log"))).exists(); }

    // Every line of every log file (normally one: today's).
    QStringList logLines() const
    {
        QStringList lines;
        QDir logDir(m_dir.filePath(QStringLiteral("log")));
        for (const QString &name : logDir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            QFile f(logDir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                lines += QString::fromLocal8Bit(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        }
        return lines;
    }
    // The step names in the order they were logged.
    QStringList steps() const
    {
        QStringList names;
        for (const QString &line : logLines()) {
            const int at = line.indexOf(QLatin1String("]:step "));
            if (at >= 0)
                names << line.mid(at + 7).section(QLatin1Char(' '), 0, 0);
        }
        return names;
    }

private:
    Q_DISABLE_COPY(ProbeCopy)
    QTemporaryDir m_dir;
    QString m_exe;
};

} // namespace

class TestStartup final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void styleSheetLoader_data();
    void styleSheetLoader();
    void sequenceUntilLogin_data();
    void sequenceUntilLogin();
    void fullRunOrderAndExitCode();
    void logLivesNextToTheExecutable();
    void secondInstanceEndsSilently();
    void restartedInstanceWaitsForTheOldOne();
    void crashedInstanceDoesNotBlock();
    void qtTextsInChinese();
    void hostsFromTheFileNextToTheExecutable_data();
    void hostsFromTheFileNextToTheExecutable();

private:
    QProcess *start(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args = {},
                    const QString &workDir = QString(), int holdMs = 0);
    int runToEnd(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args = {},
                 const QString &workDir = QString());

    // The lines of standard output that start with `tag` and a blank, as
    // name -> texts in order.
    static QMultiMap<QString, QString> tagged(QProcess *p, const QByteArray &tag);

    QTemporaryDir *m_runtime = nullptr;
    QList<QProcess *> m_processes;
    QMap<QString, QString> m_env; // for the next start; an empty value removes the variable
};

void TestStartup::init()
{
    m_env.clear();
    m_runtime = new QTemporaryDir;
    QVERIFY(m_runtime->isValid());
}

void TestStartup::cleanup()
{
    for (QProcess *p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
        delete p;
    }
    m_processes.clear();
    delete m_runtime;
    m_runtime = nullptr;
}

QProcess *TestStartup::start(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args,
                             const QString &workDir, int holdMs)
{
    auto *p = new QProcess;
    m_processes << p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The single-instance claim of these runs lives in a folder of this test.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    env.insert(QStringLiteral("ZAVIX_PROBE_MODE"), QString::fromLatin1(mode));
    env.insert(QStringLiteral("ZAVIX_PROBE_HOLD_MS"), QString::number(holdMs));
    for (auto it = m_env.cbegin(); it != m_env.cend(); ++it) {
        if (it.value().isEmpty())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(workDir.isEmpty() ? QDir::tempPath() : workDir);
    p->start(probe.exe(), args);
    return p;
}

int TestStartup::runToEnd(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args,
                          const QString &workDir)
{
    QProcess *p = start(probe, mode, args, workDir);
    if (!p->waitForFinished(30000) || p->exitStatus() != QProcess::NormalExit)
        return -1;
    return p->exitCode();
}

void TestStartup::styleSheetLoader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "no-such.qss" << QString();
    QTest::newRow("cut at the first NUL") << "probe-nul.qss" << QString::fromLatin1("QWidget { color: red; }\n");
    QTest::newRow("Latin-1") << "probe-latin1.qss" << QString::fromLatin1("/* \xe9 */\n");
}

void TestStartup::styleSheetLoader()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(loadStyleSheet(name), expected);
}

void TestStartup::sequenceUntilLogin_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("login closed") << QByteArray("cancel")
                                  << QStringList{"buildLogin", "updateCheck", "runLogin"};
    QTest::newRow("update found") << QByteArray("update") << QStringList{"buildLogin", "updateCheck"};
    QTest::newRow("update check error") << QByteArray("error") << QStringList{"buildLogin", "updateCheck"};
}

void TestStartup::sequenceUntilLogin()
{
    QFETCH(QByteArray, mode);
    QFETCH(QStringList, steps);
    ProbeCopy probe;
    QVERIFY(probe.isValid());
    QCOMPARE(runToEnd(probe, mode), 0);
    QCOMPARE(probe.steps(), steps); // the SDK and the main window never come
    // The style sheet is on the application before the update check runs.
    const QStringList lines = probe.logLines();
    QVERIFY(lines.filter(QStringLiteral("step updateCheck style true")).size() == 1);
    // A closed login closes the log before the program ends.
    if (mode == "cancel")
        QVERIFY(lines.filter(QStringLiteral("probe end")).isEmpty());
}

void TestStartup::fullRunOrderAndExitCode()
{
    ProbeCopy probe;
    QVERIFY(probe.isValid());
    QCOMPARE(runToEnd(probe, "login"), 7);
    QCOMPARE(probe.steps(), (QStringList{"buildLogin", "updateCheck", "runLogin", "initializeSdk",
                                         "showMainWindow", "loadState", "shutdownSdk",
                                         "destroyMainWindow"}));
    QVERIFY(probe.logLines().filter(QStringLiteral("probe end")).isEmpty());
}

void TestStartup::logLivesNextToTheExecutable()
{
    ProbeCopy probe;
    QTemporaryDir elsewhere;
    QCOMPARE(runToEnd(probe, "cancel", {}, elsewhere.path()), 0);
    QVERIFY(probe.hasLogFolder());
    QVERIFY(!QDir(elsewhere.filePath(QStringLiteral("log"))).exists());
    const QStringList lines = probe.logLines();
    QCOMPARE(lines.filter(QStringLiteral("step buildLogin cwd")).size(), 1);
    QVERIFY(lines.filter(QStringLiteral("step buildLogin cwd")).first().contains(probe.folder()));
}

void TestStartup::secondInstanceEndsSilently()
{
    ProbeCopy first, second;
    QProcess *holder = start(first, "hold", {}, QString(), 20000);
    QVERIFY(holder->waitForReadyRead(10000));
    QCOMPARE(holder->readAll().trimmed(), QByteArray("holding"));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runToEnd(second, "login"), 0);
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY2(!second.hasLogFolder(), "a refused instance writes no log");
    // The holder keeps its claim: a third one is refused as well.
    ProbeCopy third;
    QCOMPARE(runToEnd(third, "hold"), 3);
}

void TestStartup::restartedInstanceWaitsForTheOldOne()
{
    ProbeCopy old, fresh;
    QProcess *holder = start(old, "hold", {}, QString(), 1500);
    QVERIFY(holder->waitForReadyRead(10000));
    // Started with the restart flag while the old instance still runs: it
    // waits for the claim instead of giving up.
    QCOMPARE(runToEnd(fresh, "cancel", platform::restartArguments()), 0);
    QVERIFY(holder->state() == QProcess::NotRunning || holder->waitForFinished(100));
    QCOMPARE(fresh.steps(), (QStringList{"buildLogin", "updateCheck", "runLogin"}));
}

void TestStartup::crashedInstanceDoesNotBlock()
{
    ProbeCopy crashed, next;
    QProcess *holder = start(crashed, "hold", {}, QString(), 60000);
    QVERIFY(holder->waitForReadyRead(10000));
    holder->kill(); // SIGKILL: nothing of the process's own clean-up runs
    QVERIFY(holder->waitForFinished(5000));
    QCOMPARE(runToEnd(next, "cancel"), 0);
    QCOMPARE(next.steps(), (QStringList{"buildLogin", "updateCheck", "runLogin"}));
}

QMultiMap<QString, QString> TestStartup::tagged(QProcess *p, const QByteArray &tag)
{
    QMultiMap<QString, QString> found;
    const QList<QByteArray> lines = p->readAllStandardOutput().split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->startsWith(tag + ' '))
            continue;
        const QString text = QString::fromUtf8(line->mid(tag.size() + 1));
        found.insert(text.section(QLatin1Char(' '), 0, 0), text.section(QLatin1Char(' '), 1));
    }
    return found;
}

void TestStartup::qtTextsInChinese()
{
    ProbeCopy probe;
    QVERIFY(probe.isValid());
    QProcess *p = start(probe, "qttexts");
    QVERIFY(p->waitForFinished(30000));
    QCOMPARE(p->exitCode(), 0);
    const QMultiMap<QString, QString> texts = tagged(p, "qttext");
    // The meta catalog loads (the catalogs it names are shipped with it).
    QCOMPARE(texts.value(QStringLiteral("metaCatalogLoads")), QStringLiteral("yes"));
    // Qt's Chinese catalog: "Look in:", "File &name:", "Files of type:",
    // "&Open" (QFileDialog), "Cancel" (QPlatformTheme).
    QCOMPARE(texts.value(QStringLiteral("lookIn")), QStringLiteral("查找范围："));
    QCOMPARE(texts.value(QStringLiteral("fileName")), QStringLiteral("文件名称(&N)："));
    QCOMPARE(texts.value(QStringLiteral("fileType")), QStringLiteral("文件类型："));
    QCOMPARE(texts.value(QStringLiteral("accept")), QStringLiteral("打开(&O)"));
    QCOMPARE(texts.value(QStringLiteral("reject")), QStringLiteral("取消"));
    // A line edit's context menu: "&Undo", "&Redo", "Cu&t", "&Copy",
    // "&Paste", "Delete", "Select All" (QLineEdit).
    QCOMPARE(texts.values(QStringLiteral("menu")),
             (QStringList{QStringLiteral("撤消(&U)"), QStringLiteral("重做(&R)"), QStringLiteral("剪切(&T)"),
                          QStringLiteral("复制(&C)"), QStringLiteral("粘贴(&P)"), QStringLiteral("删除"),
                          QStringLiteral("全选")}));
}

void TestStartup::hostsFromTheFileNextToTheExecutable_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file
    QTest::addColumn<QString>("env");     // ZAVIX_SERVICE_URL, empty: unset
    QTest::addColumn<QStringList>("expected"); // api .. supportChat, then the upload host's name
    QTest::addColumn<QString>("logged");  // a text the log must hold, empty: no host problem logged

    const QString local = QStringLiteral("http://127.0.0.1:18080");
    const QByteArray file = "; hosts of this deployment\n"
                            "[hosts]\n"
                            "api=https://api.example.test/\n"
                            "accountWeb=http://my.example.test:8081\n"
                            "upload = http://up.example.test:9000 \n"
                            "player=https://player.example.test\n"
                            "download=http://dl.example.test//\n"
                            "vendorSite=ftp://www.example.test\n"
                            "supportChat=https://chat.example.test/kefu?id=7\n";
    QTest::newRow("no file") << QByteArray() << QString()
                             << QStringList{local, local, local, local, local, local, local,
                                            QStringLiteral("127.0.0.1:18080")}
                             << QString();
    QTest::newRow("file") << file << QString()
                          << QStringList{QStringLiteral("https://api.example.test"),
                                         QStringLiteral("http://my.example.test:8081"),
                                         QStringLiteral("http://up.example.test:9000"),
                                         QStringLiteral("https://player.example.test"),
                                         QStringLiteral("http://dl.example.test"), local,
                                         QStringLiteral("https://chat.example.test/kefu?id=7"),
                                         QStringLiteral("up.example.test:9000")}
                          << QStringLiteral("vendorSite = \"ftp://www.example.test\" is not an http or https URL");
    const QString env = QStringLiteral("http://127.0.0.1:4711");
    QTest::newRow("file and ZAVIX_SERVICE_URL") << file << env
                                                << QStringList{env, env, env, env, env, env, env,
                                                               QStringLiteral("127.0.0.1:4711")}
                                                << QStringLiteral("vendorSite");
}

void TestStartup::hostsFromTheFileNextToTheExecutable()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, env);
    QFETCH(QStringList, expected);
    QFETCH(QString, logged);
    ProbeCopy probe;
    QVERIFY(probe.isValid());
    if (!file.isEmpty()) {
        QFile ini(QDir(probe.folder()).filePath(QStringLiteral("service.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(file);
    }
    m_env.insert(QStringLiteral("ZAVIX_SERVICE_URL"), env);
    // Started from another folder: the file next to the executable counts.
    QTemporaryDir elsewhere;
    QFile decoy(elsewhere.filePath(QStringLiteral("service.ini")));
    QVERIFY(decoy.open(QIODevice::WriteOnly));
    decoy.write("[hosts]\napi=http://127.0.0.2:1\n");
    decoy.close();
    QProcess *p = start(probe, "hosts", {}, elsewhere.path());
    QVERIFY(p->waitForFinished(30000));
    QCOMPARE(p->exitCode(), 0);
    const QMultiMap<QString, QString> found = tagged(p, "host");
    const QStringList keys{"api", "accountWeb", "upload", "player", "download", "vendorSite", "supportChat",
                           "uploadHostName"};
    QStringList values;
    for (const QString &key : keys)
        values << found.value(key);
    QCOMPARE(values, expected);
    const QStringList problems = probe.logLines().filter(QStringLiteral("service hosts:"))
                                     .filter(QStringLiteral("is not an http or https URL"));
    if (logged.isEmpty()) {
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    } else {
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().contains(logged), qPrintable(problems.first()));
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
