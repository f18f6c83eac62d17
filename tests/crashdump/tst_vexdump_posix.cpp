// The POSIX side of VexDumpw, end to end: a test program installs the
// library and crashes; the dump file, its streams and the stand-in
// reporter's command line are checked afterwards.

#include "crashrun.h"
#include "minidumpreader.h"

#include <QtTest>

#include <csignal>

#include <unistd.h>

namespace {

const QString kPrograms = QStringLiteral(VEXDUMP_POSIX_PROGRAMS);

std::uint64_t instructionPointer(const minidump::Reader &dump, const minidump::Exception &e)
{
#if defined(__x86_64__)
    return dump.u64(std::uint64_t(e.contextRva) + 248);
#else
    Q_UNUSED(dump);
    Q_UNUSED(e);
    return 0;
#endif
}

} // namespace

class TestVexDumpPosix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fatalSignals_data();
    void fatalSignals();
    void secondInstallAndNullFolder();
    void folderChoice_data();
    void folderChoice();
    void withoutDumpWriter();
    void hungDumpThreadDoesNotKeepTheProcess();
    void localInstallStartsNoReporter();
    void reporterOnlyFromTheProgramsFolder();

private:
    crashtest::Run crash(const QString &programFolder, const QStringList &arguments);
    void checkDump(const QString &path, int sig, bool onMainThread, qint64 processId);
    QString crasher(const QString &folder = kPrograms) const { return folder + "/vexdump_crasher"; }

    QScopedPointer<QTemporaryDir> m_work;
    QString m_dumps;
    QString m_records;
};

void TestVexDumpPosix::initTestCase()
{
    QVERIFY2(QFileInfo(crasher()).isExecutable(), qPrintable("test program missing: " + crasher()));
    QVERIFY(QFileInfo(kPrograms + "/crashsend").isExecutable());
    QVERIFY(QFileInfo(crasher(kPrograms + "/nohelpers")).isExecutable());
    QVERIFY(QFileInfo(crasher(kPrograms + "/hung")).isExecutable());
}

void TestVexDumpPosix::init()
{
    m_work.reset(new QTemporaryDir);
    QVERIFY(m_work->isValid());
    m_dumps = m_work->filePath("dumps");
    m_records = m_work->filePath("records");
    QVERIFY(QDir().mkpath(m_dumps));
    QVERIFY(QDir().mkpath(m_records));
    QDir(kPrograms + "/crash").removeRecursively();
    QDir(kPrograms + "/nohelpers/crash").removeRecursively();
    QDir(kPrograms + "/hung/crash").removeRecursively();
}

crashtest::Run TestVexDumpPosix::crash(const QString &programFolder, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEXDUMP_RECORD_DIR", m_records);
    return crashtest::runProgram(crasher(programFolder), arguments, env, m_work->path(), 30000);
}

// What every dump holds: the format, the two threads of the dump info
// stream, the exception of the signal, the faulting thread's registers and
// stack, the memory around the faulting instruction and the modules.
void TestVexDumpPosix::checkDump(const QString &path, int sig, bool onMainThread, qint64 processId)
{
    const minidump::Reader dump = minidump::Reader::fromFile(path.toStdString());
    QVERIFY2(dump.ok(), qPrintable(path));
    QCOMPARE(dump.u32(0), minidump::kSignature);

    const std::vector<std::uint8_t> info = dump.streamBytes(0x47670001u);
    QCOMPARE(info.size(), std::size_t(12));
    QCOMPARE(dump.count(0x47670001u), 1);
    QVERIFY(!dump.has(0x47670002u));
    const std::uint32_t validity = info[0] | (info[1] << 8) | (info[2] << 16) | (std::uint32_t(info[3]) << 24);
    const std::uint32_t dumpingThread = info[4] | (info[5] << 8) | (info[6] << 16) | (std::uint32_t(info[7]) << 24);
    const std::uint32_t requestingThread = info[8] | (info[9] << 8) | (info[10] << 16) | (std::uint32_t(info[11]) << 24);
    QCOMPARE(validity, 3u);
    QVERIFY(dumpingThread != 0 && dumpingThread != requestingThread);
    if (onMainThread)
        QCOMPARE(qint64(requestingThread), processId);
    else
        QVERIFY(qint64(requestingThread) != processId);

    const minidump::Exception e = dump.exception();
    QVERIFY(e.present);
    QCOMPARE(e.code, std::uint32_t(sig));
    QCOMPARE(e.threadId, requestingThread);
    const std::vector<minidump::Thread> threads = dump.threads();
    QCOMPARE(threads.size(), std::size_t(1));
    QCOMPARE(threads[0].id, requestingThread);
    QVERIFY(threads[0].stackSize > 0);

#if defined(__x86_64__)
    QCOMPARE(e.contextSize, 1232u);
    const std::uint64_t ip = instructionPointer(dump, e);
    QVERIFY(ip != 0);
    if (sig == SIGILL || sig == SIGFPE)
        QCOMPARE(e.address, ip); // the faulting instruction itself
    const std::vector<minidump::MemoryRange> around = minidump::rangesContaining(dump.memoryRanges(), ip);
    bool found = false;
    for (const minidump::MemoryRange &r : around)
        found = found || (r.size <= 256 && r.start + 128 >= ip && r.start + r.size <= ip + 128);
    QVERIFY2(found, "no range of at most 256 bytes around the faulting instruction");
#endif

    bool program = false;
    bool library = false;
    for (const minidump::Module &m : dump.modules()) {
        const QString name = QString::fromStdU16String(m.name);
        program = program || name == QFileInfo(crasher()).canonicalFilePath();
        library = library || name.endsWith("/libVexDumpw.so");
    }
    QVERIFY(program);
    QVERIFY(library);
}

