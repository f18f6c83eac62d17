#include "crashdump/dumpcore.h"

#include <initializer_list>

namespace vexdump {

bool isDebugException(std::uint32_t code)
{
    switch (code) {
    case kCodeBreakpoint:
    case kCodeSingleStep:
    case kCodeDebugPrint:
    case kCodeDebugPrintWide:
        return true;
    default:
        return false;
    }
}

void encodeDumpInfoStream(std::uint8_t (&out)[kDumpInfoStreamSize],
                          std::uint32_t dumpThreadId, std::uint32_t requestingThreadId)
{
    // Bit 0: the dumping thread id is valid; bit 1: the requesting one is.
    storeLe32(out, 3u);
    storeLe32(out + 4, dumpThreadId);
    storeLe32(out + 8, requestingThreadId);
}

void encodeAssertionStream(std::uint8_t (&out)[kAssertionStreamSize], const AssertionRecord &record)
{
    std::uint8_t *p = out;
    for (const char16_t *text : {record.expression, record.function, record.file}) {
        for (std::size_t i = 0; i < kAssertionTextUnits; ++i, p += 2)
            storeLe16(p, std::uint16_t(text[i]));
    }
    storeLe32(p, record.line);
    storeLe32(p + 4, record.type);
}

MemoryRange rangeAroundInstruction(std::uint64_t ip, std::uint64_t regionBase, std::uint64_t regionSize)
{
    MemoryRange range;
    const std::uint64_t regionEnd = regionSize > UINT64_MAX - regionBase ? UINT64_MAX : regionBase + regionSize;
    if (ip < regionBase || ip >= regionEnd)
        return range;
    std::uint64_t start = ip >= 128 ? ip - 128 : 0;
    std::uint64_t end = ip > UINT64_MAX - 128 ? UINT64_MAX : ip + 128;
    if (start < regionBase)
        start = regionBase;
    if (end > regionEnd)
        end = regionEnd;
    if (start == 0 || end <= start)
        return range; // a start of 0 would read as "no range"
    range.start = start;
    range.length = std::uint32_t(end - start);
    return range;
}

} // namespace vexdump
