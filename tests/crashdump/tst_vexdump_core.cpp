// The platform-free logic of the crash dump library: folder choice, dump id
// and path, exception classes, the extra streams' bytes, the reporter's
// command line, the mappings parser and the minidump layout.

#include "crashdump/dumpcore.h"
#include "crashdump/dumpfolder.h"
#include "crashdump/minidumpwriter.h"
#include "crashdump/procmaps.h"
#include "crashdump/productnote.h"
#include "crashdump/reportercommand.h"

#include "minidumpreader.h"

#include <QtTest>

#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace vexdump;

namespace {

QString toQString(const std::u16string &s)
{
    return QString::fromUtf16(s.data(), int(s.size()));
}

std::u16string u16(const QString &s)
{
    return std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size()));
}

// A file system made of sets: what exists, what is a folder, and which
// folders may be created.
class FakeFolders final : public DumpFolderSystem<char16_t> {
public:
    std::set<String> folders;
    std::set<String> files;
    std::set<String> creatable;
    std::vector<String> createCalls;

    bool exists(const String &p) const override { return folders.count(p) || files.count(p); }
    bool isDirectory(const String &p) const override { return folders.count(p) > 0; }
    void createPath(const String &p) override
    {
        createCalls.push_back(p);
        if (creatable.count(p))
            folders.insert(p);
    }
};

// Memory of a pretend process: byte at address a is (a & 0xff), except in
// one unreadable hole.
struct FakeMemory {
    std::uint64_t holeStart = 0;
    std::uint64_t holeEnd = 0;
    static bool read(void *self, std::uint64_t address, void *out, std::size_t size)
    {
        const auto *m = static_cast<FakeMemory *>(self);
        if (address < m->holeEnd && address + size > m->holeStart)
            return false;
        auto *p = static_cast<std::uint8_t *>(out);
        for (std::size_t i = 0; i < size; ++i)
            p[i] = std::uint8_t((address + i) & 0xff);
        return true;
    }
};

} // namespace

class TestVexDumpCore : public QObject {
    Q_OBJECT

private slots:
    void dumpFolder_data();
    void dumpFolder();
    void parentFolder_data();
    void parentFolder();
    void dumpId_data();
    void dumpId();
    void dumpPathLimits();
    void debugExceptions_data();
    void debugExceptions();
    void dumpInfoStreamBytes();
    void assertionStreamBytes();
    void commandLine_data();
    void commandLine();
    void commandLineCapacity();
    void instructionRange_data();
    void instructionRange();
    void mapsLine_data();
    void mapsLine();
    void modulesFromMaps();
    void utf8ToUtf16_data();
    void utf8ToUtf16();
    void minidumpLayout();
    void minidumpTooSmall();
    void productNoteLayout();
    void productNoteSearch_data();
    void productNoteSearch();
};

void TestVexDumpCore::dumpFolder_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("creatable");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("created");

    const QString fallback = "C:\\app\\crash";
    QTest::newRow("empty: fallback, created") << QString() << QStringList() << QStringList()
                                              << QStringList{fallback} << fallback << QStringList{fallback};
    QTest::newRow("existing folder used as it is")
        << "D:\\dumps" << QStringList{"D:\\dumps"} << QStringList() << QStringList() << "D:\\dumps" << QStringList();
    QTest::newRow("missing folder created") << "D:\\new\\dumps" << QStringList() << QStringList()
                                            << QStringList{"D:\\new\\dumps"} << "D:\\new\\dumps"
                                            << QStringList{"D:\\new\\dumps"};
    QTest::newRow("not creatable: fallback")
        << "Q:\\nowhere" << QStringList() << QStringList() << QStringList{fallback} << fallback
        << QStringList{"Q:\\nowhere", fallback};
    QTest::newRow("existing file: fallback, file untouched")
        << "D:\\dumps.txt" << QStringList() << QStringList{"D:\\dumps.txt"} << QStringList{fallback} << fallback
        << QStringList{fallback};
    QTest::newRow("fallback not creatable: still the fallback")
        << QString() << QStringList() << QStringList() << QStringList() << fallback << QStringList{fallback};
    const QString longest = "D:\\" + QString(int(kMaxDumpFolderUnits) - 3, 'a');
    QTest::newRow("longest folder that fits") << longest << QStringList{longest} << QStringList() << QStringList()
                                              << longest << QStringList();
    QTest::newRow("too long for a dump path: fallback")
        << longest + "b" << QStringList{longest + "b"} << QStringList() << QStringList{fallback} << fallback
        << QStringList{fallback};
}