void TestVexDumpPosix::fatalSignals_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("sig");
    QTest::addColumn<bool>("onMainThread");
    QTest::newRow("segmentation fault") << "segv" << int(SIGSEGV) << true;
    QTest::newRow("bus error") << "bus" << int(SIGBUS) << true;
    QTest::newRow("illegal instruction") << "ill" << int(SIGILL) << true;
    QTest::newRow("arithmetic error") << "fpe" << int(SIGFPE) << true;
    QTest::newRow("abort") << "abrt" << int(SIGABRT) << true;
    QTest::newRow("stack overflow: handled on the alternate stack") << "overflow" << int(SIGSEGV) << true;
    QTest::newRow("fault on another thread") << "thread" << int(SIGSEGV) << false;
    QTest::newRow("stack overflow on a prepared thread") << "threadoverflow" << int(SIGSEGV) << false;
}

void TestVexDumpPosix::fatalSignals()
{
    QFETCH(QString, mode);
    QFETCH(int, sig);
    QFETCH(bool, onMainThread);

    const crashtest::Run run = crash(kPrograms, {mode, m_dumps, "x y"});
    QVERIFY(run.finished);
    QVERIFY(run.output.contains("installed: 1"));
    // The default action ended the process; nothing was passed on.
    QCOMPARE(run.status, QProcess::CrashExit);
    QCOMPARE(run.exitCode, sig);
    QVERIFY2(!run.output.contains("previous handler"), qPrintable(run.output));

    const QStringList dumps = crashtest::dumpFiles(m_dumps);
    QCOMPARE(dumps.size(), 1);
    QVERIFY2(crashtest::isUuidDumpName(dumps.first()), qPrintable(dumps.first()));
    QCOMPARE(QDir(m_dumps).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left
    const QString dumpPath = m_dumps + "/" + dumps.first();
    checkDump(dumpPath, sig, onMainThread, run.processId);
    if (QTest::currentTestFailed())
        return;
    if (mode == "threadoverflow")
        QVERIFY2(run.output.contains("thread prepared: 1, again: 1"), qPrintable(run.output));
    if (mode == "segv" || mode == "thread") // a write through a null pointer
        QCOMPARE(minidump::Reader::fromFile(dumpPath.toStdString()).exception().address, std::uint64_t(0));

    const QStringList records = crashtest::waitForRecords(m_records, 1, 10000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(records.first());
    QVERIFY2(line.ok, qPrintable(records.first()));
    QCOMPARE(line.dumpPath, dumpPath);
    QVERIFY(line.timeMs >= run.startedMs && line.timeMs <= run.endedMs);
    QCOMPARE(line.rest, "-app=\"" + QFileInfo(crasher()).canonicalFilePath() + "\" -project=\"\" -version=\"\" x y");
}

void TestVexDumpPosix::secondInstallAndNullFolder()
{
    const QString second = m_work->filePath("second");
    const crashtest::Run run = crash(kPrograms, {"twice", "-", "-", second});
    QVERIFY(run.output.contains("installed: 1"));
    QVERIFY(run.output.contains("installed again: 1"));
    QCOMPARE(run.exitCode, int(SIGSEGV));

    // The first installation's folder (none given: next to the program) and
    // reporter data stay; the second call created nothing.
    QVERIFY(!QFileInfo::exists(second));
    const QString fallback = QFileInfo(kPrograms).canonicalFilePath() + "/crash";
    const QStringList dumps = crashtest::dumpFiles(fallback);
    QCOMPARE(dumps.size(), 1);
    const QStringList records = crashtest::waitForRecords(m_records, 1, 10000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(records.first());
    QCOMPARE(line.dumpPath, fallback + "/" + dumps.first());
    QVERIFY2(line.rest.endsWith("-version=\"\" "), qPrintable(line.rest)); // no extras: ends with the blank
}

void TestVexDumpPosix::folderChoice_data()
{
    QTest::addColumn<QString>("folder"); // relative to the work folder
    QTest::addColumn<bool>("fallback");
    QTest::newRow("missing folder with parents is created") << "new/deeper/dumps" << false;
    QTest::newRow("under a file: fallback") << "afile/dumps" << true;
    QTest::newRow("an existing file: fallback") << "afile" << true;
    QTest::newRow("too long for a dump path: fallback") << QString(4100, 'l') << true;
}

void TestVexDumpPosix::folderChoice()
{
    QFETCH(QString, folder);
    QFETCH(bool, fallback);
    QFile file(m_work->filePath("afile"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();

    const QString given = m_work->filePath(folder);
    const crashtest::Run run = crash(kPrograms, {"segv", given});
    QCOMPARE(run.exitCode, int(SIGSEGV));
    const QString expected = fallback ? QFileInfo(kPrograms).canonicalFilePath() + "/crash" : given;
    QCOMPARE(crashtest::dumpFiles(expected).size(), 1);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
    QCOMPARE(crashtest::waitForRecords(m_records, 1, 10000).size(), 1);
}

void TestVexDumpPosix::withoutDumpWriter()
{
    // No dump writer and no random source: no dump, the all-zero name, the
    // signal goes to the program's own handler, and the reporter still starts.
    const crashtest::Run run = crash(kPrograms + "/nohelpers", {"segv", m_dumps});
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 42);
    QVERIFY2(run.output.contains("previous handler: 11"), qPrintable(run.output));
    QVERIFY(crashtest::dumpFiles(m_dumps).isEmpty());
    const QStringList records = crashtest::waitForRecords(m_records, 1, 10000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(records.first());
    QCOMPARE(line.dumpPath, m_dumps + "/00000000-0000-0000-0000-000000000000.dmp");
}

void TestVexDumpPosix::hungDumpThreadDoesNotKeepTheProcess()
{
    // A dump thread that never finishes: the faulting thread waits for it a
    // bounded time (one second in this build), then goes on as without a
    // dump, here to the program's own handler.
    QElapsedTimer timer;
    timer.start();
    const crashtest::Run run = crash(kPrograms + "/hung", {"segv", m_dumps});
    QVERIFY(run.finished);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 42);
    QVERIFY2(run.output.contains("previous handler: 11"), qPrintable(run.output));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(crashtest::dumpFiles(m_dumps).isEmpty());
}

void TestVexDumpPosix::localInstallStartsNoReporter()
{
    const crashtest::Run run = crash(kPrograms, {"local", m_dumps});
    QCOMPARE(run.exitCode, int(SIGSEGV));
    QCOMPARE(crashtest::dumpFiles(m_dumps).size(), 1);
    // The reporter would have been started before the process ended.
    QVERIFY(crashtest::waitForRecords(m_records, 1, 500).isEmpty());
}

void TestVexDumpPosix::reporterOnlyFromTheProgramsFolder()
{
    // The same program in a folder without a reporter, with a reporter of
    // that name on PATH: nothing is started.
    const QString alone = m_work->filePath("alone");
    QVERIFY(QDir().mkpath(alone));
    QVERIFY(QFile::copy(crasher(), crasher(alone)));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEXDUMP_RECORD_DIR", m_records);
    env.insert("PATH", kPrograms + ":" + env.value("PATH"));
    const crashtest::Run run = crashtest::runProgram(crasher(alone), {"segv", m_dumps}, env, kPrograms, 30000);
    QVERIFY(run.output.contains("installed: 1"));
    QCOMPARE(run.exitCode, int(SIGSEGV));
    QCOMPARE(crashtest::dumpFiles(m_dumps).size(), 1);
    QVERIFY(crashtest::waitForRecords(m_records, 1, 1000).isEmpty());
}

QTEST_GUILESS_MAIN(TestVexDumpPosix)
#include "tst_vexdump_posix.moc"
