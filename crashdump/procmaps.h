#pragma once
// Reading the process's mappings (the text of /proc/self/maps) into the
// module list of a dump. Works on a caller's buffer and allocates nothing.

#include <cstddef>
#include <cstdint>

namespace vexdump {

struct MapsEntry {
    bool valid = false; // false for a line that is not a mapping
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    const char *path = nullptr; // inside the parsed line; not terminated
    std::size_t pathLength = 0;
};

// Parses one line (without its newline).
MapsEntry parseMapsLine(const char *line, std::size_t length);

// Calls visit(entry) for every mapping line of text; visit returns false to
// stop early.
template <typename Visit>
void forEachMapping(const char *text, std::size_t length, Visit visit)
{
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i == length || text[i] == '\n') {
            if (i > lineStart) {
                const MapsEntry entry = parseMapsLine(text + lineStart, i - lineStart);
                if (entry.valid && !visit(entry))
                    return;
            }
            lineStart = i + 1;
        }
    }
}

// One loaded file as a dump names it.
struct DumpModule {
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    const char *name = nullptr; // UTF-8, not terminated
    std::size_t nameLength = 0;
};

// Folds mappings into modules: a file mapped from offset 0 starts a module,
// and the following mappings of the same file extend it.
class ModuleCollector final {
public:
    ModuleCollector(DumpModule *modules, std::size_t capacity);
    ModuleCollector(const ModuleCollector &) = delete;
    ModuleCollector &operator=(const ModuleCollector &) = delete;

    void add(const MapsEntry &entry);
    std::size_t count() const { return m_count; }
    bool overflowed() const { return m_overflowed; }

private:
    DumpModule *m_modules;
    std::size_t m_capacity;
    std::size_t m_count = 0;
    bool m_overflowed = false;
};

} // namespace vexdump