void TestVexDumpCore::dumpFolder()
{
    QFETCH(QString, given);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(QStringList, creatable);
    QFETCH(QString, expected);
    QFETCH(QStringList, created);

    FakeFolders fs;
    for (const QString &f : folders)
        fs.folders.insert(u16(f));
    for (const QString &f : files)
        fs.files.insert(u16(f));
    for (const QString &f : creatable)
        fs.creatable.insert(u16(f));
    const std::u16string chosen = chooseDumpFolder<char16_t>(u16(given), u"C:\\app", u'\\', fs);
    QCOMPARE(toQString(chosen), expected);
    QStringList calls;
    for (const auto &c : fs.createCalls)
        calls << toQString(c);
    QCOMPARE(calls, created);
}

void TestVexDumpCore::parentFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parent");
    QTest::newRow("windows") << "C:\\Program Files\\Zavix\\ZavixUploadClient.exe" << "C:\\Program Files\\Zavix";
    QTest::newRow("forward slash") << "C:/x/y.exe" << "C:/x";
    QTest::newRow("posix") << "/opt/zavix/bin/client" << "/opt/zavix/bin";
    QTest::newRow("no separator") << "client.exe" << "";
}

void TestVexDumpCore::parentFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, parent);
    QCOMPARE(toQString(vexdump::parentFolder(u16(path), u'\\')), parent);
}

void TestVexDumpCore::dumpId_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("no UuidCreate") << QByteArray(16, '\0') << "00000000-0000-0000-0000-000000000000";
    QTest::newRow("fields in order") << QByteArray::fromHex("12345678" "9abc" "def0" "0102030405060708")
                                     << "12345678-9abc-def0-0102-030405060708";
    QTest::newRow("lower case") << QByteArray(16, '\xff') << "ffffffff-ffff-ffff-ffff-ffffffffffff";
}

void TestVexDumpCore::dumpId()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, text);
    const auto *b = reinterpret_cast<const std::uint8_t *>(raw.constData());
    Guid g;
    g.data1 = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
    g.data2 = std::uint16_t((b[4] << 8) | b[5]);
    g.data3 = std::uint16_t((b[6] << 8) | b[7]);
    std::memcpy(g.data4, b + 8, 8);

    char16_t wide[kDumpIdUnits];
    formatDumpId(g, wide);
    QCOMPARE(QString::fromUtf16(wide), text);
    char narrow[kDumpIdUnits];
    formatDumpId(g, narrow);
    QCOMPARE(QString::fromLatin1(narrow), text);
    QCOMPARE(textLength(narrow), std::size_t(36));
}

void TestVexDumpCore::dumpPathLimits()
{
    const char16_t *id = u"00000000-0000-0000-0000-000000000000";
    char16_t path[kDumpPathUnits];
    QVERIFY(formatDumpPath(path, kDumpPathUnits, u"C:\\dumps", u'\\', id));
    QCOMPARE(QString::fromUtf16(path), QString("C:\\dumps\\00000000-0000-0000-0000-000000000000.dmp"));

    // The longest folder makes a path of exactly 259 units.
    const std::u16string longest = u16(QString(int(kMaxDumpFolderUnits), 'f'));
    QVERIFY(formatDumpPath(path, kDumpPathUnits, longest.c_str(), u'\\', id));
    QCOMPARE(textLength(path), kDumpPathUnits - 1);

    // One more unit does not fit: reported, and cut at 259.
    const std::u16string tooLong = longest + u"f";
    QVERIFY(!formatDumpPath(path, kDumpPathUnits, tooLong.c_str(), u'\\', id));
    QCOMPARE(textLength(path), kDumpPathUnits - 1);
    QVERIFY(!QString::fromUtf16(path).endsWith(".dmp"));
}

void TestVexDumpCore::debugExceptions_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<bool>("passedOn");
    QTest::newRow("breakpoint") << 0x80000003u << true;
    QTest::newRow("single step") << 0x80000004u << true;
    QTest::newRow("debug output") << 0x40010006u << true;
    QTest::newRow("wide debug output") << 0x4001000Au << true;
    QTest::newRow("access violation") << 0xC0000005u << false;
    QTest::newRow("invalid parameter") << 0xC000000Du << false;
    QTest::newRow("noncontinuable") << 0xC0000025u << false;
    QTest::newRow("guard page (near a debug code)") << 0x80000001u << false;
    QTest::newRow("C++ exception") << 0xE06D7363u << false;
}

