#pragma once
// A small reader of the minidump format, enough to check what VexDumpw writes:
// the header, the stream directory, the exception, thread, module and memory
// lists, and raw stream bytes. Bounds are checked everywhere; a damaged file
// gives ok() == false or empty answers, never a read outside the data.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace minidump {

constexpr std::uint32_t kSignature = 0x504d444du; // "MDMP"
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kMemoryListStream = 5;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;
constexpr std::uint32_t kMemory64ListStream = 9;

struct Stream {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
};

struct MemoryRange {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

struct Exception {
    bool present = false;
    std::uint32_t threadId = 0;
    std::uint32_t code = 0;
    std::uint32_t flags = 0;
    std::uint64_t address = 0;
    std::vector<std::uint64_t> parameters;
    std::uint32_t contextSize = 0;
    std::uint32_t contextRva = 0;
};

struct Thread {
    std::uint32_t id = 0;
    std::uint64_t stackStart = 0;
    std::uint32_t stackSize = 0;
    std::uint32_t contextSize = 0;
    std::uint32_t contextRva = 0;
};

struct Module {
    std::uint64_t base = 0;
    std::uint32_t size = 0;
    std::u16string name;
};

class Reader {
public:
    static Reader fromFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return Reader(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }

    explicit Reader(std::vector<std::uint8_t> data)
        : m_data(std::move(data))
    {
        if (m_data.size() < 32 || u32(0) != kSignature)
            return;
        const std::uint32_t count = u32(8);
        const std::uint32_t dir = u32(12);
        if (!inside(dir, std::uint64_t(count) * 12))
            return;
        for (std::uint32_t i = 0; i < count; ++i) {
            Stream s{u32(dir + 12 * i), u32(dir + 12 * i + 4), u32(dir + 12 * i + 8)};
            if (!inside(s.rva, s.size))
                return;
            m_streams.push_back(s);
        }
        m_ok = true;
    }

    bool ok() const { return m_ok; }
    std::uint16_t version() const { return m_data.size() >= 6 ? u16(4) : 0; }
    const std::vector<Stream> &streams() const { return m_streams; }
    std::size_t fileSize() const { return m_data.size(); }

    int count(std::uint32_t type) const
    {
        int n = 0;
        for (const Stream &s : m_streams)
            n += s.type == type;
        return n;
    }

    bool has(std::uint32_t type) const { return count(type) > 0; }

    std::vector<std::uint8_t> streamBytes(std::uint32_t type) const
    {
        for (const Stream &s : m_streams)
            if (s.type == type)
                return bytes(s.rva, s.size);
        return {};
    }

    std::vector<std::uint8_t> bytes(std::uint64_t rva, std::uint64_t size) const
    {
        if (!inside(rva, size))
            return {};
        return std::vector<std::uint8_t>(m_data.begin() + std::ptrdiff_t(rva),
                                         m_data.begin() + std::ptrdiff_t(rva + size));
    }

    std::vector<MemoryRange> memoryRanges() const
    {
        std::vector<MemoryRange> out;
        for (const Stream &s : m_streams) {
            if (s.type == kMemoryListStream && s.size >= 4) {
                const std::uint32_t n = u32(s.rva);
                for (std::uint32_t i = 0; i < n && 4 + 16 * std::uint64_t(i + 1) <= s.size; ++i) {
                    const std::uint32_t at = s.rva + 4 + 16 * i;
                    out.push_back({u64(at), u32(at + 8)});
                }
            } else if (s.type == kMemory64ListStream && s.size >= 16) {
                const std::uint64_t n = u64(s.rva);
                for (std::uint64_t i = 0; i < n && 16 + 16 * (i + 1) <= s.size; ++i) {
                    const std::uint64_t at = s.rva + 16 + 16 * i;
                    out.push_back({u64(at), u64(at + 8)});
                }
            }
        }
        return out;
    }

