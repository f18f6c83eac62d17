// The Windows DLL of VexDumpw under wine: test programs cross-built with
// mingw-w64 install the library and crash in the ways the library handles;
// the dump files, their streams and the stand-in crashsend.exe's command
// line are checked afterwards. Without wine or the cross-built programs the
// test fails and says what is missing.

#include "crashrun.h"
#include "minidumpreader.h"

#include <QtTest>

namespace {

const QString kBuild = QStringLiteral(VEXDUMP_WINE_PROGRAMS);
const QString kPrefix = QStringLiteral(VEXDUMP_WINE_PREFIX);
const QString kBin = kBuild + "/bin";
const QString kNoHelpers = kBuild + "/nohelpers";

constexpr std::uint32_t kAccessViolation = 0xC0000005u;
constexpr std::uint32_t kInvalidParameter = 0xC000000Du;
constexpr std::uint32_t kNoncontinuable = 0xC0000025u;

QString windowsPath(const QString &native)
{
    return "Z:" + QDir::cleanPath(native).replace('/', '\\');
}

// The arguments part of a Windows command line: what follows the program.
QString argumentsOf(const QString &commandLine)
{
    int end = 0;
    if (commandLine.startsWith('"'))
        end = commandLine.indexOf('"', 1) + 1;
    else
        end = commandLine.indexOf(' ');
    if (end <= 0 || end >= commandLine.size() || commandLine.at(end) != ' ')
        return QString();
    return commandLine.mid(end + 1);
}

std::vector<std::uint8_t> assertionBytes(const QString &expression, const QString &function, const QString &file,
                                         std::uint32_t line, std::uint32_t type)
{
    std::vector<std::uint8_t> out(776, 0);
    int offset = 0;
    for (const QString &text : {expression, function, file}) {
        const QString cut = text.left(127);
        for (int i = 0; i < cut.size(); ++i) {
            out[std::size_t(offset + 2 * i)] = std::uint8_t(cut.at(i).unicode());
            out[std::size_t(offset + 2 * i + 1)] = std::uint8_t(cut.at(i).unicode() >> 8);
        }
        offset += 256;
    }
    for (int i = 0; i < 4; ++i) {
        out[std::size_t(768 + i)] = std::uint8_t(line >> (8 * i));
        out[std::size_t(772 + i)] = std::uint8_t(type >> (8 * i));
    }
    return out;
}

QString longExpression()
{
    QString expression = "buffer != nullptr && ";
    while (expression.size() < 200)
        expression += 'x';
    return expression;
}

} // namespace

class TestVexDumpWine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void accessViolation();
    void invalidParameter_data();
    void invalidParameter();
    void pureCallWithFileAsFolder();
    void breakpointIsPassedOn();
    void secondInstallAndNullFolder();
    void secondRequestWritesNothing();
    void noVersionResource();
    void withoutSystemHelpers();
    void localInstallStartsNoReporter();

private:
    crashtest::Run crash(const QString &program, const QStringList &arguments);
    void checkDump(const QString &path, std::uint32_t code, const std::vector<std::uint8_t> &assertion);
    QString reporterArguments(const QString &record);

    QString m_wine;
    QProcessEnvironment m_env;
    QScopedPointer<QTemporaryDir> m_work;
    QString m_dumps;
    QString m_records;
};

void TestVexDumpWine::initTestCase()
{
    m_wine = QStandardPaths::findExecutable("wine");
    if (m_wine.isEmpty())
        m_wine = QStandardPaths::findExecutable("wine64");
    QVERIFY2(!m_wine.isEmpty(),
             "wine is not installed: the Windows side of VexDumpw cannot be tested (Debian package wine)");
    QVERIFY2(QFileInfo::exists(kBin + "/vexdump_crasher.exe") && QFileInfo::exists(kBin + "/VexDumpw.dll"),
             qPrintable("the Windows test programs were not cross-built into " + kBuild
                        + " (Debian package mingw-w64)"));

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("WINEPREFIX", kPrefix);
    m_env.insert("WINEDEBUG", "-all");
    m_env.insert("WINEDLLOVERRIDES", "mscoree=d;mshtml=d");
    m_env.remove("DISPLAY");
    m_env.remove("WAYLAND_DISPLAY");
    QVERIFY(QDir().mkpath(kPrefix));

    // The first run creates the wine prefix.
    QTemporaryDir warm;
    const crashtest::Run run =
        crashtest::runProgram(m_wine, {kBin + "/vexdump_crasher.exe", "install", windowsPath(warm.path())}, m_env,
                              kBin, 180000);
    QVERIFY2(run.finished && run.exitCode == 0 && run.output.contains("installed: 1"), qPrintable(run.output));
}