void TestVexDumpCore::debugExceptions()
{
    QFETCH(uint, code);
    QFETCH(bool, passedOn);
    QCOMPARE(isDebugException(code), passedOn);
}

void TestVexDumpCore::dumpInfoStreamBytes()
{
    std::uint8_t bytes[kDumpInfoStreamSize];
    encodeDumpInfoStream(bytes, 0x11223344u, 0x55667788u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes), int(sizeof bytes)).toHex(),
             QByteArray("030000004433221188776655"));
}

void TestVexDumpCore::assertionStreamBytes()
{
    const QString expression = "p != nullptr && " + QString(200, 'x');
    const std::u16string e = u16(expression);
    AssertionRecord record;
    fillAssertionRecord(record, e.c_str(), u"copy\u540d", static_cast<const char16_t *>(nullptr), 0x01020304u,
                        AssertionInvalidParameter);
    std::uint8_t bytes[kAssertionStreamSize];
    encodeAssertionStream(bytes, record);

    auto unitAt = [&](std::size_t unit) { return loadLe16(bytes + 2 * unit); };
    // The expression, cut at 127 characters and terminated.
    for (int i = 0; i < 127; ++i)
        QCOMPARE(unitAt(std::size_t(i)), std::uint16_t(expression.at(i).unicode()));
    QCOMPARE(unitAt(127), std::uint16_t(0));
    // The function at unit 128, little-endian, zero-filled after its text.
    QCOMPARE(unitAt(128), std::uint16_t('c'));
    QCOMPARE(bytes[2 * 132], std::uint8_t(0x0d));
    QCOMPARE(bytes[2 * 132 + 1], std::uint8_t(0x54));
    for (std::size_t i = 133; i < 256; ++i)
        QCOMPARE(unitAt(i), std::uint16_t(0));
    // A null file text is empty.
    for (std::size_t i = 256; i < 384; ++i)
        QCOMPARE(unitAt(i), std::uint16_t(0));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes + 768), 8).toHex(), QByteArray("0403020101000000"));

    AssertionRecord pure;
    fillAssertionRecord<char16_t>(pure, nullptr, nullptr, nullptr, 0, AssertionPureCall);
    encodeAssertionStream(bytes, pure);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes), 768), QByteArray(768, '\0'));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes + 768), 8).toHex(), QByteArray("0000000002000000"));
}

using Entry = BasicReporterEntry<char16_t>;
Q_DECLARE_METATYPE(std::vector<Entry>)

namespace {
std::vector<Entry> entries(const QStringList &pairs)
{
    std::vector<Entry> out;
    for (int i = 0; i + 1 < pairs.size(); i += 2) {
        Entry e;
        const std::u16string name = u16(pairs[i]);
        const std::u16string value = u16(pairs[i + 1]);
        copyTruncated(e.name, kEntryNameUnits, name.c_str());
        copyTruncated(e.value, kEntryValueUnits, value.c_str());
        out.push_back(e);
    }
    return out;
}
} // namespace

void TestVexDumpCore::commandLine_data()
{
    QTest::addColumn<QString>("dumpPath");
    QTest::addColumn<quint64>("time");
    QTest::addColumn<QStringList>("entryPairs");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("expected");

    const QStringList program = {"-app", "C:\\Zavix\\ZavixUploadClient.exe", "-project", "ZavixUploadClient",
                                 "-version", "2.0.0.1"};
    QTest::newRow("program's call: ends with a blank")
        << "C:\\c\\id.dmp" << quint64(1700000000123ull) << program << QString()
        << "-dump=\"C:\\c\\id.dmp\" -time=\"1700000000123\" -app=\"C:\\Zavix\\ZavixUploadClient.exe\" "
           "-project=\"ZavixUploadClient\" -version=\"2.0.0.1\" ";
    QTest::newRow("extra arguments follow the blank as they are")
        << "d.dmp" << quint64(5) << QStringList{"-app", "a"} << "-upload \"yes\"  x"
        << "-dump=\"d.dmp\" -time=\"5\" -app=\"a\" -upload \"yes\"  x";
    QTest::newRow("no version resource: empty values")
        << "d.dmp" << quint64(0) << QStringList{"-app", "a.exe", "-project", "", "-version", ""} << QString()
        << "-dump=\"d.dmp\" -time=\"0\" -app=\"a.exe\" -project=\"\" -version=\"\" ";
    QTest::newRow("no entries: dump and time only")
        << "d.dmp" << quint64(18446744073709551615ull) << QStringList() << QString()
        << "-dump=\"d.dmp\" -time=\"18446744073709551615\" ";
    QTest::newRow("values are not escaped") << "a\"b.dmp" << quint64(1) << QStringList{"-app", "x\\\"y"} << QString()
                                            << "-dump=\"a\"b.dmp\" -time=\"1\" -app=\"x\\\"y\" ";
    QTest::newRow("non-ASCII path") << QString::fromUtf8("C:\\用户\\d.dmp") << quint64(2) << QStringList() << QString()
                                    << QString::fromUtf8("-dump=\"C:\\用户\\d.dmp\" -time=\"2\" ");
}

