#include "crashdump/minidumpwriter.h"

#include "crashdump/dumpcore.h"

#include <cstring>

namespace vexdump {

namespace {

// Hands out 4-byte aligned pieces of the arena; remembers an overflow.
class Arena final {
public:
    Arena(std::uint8_t *data, std::size_t capacity)
        : m_data(data)
        , m_capacity(capacity)
    {
    }
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;

    // Returns the offset of size fresh, zeroed bytes; 0 after an overflow.
    std::uint32_t take(std::size_t size)
    {
        const std::size_t at = (m_used + 3) & ~std::size_t(3);
        if (m_failed || at > m_capacity || size > m_capacity - at || at + size > 0xffffffffu) {
            m_failed = true;
            return 0;
        }
        std::memset(m_data + at, 0, size);
        m_used = at + size;
        return std::uint32_t(at);
    }
    // Gives back the most recent piece (used when memory turned out unreadable).
    void giveBack(std::uint32_t at) { m_used = at; }
    std::uint8_t *at(std::uint32_t offset) { return m_data + offset; }
    bool failed() const { return m_failed; }
    std::size_t used() const { return m_used; }

private:
    std::uint8_t *m_data;
    std::size_t m_capacity;
    std::size_t m_used = 0;
    bool m_failed = false;
};

struct Location {
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
};

void storeLocation(std::uint8_t *p, Location l)
{
    storeLe32(p, l.size);
    storeLe32(p + 4, l.rva);
}

// Copies a memory range into the arena; an empty location when unreadable.
Location copyMemory(Arena &arena, const DumpContent &content, const DumpMemoryRange &range)
{
    if (range.size == 0 || !content.read)
        return {};
    const std::uint32_t at = arena.take(range.size);
    if (arena.failed())
        return {};
    if (!content.read(content.readContext, range.start, arena.at(at), range.size)) {
        arena.giveBack(at);
        return {};
    }
    return {range.size, at};
}

std::uint32_t writeString(Arena &arena, const char *text, std::size_t length)
{
    // Length prefix, at most two units per byte of input, terminating NUL.
    const std::uint32_t at = arena.take(4 + 2 * length + 2);
    if (arena.failed())
        return 0;
    const std::size_t units = utf8ToUtf16Le(text, length, arena.at(at + 4), length);
    storeLe32(arena.at(at), std::uint32_t(units * 2));
    arena.giveBack(std::uint32_t(at + 4 + units * 2 + 2));
    return at;
}

} // namespace

std::size_t utf8ToUtf16Le(const char *text, std::size_t length, std::uint8_t *out, std::size_t capacityUnits)
{
    std::size_t units = 0;
    auto put = [&](std::uint32_t unit) {
        if (units < capacityUnits)
            storeLe16(out + 2 * units++, std::uint16_t(unit));
    };
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    for (std::size_t i = 0; i < length && units < capacityUnits;) {
        const unsigned char c = s[i];
        std::uint32_t cp = 0xfffd;
        std::size_t extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xe0) == 0xc0) {
            cp = c & 0x1f;
            extra = 1;
        } else if ((c & 0xf0) == 0xe0) {
            cp = c & 0x0f;
            extra = 2;
        } else if ((c & 0xf8) == 0xf0) {
            cp = c & 0x07;
            extra = 3;
        }
        bool valid = c < 0x80 || extra > 0;
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= length || (s[i + k] & 0xc0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        static const std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < minimum[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)))
            valid = false;
        if (!valid) {
            put(0xfffd);
            i += 1;
            continue;
        }
        if (cp >= 0x10000) {
            if (units + 2 > capacityUnits)
                break;
            cp -= 0x10000;
            put(0xd800 + (cp >> 10));
            put(0xdc00 + (cp & 0x3ff));
        } else {
            put(cp);
        }
        i += extra + 1;
    }
    return units;
}