void TestVexDumpWine::init()
{
    m_work.reset(new QTemporaryDir);
    QVERIFY(m_work->isValid());
    m_dumps = m_work->filePath("dumps");
    m_records = m_work->filePath("records");
    QVERIFY(QDir().mkpath(m_dumps));
    QVERIFY(QDir().mkpath(m_records));
    QDir(kBin + "/crash").removeRecursively();
    QDir(kNoHelpers + "/crash").removeRecursively();
}

crashtest::Run TestVexDumpWine::crash(const QString &program, const QStringList &arguments)
{
    QProcessEnvironment env = m_env;
    env.insert("VEXDUMP_RECORD_DIR", windowsPath(m_records));
    return crashtest::runProgram(m_wine, QStringList{program} + arguments, env, m_work->path(), 60000);
}

// The format, the dump info stream, the exception, the assertion stream
// when one is expected, and the memory around the faulting address.
void TestVexDumpWine::checkDump(const QString &path, std::uint32_t code, const std::vector<std::uint8_t> &assertion)
{
    const minidump::Reader dump = minidump::Reader::fromFile(path.toStdString());
    QVERIFY2(dump.ok(), qPrintable(path));
    QCOMPARE(dump.u32(0), minidump::kSignature);

    QCOMPARE(dump.count(0x47670001u), 1);
    const std::vector<std::uint8_t> info = dump.streamBytes(0x47670001u);
    QCOMPARE(info.size(), std::size_t(12));
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(info[at]) | (std::uint32_t(info[at + 1]) << 8) | (std::uint32_t(info[at + 2]) << 16)
            | (std::uint32_t(info[at + 3]) << 24);
    };
    QCOMPARE(u32(0), 3u);
    QVERIFY(u32(4) != 0 && u32(4) != u32(8));

    const minidump::Exception e = dump.exception();
    QVERIFY(e.present);
    QCOMPARE(e.code, code);
    QCOMPARE(e.threadId, u32(8)); // the requesting thread is the faulting one

    if (assertion.empty()) {
        QVERIFY(!dump.has(0x47670002u));
    } else {
        QCOMPARE(dump.count(0x47670002u), 1);
        QCOMPARE(dump.streamBytes(0x47670002u), assertion);
    }

    // Up to 128 bytes on each side of the faulting instruction.
    bool found = false;
    for (const minidump::MemoryRange &r : minidump::rangesContaining(dump.memoryRanges(), e.address))
        found = found || (r.size <= 256 && r.start + 128 >= e.address && r.start + r.size <= e.address + 128);
    QVERIFY2(found, "no range of at most 256 bytes around the faulting address");
}

QString TestVexDumpWine::reporterArguments(const QString &record)
{
    const QString arguments = argumentsOf(record);
    if (arguments.isEmpty())
        qWarning("reporter command line: %s", qPrintable(record));
    return arguments;
}