void TestVexDumpCore::commandLine()
{
    QFETCH(QString, dumpPath);
    QFETCH(quint64, time);
    QFETCH(QStringList, entryPairs);
    QFETCH(QString, extra);
    QFETCH(QString, expected);

    const std::vector<Entry> table = entries(entryPairs);
    const std::u16string path = u16(dumpPath);
    const std::u16string extraText = u16(extra);
    std::vector<char16_t> out(reporterCommandLineCapacity(table.size(), extraText.c_str()));
    const std::size_t n = formatReporterCommandLine(out.data(), out.size(), path.c_str(), time, table.data(),
                                                    table.size(), extra.isNull() ? nullptr : extraText.c_str());
    const QString line = QString::fromUtf16(out.data());
    QCOMPARE(line, expected);
    QCOMPARE(n, std::size_t(line.size()));
}

void TestVexDumpCore::commandLineCapacity()
{
    // Every field at its limit fits the capacity computed beforehand.
    const QString value(255, 'v');
    const QStringList full = {QString(63, 'n'), value, QString(63, 'n'), value, QString(63, 'n'), value};
    const std::vector<Entry> table = entries(full);
    const std::u16string path = u16(QString(int(kDumpPathUnits) - 1, 'p'));
    const char16_t *extra = u"-x 1";
    const std::size_t capacity = reporterCommandLineCapacity(table.size(), extra);
    std::vector<char16_t> out(capacity);
    const std::size_t n = formatReporterCommandLine(out.data(), out.size(), path.c_str(), UINT64_MAX, table.data(),
                                                    table.size(), extra);
    QCOMPARE(n, capacity - 1);

    // One unit less: nothing is written rather than a cut command line.
    out.assign(capacity - 1, u'?');
    QCOMPARE(formatReporterCommandLine(out.data(), out.size(), path.c_str(), UINT64_MAX, table.data(), table.size(),
                                       extra),
             std::size_t(0));
    QCOMPARE(out[0], u'\0');
}

void TestVexDumpCore::instructionRange_data()
{
    QTest::addColumn<quint64>("ip");
    QTest::addColumn<quint64>("base");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<quint64>("start");
    QTest::addColumn<uint>("length");
    QTest::newRow("inside: 128 on each side") << quint64(0x401000) << quint64(0x400000) << quint64(0x10000)
                                              << quint64(0x400f80) << 256u;
    QTest::newRow("near the region's start") << quint64(0x400010) << quint64(0x400000) << quint64(0x10000)
                                             << quint64(0x400000) << 0x90u;
    QTest::newRow("near the region's end") << quint64(0x40fff0) << quint64(0x400000) << quint64(0x10000)
                                           << quint64(0x40ff70) << 0x90u;
    QTest::newRow("tiny region") << quint64(0x400004) << quint64(0x400000) << quint64(0x10) << quint64(0x400000)
                                 << 0x10u;
    QTest::newRow("outside the region: none") << quint64(0x500000) << quint64(0x400000) << quint64(0x10000)
                                              << quint64(0) << 0u;
    QTest::newRow("high addresses") << quint64(0xfffffffffffefff0ull) << quint64(0xfffffffffffe0000ull)
                                    << quint64(0x10000) << quint64(0xfffffffffffeff70ull) << 0x90u;
}

