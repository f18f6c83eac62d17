#pragma once
// Platform-free pieces of the crash dump library: fixed field sizes, the dump
// id and dump path, the exception classes, the two extra dump streams and the
// text helpers they use. Nothing here allocates, so the dump thread may use it
// while the rest of the process is in an unknown state.

#include <cstddef>
#include <cstdint>

namespace vexdump {

// Fixed buffer sizes in code units, terminating NUL included.
constexpr std::size_t kDumpPathUnits = 260;
constexpr std::size_t kDumpIdUnits = 37;
constexpr std::size_t kAssertionTextUnits = 128;

constexpr std::uint32_t kDumpInfoStreamType = 0x47670001u;
constexpr std::uint32_t kAssertionStreamType = 0x47670002u;
constexpr std::size_t kDumpInfoStreamSize = 12;
constexpr std::size_t kAssertionStreamSize = 3 * kAssertionTextUnits * 2 + 8;
static_assert(kAssertionStreamSize == 776, "assertion stream layout");

enum AssertionType : std::uint32_t {
    AssertionInvalidParameter = 1,
    AssertionPureCall = 2,
};

// Exception codes the handlers use or recognise.
constexpr std::uint32_t kCodeBreakpoint = 0x80000003u;
constexpr std::uint32_t kCodeSingleStep = 0x80000004u;
constexpr std::uint32_t kCodeDebugPrint = 0x40010006u;
constexpr std::uint32_t kCodeDebugPrintWide = 0x4001000Au;
constexpr std::uint32_t kCodeInvalidParameter = 0xC000000Du;
constexpr std::uint32_t kCodeNoncontinuable = 0xC0000025u;

// Debugger notifications are passed on without a dump.
bool isDebugException(std::uint32_t code);

// Length of a NUL-terminated text; a null pointer counts as empty.
template <typename C>
std::size_t textLength(const C *text)
{
    std::size_t n = 0;
    if (text)
        while (text[n] != C(0))
            ++n;
    return n;
}

// Copies at most cap - 1 units of src (null = empty) into dst and terminates
// it. Units are converted by value, so this is meant for same-width texts or
// ASCII. Returns the number of units copied.
template <typename To, typename From>
std::size_t copyTruncated(To *dst, std::size_t cap, const From *src)
{
    if (cap == 0)
        return 0;
    std::size_t n = 0;
    if (src)
        for (; n + 1 < cap && src[n] != From(0); ++n)
            dst[n] = To(src[n]);
    dst[n] = To(0);
    return n;
}

// Appends src (null = empty) at *pos in dst of cap units; stops one unit
// short of cap. Returns false when something did not fit.
template <typename C, typename S>
bool appendText(C *dst, std::size_t cap, std::size_t *pos, const S *src)
{
    bool complete = true;
    if (src)
        for (std::size_t i = 0; src[i] != S(0); ++i) {
            if (*pos + 1 >= cap) {
                complete = false;
                break;
            }
            dst[(*pos)++] = C(src[i]);
        }
    if (cap)
        dst[*pos < cap ? *pos : cap - 1] = C(0);
    return complete;
}

// A 16-byte UUID in the field order of the Windows GUID.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

// The 36 lower-case characters of the UUID's text form, NUL-terminated.
template <typename C>
void formatDumpId(const Guid &g, C (&out)[kDumpIdUnits])
{
    static const char digits[] = "0123456789abcdef";
    std::size_t pos = 0;
    auto put = [&](std::uint64_t value, int hexDigits) {
        for (int shift = (hexDigits - 1) * 4; shift >= 0; shift -= 4)
            out[pos++] = C(digits[(value >> shift) & 0xF]);
    };
    put(g.data1, 8);
    out[pos++] = C('-');
    put(g.data2, 4);
    out[pos++] = C('-');
    put(g.data3, 4);
    out[pos++] = C('-');
    put(g.data4[0], 2);
    put(g.data4[1], 2);
    out[pos++] = C('-');
    for (int i = 2; i < 8; ++i)
        put(g.data4[i], 2);
    out[pos] = C(0);
}

// Builds "<folder><sep><id>.dmp" into out (cap units). Returns false when the
// whole path does not fit; out then holds the text cut at cap - 1 units.
template <typename C>
bool formatDumpPath(C *out, std::size_t cap, const C *folder, C sep, const C *id)
{
    const C sepText[2] = {sep, C(0)};
    const C ext[5] = {C('.'), C('d'), C('m'), C('p'), C(0)};
    std::size_t pos = 0;
    bool ok = appendText(out, cap, &pos, folder);
    ok = appendText(out, cap, &pos, sepText) && ok;
    ok = appendText(out, cap, &pos, id) && ok;
    ok = appendText(out, cap, &pos, ext) && ok;
    return ok;
}

// Longest dump folder whose dump path still fits in kDumpPathUnits.
constexpr std::size_t kMaxDumpFolderUnits = kDumpPathUnits - 1 - 1 - (kDumpIdUnits - 1) - 4;

// The dump info stream: which thread wrote the dump and which asked for it.
void encodeDumpInfoStream(std::uint8_t (&out)[kDumpInfoStreamSize],
                          std::uint32_t dumpThreadId, std::uint32_t requestingThreadId);

// What an invalid-parameter report or a pure virtual call leaves behind.
struct AssertionRecord {
    char16_t expression[kAssertionTextUnits] = {};
    char16_t function[kAssertionTextUnits] = {};
    char16_t file[kAssertionTextUnits] = {};
    std::uint32_t line = 0;
    std::uint32_t type = 0;
};

// Fills the record; each text (null = empty) is cut at 127 units.
template <typename C>
void fillAssertionRecord(AssertionRecord &record, const C *expression, const C *function,
                         const C *file, std::uint32_t line, std::uint32_t type)
{
    copyTruncated(record.expression, kAssertionTextUnits, expression);
    copyTruncated(record.function, kAssertionTextUnits, function);
    copyTruncated(record.file, kAssertionTextUnits, file);
    record.line = line;
    record.type = type;
}

void encodeAssertionStream(std::uint8_t (&out)[kAssertionStreamSize], const AssertionRecord &record);

// Little-endian stores and loads, independent of the host's byte order.
inline void storeLe16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void storeLe32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void storeLe64(std::uint8_t *p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline std::uint16_t loadLe16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t loadLe32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t loadLe64(const std::uint8_t *p)
{
    return std::uint64_t(loadLe32(p)) | (std::uint64_t(loadLe32(p + 4)) << 32);
}

// Memory to add around a faulting instruction: up to 128 bytes on each side
// of ip, cut at the edges of the region [regionBase, regionBase + regionSize).
struct MemoryRange {
    std::uint64_t start = 0;
    std::uint32_t length = 0;
};
MemoryRange rangeAroundInstruction(std::uint64_t ip, std::uint64_t regionBase, std::uint64_t regionSize);

} // namespace vexdump