void TestVexDumpWine::accessViolation()
{
    const crashtest::Run run = crash(kBin + "/vexdump_crasher.exe", {"av", windowsPath(m_dumps), "x y"});
    QVERIFY(run.finished);
    QVERIFY2(run.output.contains("installed: 1"), qPrintable(run.output));
    // Dumped: the filter ended the process and passed nothing on.
    QCOMPARE(std::uint32_t(run.exitCode), kAccessViolation & 0xff);
    QVERIFY2(!run.output.contains("previous filter"), qPrintable(run.output));

    const QStringList dumps = crashtest::dumpFiles(m_dumps);
    QCOMPARE(dumps.size(), 1);
    QVERIFY2(crashtest::isUuidDumpName(dumps.first()), qPrintable(dumps.first()));
    checkDump(m_dumps + "/" + dumps.first(), kAccessViolation, {});
    if (QTest::currentTestFailed())
        return;

    const QStringList records = crashtest::waitForRecords(m_records, 1, 15000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(reporterArguments(records.first()));
    QVERIFY2(line.ok, qPrintable(records.first()));
    QCOMPARE(line.dumpPath, windowsPath(m_dumps) + "\\" + dumps.first());
    QVERIFY(line.timeMs >= run.startedMs && line.timeMs <= run.endedMs);
    QCOMPARE(line.rest, "-app=\"" + windowsPath(kBin) + "\\vexdump_crasher.exe\" -project=\"Zavix Crash Test\" "
                                                          "-version=\"2.0.0.1\" x y");
}

void TestVexDumpWine::invalidParameter_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("withTexts");
    QTest::newRow("handler called with texts") << "invalid" << true;
    QTest::newRow("runtime function rejecting a null buffer") << "invalid-crt" << false;
}

void TestVexDumpWine::invalidParameter()
{
    QFETCH(QString, mode);
    QFETCH(bool, withTexts);
    const crashtest::Run run = crash(kBin + "/vexdump_crasher.exe", {mode, windowsPath(m_dumps)});
    QVERIFY2(run.output.contains("installed: 1"), qPrintable(run.output));
    QCOMPARE(std::uint32_t(run.exitCode), kInvalidParameter & 0xff);
    const QStringList dumps = crashtest::dumpFiles(m_dumps);
    QCOMPARE(dumps.size(), 1);
    const QString path = m_dumps + "/" + dumps.first();
    if (withTexts) {
        checkDump(path, kInvalidParameter, assertionBytes(longExpression(), "copyName", "names.cpp", 42, 1));
        const std::vector<std::uint64_t> parameters = minidump::Reader::fromFile(path.toStdString()).exception().parameters;
        QCOMPARE(parameters.size(), std::size_t(3));
        QCOMPARE(parameters[2], std::uint64_t(42));
    } else {
        const std::vector<std::uint8_t> stream = minidump::Reader::fromFile(path.toStdString()).streamBytes(0x47670002u);
        QCOMPARE(stream.size(), std::size_t(776));
        QCOMPARE(stream[772], std::uint8_t(1));
    }
    QCOMPARE(crashtest::waitForRecords(m_records, 1, 15000).size(), 1);
}