void TestVexDumpCore::instructionRange()
{
    QFETCH(quint64, ip);
    QFETCH(quint64, base);
    QFETCH(quint64, size);
    QFETCH(quint64, start);
    QFETCH(uint, length);
    const MemoryRange r = rangeAroundInstruction(ip, base, size);
    QCOMPARE(quint64(r.start), start);
    QCOMPARE(uint(r.length), length);
}

void TestVexDumpCore::mapsLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint64>("start");
    QTest::addColumn<quint64>("end");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<QString>("perms");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("file") << QByteArray("55d0c0a00000-55d0c0a02000 r-xp 00001000 08:01 1234   /usr/bin/client")
                          << true << quint64(0x55d0c0a00000) << quint64(0x55d0c0a02000) << quint64(0x1000) << "r-x"
                          << QByteArray("/usr/bin/client");
    QTest::newRow("anonymous") << QByteArray("7ffd1000-7ffd3000 rw-p 00000000 00:00 0") << true << quint64(0x7ffd1000)
                               << quint64(0x7ffd3000) << quint64(0) << "rw-" << QByteArray();
    QTest::newRow("blank in path") << QByteArray("1000-2000 r--p 00000000 08:01 9 /opt/my app/lib.so (deleted)")
                                   << true << quint64(0x1000) << quint64(0x2000) << quint64(0) << "r--"
                                   << QByteArray("/opt/my app/lib.so (deleted)");
    QTest::newRow("garbage") << QByteArray("hello world") << false << quint64(0) << quint64(0) << quint64(0) << ""
                             << QByteArray();
    QTest::newRow("end before start") << QByteArray("2000-1000 r--p 00000000 08:01 9 /x") << false << quint64(0)
                                      << quint64(0) << quint64(0) << "" << QByteArray();
    QTest::newRow("cut short") << QByteArray("1000-2000 r-") << false << quint64(0) << quint64(0) << quint64(0) << ""
                               << QByteArray();
}

void TestVexDumpCore::mapsLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, ok);
    const MapsEntry e = parseMapsLine(line.constData(), std::size_t(line.size()));
    QCOMPARE(e.valid, ok);
    if (!ok)
        return;
    QFETCH(quint64, start);
    QFETCH(quint64, end);
    QFETCH(quint64, offset);
    QFETCH(QString, perms);
    QFETCH(QByteArray, path);
    QCOMPARE(quint64(e.start), start);
    QCOMPARE(quint64(e.end), end);
    QCOMPARE(quint64(e.offset), offset);
    const QString p = QString(e.readable ? "r" : "-") + (e.writable ? "w" : "-") + (e.executable ? "x" : "-");
    QCOMPARE(p, perms);
    QCOMPARE(QByteArray(e.path, int(e.pathLength)), path);
}

void TestVexDumpCore::modulesFromMaps()
{
    const QByteArray maps = "400000-401000 r--p 00000000 08:01 1 /usr/bin/client\n"
                            "401000-405000 r-xp 00001000 08:01 1 /usr/bin/client\n"
                            "405000-406000 rw-p 00005000 08:01 1 /usr/bin/client\n"
                            "406000-408000 rw-p 00000000 00:00 0 \n"
                            "409000-40a000 rw-p 00009000 08:01 1 /usr/bin/client\n"
                            "01e00000-01e21000 rw-p 00000000 00:00 0 [heap]\n"
                            "7f0000000000-7f0000001000 r--p 00002000 08:01 7 /lib/libmid.so\n"
                            "7f0000010000-7f0000012000 r-xp 00000000 08:01 8 /lib/libc.so.6\n"
                            "7f0000012000-7f0000013000 r--p 00002000 08:01 8 /lib/libc.so.6\n"
                            "not a mapping\n"
                            "7ffc0000-7ffc2000 rw-p 00000000 00:00 0 [stack]";
    DumpModule modules[8];
    ModuleCollector collector(modules, 8);
    forEachMapping(maps.constData(), std::size_t(maps.size()), [&](const MapsEntry &e) {
        collector.add(e);
        return true;
    });
    QCOMPARE(collector.count(), std::size_t(2));
    QCOMPARE(QByteArray(modules[0].name, int(modules[0].nameLength)), QByteArray("/usr/bin/client"));
    QCOMPARE(quint64(modules[0].base), quint64(0x400000));
    QCOMPARE(quint64(modules[0].size), quint64(0xa000)); // across the anonymous gap
    QCOMPARE(QByteArray(modules[1].name, int(modules[1].nameLength)), QByteArray("/lib/libc.so.6"));
    QCOMPARE(quint64(modules[1].size), quint64(0x3000));

    // A full table keeps what it has and says so.
    ModuleCollector small(modules, 1);
    forEachMapping(maps.constData(), std::size_t(maps.size()), [&](const MapsEntry &e) {
        small.add(e);
        return true;
    });
    QCOMPARE(small.count(), std::size_t(1));
    QVERIFY(small.overflowed());
}

