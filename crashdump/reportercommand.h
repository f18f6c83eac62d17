#pragma once
// The crash reporter's command line. Built into a buffer sized at
// installation, so the dump thread allocates nothing when it runs.

#include "crashdump/dumpcore.h"

#include <cstddef>
#include <cstdint>

namespace vexdump {

constexpr std::size_t kEntryNameUnits = 64;
constexpr std::size_t kEntryValueUnits = 256;
constexpr std::size_t kReporterEntryCount = 3;

// One named fact about the executable handed to the reporter.
template <typename C>
struct BasicReporterEntry {
    C name[kEntryNameUnits] = {};
    C value[kEntryValueUnits] = {};
};

// Units needed, NUL included, for any command line with count entries and
// the given extra arguments (dump path at most kDumpPathUnits - 1 units).
template <typename C>
std::size_t reporterCommandLineCapacity(std::size_t count, const C *extraArguments)
{
    const std::size_t item = 4; // '=', two quotation marks and the blank after
    const std::size_t dumpItem = 5 + (kDumpPathUnits - 1) + item;
    const std::size_t timeItem = 5 + 20 + item;
    const std::size_t entryItem = (kEntryNameUnits - 1) + (kEntryValueUnits - 1) + item;
    return dumpItem + timeItem + count * entryItem + textLength(extraArguments) + 1;
}

// Writes name="value" followed by one blank for -dump, -time and each entry
// in order, then the extra arguments as they are. Values are not escaped.
// Returns the length written, or 0 (with out empty) when it did not fit.
template <typename C>
std::size_t formatReporterCommandLine(C *out, std::size_t cap, const C *dumpPath, std::uint64_t timeMs,
                                      const BasicReporterEntry<C> *entries, std::size_t count,
                                      const C *extraArguments)
{
    if (cap == 0)
        return 0;
    C timeText[21];
    {
        char digits[21];
        int n = 0;
        do {
            digits[n++] = char('0' + timeMs % 10);
            timeMs /= 10;
        } while (timeMs);
        for (int i = 0; i < n; ++i)
            timeText[i] = C(digits[n - 1 - i]);
        timeText[n] = C(0);
    }
    std::size_t pos = 0;
    bool ok = true;
    auto item = [&](const auto *name, const C *value) {
        const char open[] = "=\"";
        const char close[] = "\" ";
        ok = appendText(out, cap, &pos, name) && ok;
        ok = appendText(out, cap, &pos, open) && ok;
        ok = appendText(out, cap, &pos, value) && ok;
        ok = appendText(out, cap, &pos, close) && ok;
    };
    item("-dump", dumpPath);
    item("-time", timeText);
    for (std::size_t i = 0; entries && i < count; ++i)
        item(entries[i].name, entries[i].value);
    ok = appendText(out, cap, &pos, extraArguments) && ok;
    if (!ok) {
        out[0] = C(0);
        return 0;
    }
    return pos;
}

} // namespace vexdump