void TestVexDumpWine::pureCallWithFileAsFolder()
{
    // A folder argument naming a file cannot hold dumps: the fallback next to
    // the program receives it and the file stays as it is.
    QFile file(m_work->filePath("afile"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();

    const crashtest::Run run = crash(kBin + "/vexdump_crasher.exe", {"purecall", windowsPath(file.fileName())});
    QCOMPARE(std::uint32_t(run.exitCode), kNoncontinuable & 0xff);
    const QStringList dumps = crashtest::dumpFiles(kBin + "/crash");
    QCOMPARE(dumps.size(), 1);
    checkDump(kBin + "/crash/" + dumps.first(), kNoncontinuable, assertionBytes({}, {}, {}, 0, 2));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
    QCOMPARE(crashtest::waitForRecords(m_records, 1, 15000).size(), 1);
}

void TestVexDumpWine::breakpointIsPassedOn()
{
    const crashtest::Run run = crash(kBin + "/vexdump_crasher.exe", {"breakpoint", windowsPath(m_dumps)});
    QVERIFY2(run.output.contains("previous filter: 0x80000003"), qPrintable(run.output));
    QVERIFY(crashtest::dumpFiles(m_dumps).isEmpty());
    QVERIFY(crashtest::waitForRecords(m_records, 1, 1500).isEmpty());
}

void TestVexDumpWine::secondInstallAndNullFolder()
{
    const QString second = m_work->filePath("second");
    const crashtest::Run run = crash(kBin + "/vexdump_crasher.exe", {"twice", "-", "-", windowsPath(second)});
    QVERIFY2(run.output.contains("installed: 1") && run.output.contains("installed again: 1"), qPrintable(run.output));
    QCOMPARE(std::uint32_t(run.exitCode), kAccessViolation & 0xff);

    // The first call's folder (none: "<program folder>\crash") and reporter
    // data stay; the second call created nothing.
    QVERIFY(!QFileInfo::exists(second));
    const QStringList dumps = crashtest::dumpFiles(kBin + "/crash");
    QCOMPARE(dumps.size(), 1);
    const QStringList records = crashtest::waitForRecords(m_records, 1, 15000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(reporterArguments(records.first()));
    QCOMPARE(line.dumpPath, windowsPath(kBin) + "\\crash\\" + dumps.first());
    // Without extra arguments the command line ends with the blank.
    QVERIFY2(line.rest.endsWith("-version=\"2.0.0.1\" "), qPrintable(line.rest));
}

void TestVexDumpWine::secondRequestWritesNothing()
{
    // The folder cannot be created (it would be below a file): fallback.
    QFile file(m_work->filePath("afile"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const crashtest::Run run =
        crash(kBin + "/vexdump_crasher.exe", {"request2", windowsPath(file.fileName() + "/dumps")});
    QCOMPARE(run.exitCode, 0);
    // The first request dumped; the second found the file and passed the
    // exception on to the program's own filter.
    const QString expected = "first request: 1\nprevious filter: 0xc0000005\nsecond request: 1\n";
    QVERIFY2(run.output.contains(expected), qPrintable(run.output));
    const QStringList dumps = crashtest::dumpFiles(kBin + "/crash");
    QCOMPARE(dumps.size(), 1);
    checkDump(kBin + "/crash/" + dumps.first(), kAccessViolation, {});

    // The reporter ran for both, with the same path.
    const QStringList records = crashtest::waitForRecords(m_records, 2, 15000);
    QCOMPARE(records.size(), 2);
    const QString path = windowsPath(kBin) + "\\crash\\" + dumps.first();
    QCOMPARE(crashtest::parseCommandLine(reporterArguments(records.at(0))).dumpPath, path);
    QCOMPARE(crashtest::parseCommandLine(reporterArguments(records.at(1))).dumpPath, path);
}

void TestVexDumpWine::noVersionResource()
{
    const QString nested = m_work->filePath("new/deeper");
    const crashtest::Run run = crash(kBin + "/vexdump_crasher_noversion.exe", {"av", windowsPath(nested)});
    QCOMPARE(std::uint32_t(run.exitCode), kAccessViolation & 0xff);
    QCOMPARE(crashtest::dumpFiles(nested).size(), 1); // created with its parents
    const QStringList records = crashtest::waitForRecords(m_records, 1, 15000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(reporterArguments(records.first()));
    QCOMPARE(line.rest, "-app=\"" + windowsPath(kBin) + "\\vexdump_crasher_noversion.exe\" -project=\"\" -version=\"\" ");
}

void TestVexDumpWine::withoutSystemHelpers()
{
    // Without dbghelp and rpcrt4: no dump, the all-zero name, the exception
    // goes on to the program's filter, and the reporter still starts.
    const crashtest::Run run = crash(kNoHelpers + "/vexdump_crasher.exe", {"av", windowsPath(m_dumps)});
    QVERIFY2(run.output.contains("previous filter: 0xc0000005"), qPrintable(run.output));
    QVERIFY(crashtest::dumpFiles(m_dumps).isEmpty());
    const QStringList records = crashtest::waitForRecords(m_records, 1, 15000);
    QCOMPARE(records.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(reporterArguments(records.first()));
    QCOMPARE(line.dumpPath, windowsPath(m_dumps) + "\\00000000-0000-0000-0000-000000000000.dmp");
}

void TestVexDumpWine::localInstallStartsNoReporter()
{
    // Run with the library that cannot write dumps, which is quick: what
    // matters here is that no reporter starts.
    const crashtest::Run run = crash(kNoHelpers + "/vexdump_crasher.exe", {"local", windowsPath(m_dumps)});
    QVERIFY2(run.output.contains("installed: 1"), qPrintable(run.output));
    QVERIFY2(run.output.contains("previous filter: 0xc0000005"), qPrintable(run.output));
    QVERIFY(crashtest::waitForRecords(m_records, 1, 1500).isEmpty());
}

QTEST_GUILESS_MAIN(TestVexDumpWine)
#include "tst_vexdump_wine.moc"