    // Bytes of memory held in a MemoryListStream descriptor starting at start.
    std::vector<std::uint8_t> memoryAt(std::uint64_t start) const
    {
        for (const Stream &s : m_streams) {
            if (s.type != kMemoryListStream || s.size < 4)
                continue;
            const std::uint32_t n = u32(s.rva);
            for (std::uint32_t i = 0; i < n && 4 + 16 * std::uint64_t(i + 1) <= s.size; ++i) {
                const std::uint32_t at = s.rva + 4 + 16 * i;
                if (u64(at) == start)
                    return bytes(u32(at + 12), u32(at + 8));
            }
        }
        return {};
    }

    Exception exception() const
    {
        Exception e;
        for (const Stream &s : m_streams) {
            if (s.type != kExceptionStream || s.size < 168)
                continue;
            e.present = true;
            e.threadId = u32(s.rva);
            e.code = u32(s.rva + 8);
            e.flags = u32(s.rva + 12);
            e.address = u64(s.rva + 24);
            const std::uint32_t n = u32(s.rva + 32);
            for (std::uint32_t i = 0; i < n && i < 15; ++i)
                e.parameters.push_back(u64(s.rva + 40 + 8 * i));
            e.contextSize = u32(s.rva + 160);
            e.contextRva = u32(s.rva + 164);
            break;
        }
        return e;
    }

    std::vector<Thread> threads() const
    {
        std::vector<Thread> out;
        for (const Stream &s : m_streams) {
            if (s.type != kThreadListStream || s.size < 4)
                continue;
            const std::uint32_t n = u32(s.rva);
            for (std::uint32_t i = 0; i < n && 4 + 48 * std::uint64_t(i + 1) <= s.size; ++i) {
                const std::uint32_t at = s.rva + 4 + 48 * i;
                Thread t;
                t.id = u32(at);
                t.stackStart = u64(at + 24);
                t.stackSize = u32(at + 32);
                t.contextSize = u32(at + 40);
                t.contextRva = u32(at + 44);
                out.push_back(t);
            }
        }
        return out;
    }

    std::vector<Module> modules() const
    {
        std::vector<Module> out;
        for (const Stream &s : m_streams) {
            if (s.type != kModuleListStream || s.size < 4)
                continue;
            const std::uint32_t n = u32(s.rva);
            for (std::uint32_t i = 0; i < n && 4 + 108 * std::uint64_t(i + 1) <= s.size; ++i) {
                const std::uint32_t at = s.rva + 4 + 108 * i;
                Module m;
                m.base = u64(at);
                m.size = u32(at + 8);
                m.name = string(u32(at + 20));
                out.push_back(m);
            }
        }
        return out;
    }

    // A MINIDUMP_STRING: u32 byte length, then UTF-16 units.
    std::u16string string(std::uint32_t rva) const
    {
        std::u16string out;
        if (!inside(rva, 4))
            return out;
        const std::uint32_t length = u32(rva);
        if (!inside(std::uint64_t(rva) + 4, length))
            return out;
        for (std::uint32_t i = 0; i + 1 < length; i += 2)
            out += char16_t(u16(rva + 4 + i));
        return out;
    }

    std::uint16_t u16(std::uint64_t at) const
    {
        return inside(at, 2) ? std::uint16_t(m_data[at] | (m_data[at + 1] << 8)) : 0;
    }
    std::uint32_t u32(std::uint64_t at) const
    {
        return inside(at, 4) ? std::uint32_t(u16(at)) | (std::uint32_t(u16(at + 2)) << 16) : 0;
    }
    std::uint64_t u64(std::uint64_t at) const
    {
        return inside(at, 8) ? std::uint64_t(u32(at)) | (std::uint64_t(u32(at + 4)) << 32) : 0;
    }

private:
    bool inside(std::uint64_t at, std::uint64_t size) const
    {
        return at <= m_data.size() && size <= m_data.size() - at;
    }

    std::vector<std::uint8_t> m_data;
    std::vector<Stream> m_streams;
    bool m_ok = false;
};

// The memory ranges that contain addr.
inline std::vector<MemoryRange> rangesContaining(const std::vector<MemoryRange> &ranges, std::uint64_t addr)
{
    std::vector<MemoryRange> out;
    for (const MemoryRange &r : ranges)
        if (addr >= r.start && addr - r.start < r.size)
            out.push_back(r);
    return out;
}

} // namespace minidump