void TestVexDumpCore::utf8ToUtf16_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascii") << QByteArray("/usr/lib/x.so") << "/usr/lib/x.so";
    QTest::newRow("two and three bytes") << QByteArray("/\xc3\xa9/\xe8\xa7\x86\xe9\xa2\x91") << QString::fromUtf8("/é/视频");
    QTest::newRow("four bytes: surrogate pair") << QByteArray("\xf0\x9f\x8e\xac") << QString::fromUtf8("🎬");
    QTest::newRow("stray continuation") << QByteArray("a\x80z") << QString("a\uFFFDz");
    QTest::newRow("cut sequence at the end") << QByteArray("a\xe8\xa7") << QString("a\uFFFD\uFFFD");
    QTest::newRow("overlong") << QByteArray("\xc0\xafx") << QString("\uFFFD\uFFFDx");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QString("\uFFFD\uFFFD\uFFFD");
}

void TestVexDumpCore::utf8ToUtf16()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QString, expected);
    std::vector<std::uint8_t> out(2 * std::size_t(utf8.size()) + 2);
    const std::size_t units = utf8ToUtf16Le(utf8.constData(), std::size_t(utf8.size()), out.data(), std::size_t(utf8.size()));
    QString got;
    for (std::size_t i = 0; i < units; ++i)
        got += QChar(loadLe16(out.data() + 2 * i));
    QCOMPARE(got, expected);
}

