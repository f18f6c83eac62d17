#include "crashdump/procmaps.h"

namespace vexdump {

namespace {

bool parseHex(const char *text, std::size_t length, std::size_t *pos, std::uint64_t *value)
{
    std::uint64_t v = 0;
    const std::size_t begin = *pos;
    while (*pos < length) {
        const char c = text[*pos];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        if (*pos - begin >= 16)
            return false;
        v = (v << 4) | std::uint64_t(digit);
        ++*pos;
    }
    *value = v;
    return *pos > begin;
}

bool skipField(const char *text, std::size_t length, std::size_t *pos)
{
    const std::size_t begin = *pos;
    while (*pos < length && text[*pos] != ' ')
        ++*pos;
    return *pos > begin;
}

void skipBlanks(const char *text, std::size_t length, std::size_t *pos)
{
    while (*pos < length && (text[*pos] == ' ' || text[*pos] == '\t'))
        ++*pos;
}

} // namespace

MapsEntry parseMapsLine(const char *line, std::size_t length)
{
    MapsEntry e;
    std::size_t pos = 0;
    if (!parseHex(line, length, &pos, &e.start) || pos >= length || line[pos] != '-')
        return MapsEntry();
    ++pos;
    if (!parseHex(line, length, &pos, &e.end) || e.end < e.start || pos >= length || line[pos] != ' ')
        return MapsEntry();
    ++pos;
    if (pos + 4 > length)
        return MapsEntry();
    e.readable = line[pos] == 'r';
    e.writable = line[pos + 1] == 'w';
    e.executable = line[pos + 2] == 'x';
    pos += 4;
    skipBlanks(line, length, &pos);
    if (!parseHex(line, length, &pos, &e.offset))
        return MapsEntry();
    skipBlanks(line, length, &pos);
    if (!skipField(line, length, &pos)) // device
        return MapsEntry();
    skipBlanks(line, length, &pos);
    if (!skipField(line, length, &pos)) // inode
        return MapsEntry();
    skipBlanks(line, length, &pos);
    if (pos < length) {
        e.path = line + pos;
        e.pathLength = length - pos;
    }
    e.valid = true;
    return e;
}

ModuleCollector::ModuleCollector(DumpModule *modules, std::size_t capacity)
    : m_modules(modules)
    , m_capacity(capacity)
{
}

static bool samePath(const DumpModule &m, const MapsEntry &e)
{
    if (m.nameLength != e.pathLength)
        return false;
    for (std::size_t i = 0; i < e.pathLength; ++i)
        if (m.name[i] != e.path[i])
            return false;
    return true;
}

void ModuleCollector::add(const MapsEntry &entry)
{
    // Only files: anonymous memory and "[stack]"-like names are not modules.
    if (!entry.path || entry.pathLength == 0 || entry.path[0] != '/')
        return;
    if (m_count > 0) {
        DumpModule &last = m_modules[m_count - 1];
        if (samePath(last, entry) && entry.start >= last.base) {
            last.size = entry.end - last.base;
            return;
        }
    }
    if (entry.offset != 0)
        return;
    if (m_count == m_capacity) {
        m_overflowed = true;
        return;
    }
    DumpModule &m = m_modules[m_count++];
    m.base = entry.start;
    m.size = entry.end - entry.start;
    m.name = entry.path;
    m.nameLength = entry.pathLength;
}

} // namespace vexdump
