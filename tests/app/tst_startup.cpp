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

private:
    QProcess *start(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args = {},
                    const QString &workDir = QString(), int holdMs = 0);
    int runToEnd(const ProbeCopy &probe, const QByteArray &mode, const QStringList &args = {},
                 const QString &workDir = QString());

    QTemporaryDir *m_runtime = nullptr;
    QList<QProcess *> m_processes;
};

void TestStartup::init()
{
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

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