void TestVexDumpCore::minidumpLayout()
{
    FakeMemory memory;
    memory.holeStart = 0x9000;
    memory.holeEnd = 0xa000;

    std::uint8_t context[kAmd64ContextSize];
    for (std::size_t i = 0; i < sizeof context; ++i)
        context[i] = std::uint8_t(i * 7);
    const char name0[] = "/usr/bin/zavix";
    const char name1[] = "/opt/\xe8\xa7\x86\xe9\xa2\x91/libVexDumpw.so";
    DumpModule modules[2];
    modules[0] = {0x400000, 0x5000, name0, sizeof name0 - 1};
    modules[1] = {0x7f0000000000ull, 0x123000000ull, name1, sizeof name1 - 1}; // size beyond 32 bits is capped
    DumpMemoryRange extra[2];
    extra[0] = {0x401f80, 256};
    extra[1] = {0x9f80, 256}; // unreadable: left out
    std::uint8_t info[kDumpInfoStreamSize];
    encodeDumpInfoStream(info, 77, 66);
    std::uint8_t assertion[kAssertionStreamSize] = {};
    assertion[0] = 'e';
    DumpUserStream streams[2] = {{kDumpInfoStreamType, info, sizeof info},
                                 {kAssertionStreamType, assertion, sizeof assertion}};
    DumpException exception;
    exception.code = 11;
    exception.flags = 1;
    exception.address = 0x10;
    exception.parameterCount = 2;
    exception.parameters[0] = 5;
    exception.parameters[1] = 0x402000;

    DumpContent content;
    content.timeDateStamp = 1700000000u;
    content.system.architecture = kArchitectureAmd64;
    content.system.processorCount = 2;
    content.system.majorVersion = 6;
    content.threadId = 66;
    content.context = context;
    content.contextSize = sizeof context;
    content.stack = {0x7ffc1000, 0x800};
    content.exception = &exception;
    content.modules = modules;
    content.moduleCount = 2;
    content.memory = extra;
    content.memoryCount = 2;
    content.userStreams = streams;
    content.userStreamCount = 2;
    content.read = &FakeMemory::read;
    content.readContext = &memory;

    std::vector<std::uint8_t> arena(1 << 16);
    const std::size_t size = buildMinidump(arena.data(), arena.size(), content);
    QVERIFY(size > 0);
    arena.resize(size);
    const minidump::Reader dump(arena);
    QVERIFY(dump.ok());
    QCOMPARE(dump.u32(0), minidump::kSignature);
    QCOMPARE(dump.version(), std::uint16_t(0xa793));
    QCOMPARE(dump.u32(20), 1700000000u);
    QCOMPARE(dump.streams().size(), std::size_t(7));
    for (std::uint32_t type : {minidump::kSystemInfoStream, minidump::kThreadListStream, minidump::kExceptionStream,
                               minidump::kModuleListStream, minidump::kMemoryListStream})
        QCOMPARE(dump.count(type), 1);
    QCOMPARE(dump.streamBytes(kDumpInfoStreamType), std::vector<std::uint8_t>(info, info + sizeof info));
    QCOMPARE(dump.streamBytes(kAssertionStreamType), std::vector<std::uint8_t>(assertion, assertion + sizeof assertion));

    const std::vector<std::uint8_t> system = dump.streamBytes(minidump::kSystemInfoStream);
    QCOMPARE(system.size(), std::size_t(56));
    QCOMPARE(loadLe16(system.data()), kArchitectureAmd64);
    QCOMPARE(system[6], std::uint8_t(2));
    QCOMPARE(loadLe32(system.data() + 20), kPlatformLinux);

    const minidump::Exception e = dump.exception();
    QVERIFY(e.present);
    QCOMPARE(e.threadId, 66u);
    QCOMPARE(e.code, 11u);
    QCOMPARE(e.flags, 1u);
    QCOMPARE(e.address, std::uint64_t(0x10));
    QCOMPARE(e.parameters, (std::vector<std::uint64_t>{5, 0x402000}));
    QCOMPARE(dump.bytes(e.contextRva, e.contextSize), std::vector<std::uint8_t>(context, context + sizeof context));

    const std::vector<minidump::Thread> threads = dump.threads();
    QCOMPARE(threads.size(), std::size_t(1));
    QCOMPARE(threads[0].id, 66u);
    QCOMPARE(threads[0].stackStart, std::uint64_t(0x7ffc1000));
    QCOMPARE(threads[0].stackSize, 0x800u);
    QCOMPARE(threads[0].contextRva, e.contextRva);

    const std::vector<minidump::MemoryRange> ranges = dump.memoryRanges();
    QCOMPARE(ranges.size(), std::size_t(2));
    QCOMPARE(ranges[0].start, std::uint64_t(0x7ffc1000));
    QCOMPARE(ranges[1].start, std::uint64_t(0x401f80));
    QCOMPARE(ranges[1].size, std::uint64_t(256));
    const std::vector<std::uint8_t> code = dump.memoryAt(0x401f80);
    QCOMPARE(code.size(), std::size_t(256));
    QCOMPARE(code[0], std::uint8_t(0x80));
    QCOMPARE(code[255], std::uint8_t(0x7f));

    const std::vector<minidump::Module> mods = dump.modules();
    QCOMPARE(mods.size(), std::size_t(2));
    QCOMPARE(toQString(mods[0].name), QString("/usr/bin/zavix"));
    QCOMPARE(mods[0].base, std::uint64_t(0x400000));
    QCOMPARE(mods[0].size, 0x5000u);
    QCOMPARE(toQString(mods[1].name), QString::fromUtf8("/opt/视频/libVexDumpw.so"));
    QCOMPARE(mods[1].size, 0xffffffffu);
}

void TestVexDumpCore::minidumpTooSmall()
{
    FakeMemory memory;
    DumpContent content;
    const DumpMemoryRange stack = {0x1000, 4096};
    content.stack = stack;
    content.read = &FakeMemory::read;
    content.readContext = &memory;
    std::vector<std::uint8_t> arena(4096 + 200);
    QCOMPARE(buildMinidump(arena.data(), arena.size(), content), std::size_t(0));
    arena.resize(1 << 14);
    QVERIFY(buildMinidump(arena.data(), arena.size(), content) > 4096);
}

namespace {

// One note record as a linker lays it out: three words, then owner and
// descriptor, each padded to the segment's alignment.
QByteArray noteRecord(const QByteArray &owner, const QByteArray &descriptor, quint32 type, int alignment,
                      int ownerSizeField = -1, int descriptorSizeField = -1)
{
    QByteArray out;
    auto word = [&out](quint32 v) { out.append(reinterpret_cast<const char *>(&v), 4); };
    auto padded = [&out, alignment](const QByteArray &bytes) {
        out.append(bytes);
        while (out.size() % alignment)
            out.append('\0');
    };
    word(quint32(ownerSizeField >= 0 ? ownerSizeField : owner.size()));
    word(quint32(descriptorSizeField >= 0 ? descriptorSizeField : descriptor.size()));
    word(type);
    padded(owner);
    padded(descriptor);
    return out;
}

const QByteArray kOwner("VexDumpw\0", 9);

} // namespace