std::size_t buildMinidump(std::uint8_t *arena_, std::size_t capacity, const DumpContent &content)
{
    Arena arena(arena_, capacity);
    const std::uint32_t streamCount = 5 + std::uint32_t(content.userStreamCount);
    const std::uint32_t header = arena.take(32);
    const std::uint32_t directory = arena.take(12 * std::size_t(streamCount));
    if (arena.failed())
        return 0;
    std::uint32_t streamIndex = 0;
    auto addStream = [&](std::uint32_t type, std::uint32_t rva, std::uint32_t size) {
        std::uint8_t *entry = arena.at(directory + 12 * streamIndex++);
        storeLe32(entry, type);
        storeLocation(entry + 4, {size, rva});
    };

    // System information, with an empty service-pack string.
    {
        const std::uint32_t at = arena.take(56);
        const std::uint32_t csd = arena.take(6);
        if (arena.failed())
            return 0;
        std::uint8_t *p = arena.at(at);
        storeLe16(p, content.system.architecture);
        p[6] = content.system.processorCount;
        storeLe32(p + 8, content.system.majorVersion);
        storeLe32(p + 12, content.system.minorVersion);
        storeLe32(p + 16, content.system.buildNumber);
        storeLe32(p + 20, content.system.platformId);
        storeLe32(p + 24, csd);
        addStream(kSystemInfoStream, at, 56);
    }

    // The faulting thread: registers and stack.
    Location context;
    if (content.context && content.contextSize) {
        context.rva = arena.take(content.contextSize);
        if (arena.failed())
            return 0;
        context.size = content.contextSize;
        std::memcpy(arena.at(context.rva), content.context, content.contextSize);
    }
    const Location stack = copyMemory(arena, content, content.stack);
    {
        const std::uint32_t at = arena.take(4 + 48);
        if (arena.failed())
            return 0;
        std::uint8_t *p = arena.at(at);
        storeLe32(p, 1);
        storeLe32(p + 4, content.threadId);
        storeLe64(p + 4 + 24, stack.size ? content.stack.start : 0);
        storeLocation(p + 4 + 32, stack);
        storeLocation(p + 4 + 40, context);
        addStream(kThreadListStream, at, 4 + 48);
    }

    // The exception.
    {
        const std::uint32_t at = arena.take(168);
        if (arena.failed())
            return 0;
        std::uint8_t *p = arena.at(at);
        storeLe32(p, content.threadId);
        if (const DumpException *e = content.exception) {
            storeLe32(p + 8, e->code);
            storeLe32(p + 12, e->flags);
            storeLe64(p + 24, e->address);
            const std::uint32_t n = e->parameterCount > 15 ? 15 : e->parameterCount;
            storeLe32(p + 32, n);
            for (std::uint32_t i = 0; i < n; ++i)
                storeLe64(p + 40 + 8 * i, e->parameters[i]);
        }
        storeLocation(p + 160, context);
        addStream(kExceptionStream, at, 168);
    }

    // The modules; names follow the list.
    {
        const std::uint32_t at = arena.take(4 + 108 * content.moduleCount);
        if (arena.failed())
            return 0;
        storeLe32(arena.at(at), std::uint32_t(content.moduleCount));
        for (std::size_t i = 0; i < content.moduleCount; ++i) {
            const DumpModule &m = content.modules[i];
            const std::uint32_t name = writeString(arena, m.name, m.nameLength);
            if (arena.failed())
                return 0;
            std::uint8_t *p = arena.at(at + 4 + std::uint32_t(108 * i));
            storeLe64(p, m.base);
            storeLe32(p + 8, std::uint32_t(m.size > 0xffffffffu ? 0xffffffffu : m.size));
            storeLe32(p + 20, name);
        }
        addStream(kModuleListStream, at, std::uint32_t(4 + 108 * content.moduleCount));
    }

    // The memory list: the stack, then every readable extra range.
    {
        const std::size_t most = 1 + content.memoryCount;
        const std::uint32_t at = arena.take(4 + 16 * most);
        if (arena.failed())
            return 0;
        std::uint32_t n = 0;
        auto add = [&](std::uint64_t start, Location l) {
            std::uint8_t *p = arena.at(at + 4 + 16 * n++);
            storeLe64(p, start);
            storeLocation(p + 8, l);
        };
        if (stack.size)
            add(content.stack.start, stack);
        for (std::size_t i = 0; i < content.memoryCount; ++i) {
            const Location l = copyMemory(arena, content, content.memory[i]);
            if (arena.failed())
                return 0;
            if (l.size)
                add(content.memory[i].start, l);
        }
        storeLe32(arena.at(at), n);
        addStream(kMemoryListStream, at, 4 + 16 * n);
    }

    for (std::size_t i = 0; i < content.userStreamCount; ++i) {
        const DumpUserStream &s = content.userStreams[i];
        const std::uint32_t at = arena.take(s.size);
        if (arena.failed())
            return 0;
        if (s.size)
            std::memcpy(arena.at(at), s.data, s.size);
        addStream(s.type, at, s.size);
    }

    std::uint8_t *h = arena.at(header);
    storeLe32(h, kMinidumpSignature);
    storeLe32(h + 4, kMinidumpVersion);
    storeLe32(h + 8, streamCount);
    storeLe32(h + 12, directory);
    storeLe32(h + 20, content.timeDateStamp);
    return arena.failed() ? 0 : arena.used();
}

} // namespace vexdump