void TestVexDumpCore::productNoteLayout()
{
    // What the macro puts into a program: owner "VexDumpw" (9 bytes with its
    // NUL, padded to 12), type 1, descriptor "Name\0" "1.2\0" padded to 12.
    static constexpr ProductNote<sizeof "Name", sizeof "1.2"> note{"Name", "1.2"};
    const QByteArray bytes(reinterpret_cast<const char *>(&note), int(sizeof note));
    QCOMPARE(bytes, noteRecord(kOwner, QByteArray("Name\0" "1.2\0", 9), 1, 4));
    const ProductStrings found = findProductNote(&note, sizeof note, 4);
    QVERIFY(found.found);
    QCOMPARE(QString::fromStdString(found.name), QStringLiteral("Name"));
    QCOMPARE(QString::fromStdString(found.version), QStringLiteral("1.2"));
}

void TestVexDumpCore::productNoteSearch_data()
{
    QTest::addColumn<QByteArray>("segment");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");

    const QByteArray buildId = noteRecord(QByteArray("GNU\0", 4), QByteArray(20, '\x5a'), 3, 4);
    const QByteArray product = noteRecord(kOwner, QByteArray("ZavixUploadClient\0V4.1.2.20171128\0", 34), 1, 4);
    QTest::newRow("after another owner's note") << buildId + product << 4 << true << "ZavixUploadClient"
                                                << "V4.1.2.20171128";
    QTest::newRow("eight-byte aligned segment")
        << noteRecord(QByteArray("GNU\0", 4), QByteArray(12, '\1'), 5, 8)
               + noteRecord(kOwner, QByteArray("P\0v\0", 4), 1, 8)
        << 8 << true << "P" << "v";
    QTest::newRow("empty texts") << noteRecord(kOwner, QByteArray("\0\0", 2), 1, 4) << 4 << true << "" << "";
    QTest::newRow("no note of ours") << buildId << 4 << false << "" << "";
    QTest::newRow("other type") << noteRecord(kOwner, QByteArray("P\0v\0", 4), 2, 4) << 4 << false << ""
                                << "";
    QTest::newRow("owner without its NUL")
        << noteRecord(QByteArray("VexDumpw"), QByteArray("P\0v\0", 4), 1, 4) << 4 << false << "" << "";
    QTest::newRow("version without its NUL") << noteRecord(kOwner, QByteArray("P\0v", 3), 1, 4) << 4 << false
                                             << "" << "";
    QTest::newRow("descriptor size beyond the segment")
        << noteRecord(kOwner, QByteArray("P\0v\0", 4), 1, 4, -1, 4000) << 4 << false << "" << "";
    QTest::newRow("owner size beyond the segment")
        << noteRecord(kOwner, QByteArray("P\0v\0", 4), 1, 4, 0x7fffffff) << 4 << false << "" << "";
    QTest::newRow("cut-off record") << product.left(product.size() - 8) << 4 << false << "" << "";
    QTest::newRow("shorter than a header") << QByteArray(11, '\0') << 4 << false << "" << "";
    QTest::newRow("unknown alignment") << product << 2 << false << "" << "";
}

void TestVexDumpCore::productNoteSearch()
{
    QFETCH(QByteArray, segment);
    QFETCH(int, alignment);
    QFETCH(bool, found);
    QFETCH(QString, name);
    QFETCH(QString, version);
    // A copy in 8-byte aligned memory, as a mapped segment is.
    std::vector<std::uint64_t> memory(std::size_t(segment.size()) / 8 + 1);
    std::memcpy(memory.data(), segment.constData(), std::size_t(segment.size()));
    const ProductStrings result = findProductNote(memory.data(), std::size_t(segment.size()), std::size_t(alignment));
    QCOMPARE(result.found, found);
    QCOMPARE(QString::fromStdString(result.name), name);
    QCOMPARE(QString::fromStdString(result.version), version);
}

QTEST_APPLESS_MAIN(TestVexDumpCore)
#include "tst_vexdump_core.moc"
