#include "oss/UploadCheckpoint.h"

#include "oss/OssCrypto.h"
#include "platform/utf8file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace AlibabaCloud {
namespace OSS {
namespace detail {

namespace {

constexpr int CheckpointVersion = 1;

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

// The content every checksum is taken over: everything but the checksum.
std::string body(const UploadCheckpoint &cp)
{
    std::string out;
    out += "\"version\": " + std::to_string(CheckpointVersion) + ",\n";
    out += "\"bucket\": " + jsonString(cp.bucket) + ",\n";
    out += "\"key\": " + jsonString(cp.key) + ",\n";
    out += "\"uploadId\": " + jsonString(cp.uploadId) + ",\n";
    out += "\"fileSize\": " + std::to_string(cp.fileSize) + ",\n";
    out += "\"fileModified\": " + std::to_string(cp.fileModified) + ",\n";
    out += "\"partSize\": " + std::to_string(cp.partSize) + ",\n";
    out += "\"parts\": [";
    for (std::size_t i = 0; i < cp.parts.size(); ++i) {
        const CheckpointPart &p = cp.parts[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"number\": " + std::to_string(p.number) + ", \"size\": " +
               std::to_string(p.size) + ", \"eTag\": " + jsonString(p.eTag) + "}";
    }
    out += cp.parts.empty() ? "]" : "\n]";
    return out;
}

// A small JSON reader for the checkpoint's own shape.
struct JsonValue
{
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    std::string text; // string value, or the number's text
    bool boolean = false;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;
};

class JsonReader
{
public:
    explicit JsonReader(const std::string &text) : m_text(text) {}

    bool parseDocument(JsonValue &out)
    {
        if (!parseValue(out, 0))
            return false;
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    void skipSpace()
    {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r' ||
                m_text[m_pos] == '\t'))
            ++m_pos;
    }

    bool literal(const char *word)
    {
        const std::string w = word;
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return false;
        m_pos += w.size();
        return true;
    }

    bool parseString(std::string &out)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"')
            return false;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (m_pos + 4 > m_text.size())
                    return false;
                const long code = std::strtol(m_text.substr(m_pos, 4).c_str(), nullptr, 16);
                m_pos += 4;
                if (code < 0x80) {
                    out += char(code);
                } else if (code < 0x800) {
                    out += char(0xc0 | (code >> 6));
                    out += char(0x80 | (code & 0x3f));
                } else {
                    out += char(0xe0 | (code >> 12));
                    out += char(0x80 | ((code >> 6) & 0x3f));
                    out += char(0x80 | (code & 0x3f));
                }
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool parseValue(JsonValue &out, int depth)
    {
        if (depth > 8)
            return false;
        skipSpace();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '"') {
            out.type = JsonValue::String;
            return parseString(out.text);
        }
        if (c == '{') {
            out.type = JsonValue::Object;
            ++m_pos;
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            for (;;) {
                skipSpace();
                std::string name;
                if (!parseString(name))
                    return false;
                skipSpace();
                if (m_pos >= m_text.size() || m_text[m_pos++] != ':')
                    return false;
                if (!parseValue(out.members[name], depth + 1))
                    return false;
                skipSpace();
                if (m_pos >= m_text.size())
                    return false;
                const char next = m_text[m_pos++];
                if (next == '}')
                    return true;
                if (next != ',')
                    return false;
            }
        }
        if (c == '[') {
            out.type = JsonValue::Array;
            ++m_pos;
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            for (;;) {
                out.items.emplace_back();
                if (!parseValue(out.items.back(), depth + 1))
                    return false;
                skipSpace();
                if (m_pos >= m_text.size())
                    return false;
                const char next = m_text[m_pos++];
                if (next == ']')
                    return true;
                if (next != ',')
                    return false;
            }
        }
        if (literal("true")) {
            out.type = JsonValue::Bool;
            out.boolean = true;
            return true;
        }
        if (literal("false")) {
            out.type = JsonValue::Bool;
            return true;
        }
        if (literal("null"))
            return true;
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isdigit(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '-'))
            ++m_pos;
        if (m_pos == start)
            return false;
        out.type = JsonValue::Number;
        out.text = m_text.substr(start, m_pos - start);
        return true;
    }

    const std::string &m_text;
    std::size_t m_pos = 0;
};

bool readUnsigned(const JsonValue &object, const char *name, uint64_t &out)
{
    const auto it = object.members.find(name);
    if (it == object.members.end() || it->second.type != JsonValue::Number ||
        it->second.text.empty() || it->second.text[0] == '-')
        return false;
    errno = 0;
    char *end = nullptr;
    out = std::strtoull(it->second.text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool readSigned(const JsonValue &object, const char *name, int64_t &out)
{
    const auto it = object.members.find(name);
    if (it == object.members.end() || it->second.type != JsonValue::Number)
        return false;
    errno = 0;
    char *end = nullptr;
    out = std::strtoll(it->second.text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool readString(const JsonValue &object, const char *name, std::string &out)
{
    const auto it = object.members.find(name);
    if (it == object.members.end() || it->second.type != JsonValue::String)
        return false;
    out = it->second.text;
    return true;
}

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};

} // namespace

std::string UploadCheckpoint::serialize() const
{
    const std::string content = body(*this);
    return "{\n" + content + ",\n\"checksum\": " + jsonString(md5Hex(content, false)) + "\n}\n";
}

bool UploadCheckpoint::parse(const std::string &text, UploadCheckpoint &out)
{
    JsonValue root;
    JsonReader reader(text);
    if (!reader.parseDocument(root) || root.type != JsonValue::Object)
        return false;
    UploadCheckpoint cp;
    uint64_t version = 0;
    std::string checksum;
    if (!readUnsigned(root, "version", version) || version != CheckpointVersion ||
        !readString(root, "bucket", cp.bucket) || !readString(root, "key", cp.key) ||
        !readString(root, "uploadId", cp.uploadId) ||
        !readUnsigned(root, "fileSize", cp.fileSize) ||
        !readSigned(root, "fileModified", cp.fileModified) ||
        !readUnsigned(root, "partSize", cp.partSize) || !readString(root, "checksum", checksum))
        return false;
    const auto parts = root.members.find("parts");
    if (parts == root.members.end() || parts->second.type != JsonValue::Array)
        return false;
    for (const JsonValue &item : parts->second.items) {
        if (item.type != JsonValue::Object)
            return false;
        CheckpointPart part;
        uint64_t number = 0;
        if (!readUnsigned(item, "number", number) || number < 1 || number > 10000 ||
            !readUnsigned(item, "size", part.size) || !readString(item, "eTag", part.eTag))
            return false;
        part.number = static_cast<uint32_t>(number);
        cp.parts.push_back(part);
    }
    if (md5Hex(body(cp), false) != checksum)
        return false;
    out = cp;
    return true;
}

bool UploadCheckpoint::load(const std::string &path, UploadCheckpoint &out)
{
    std::unique_ptr<std::FILE, FileCloser> file(platform::openUtf8File(path, "rb"));
    if (!file)
        return false;
    std::string text;
    char buffer[16384];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
        if (text.size() > 16 * 1024 * 1024) // far beyond 10000 parts
            return false;
    }
    return parse(text, out);
}

bool UploadCheckpoint::save(const std::string &path) const
{
    const std::string text = serialize();
    const std::string temporary = path + ".tmp";
    {
        std::unique_ptr<std::FILE, FileCloser> file(platform::openUtf8File(temporary, "wb"));
        if (!file)
            return false;
        if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
            std::fflush(file.get()) != 0) {
            file.reset();
            platform::removeUtf8File(temporary);
            return false;
        }
#ifndef _WIN32
        ::fsync(fileno(file.get()));
#endif
    }
    if (!platform::replaceUtf8File(temporary, path)) {
        platform::removeUtf8File(temporary);
        return false;
    }
    return true;
}

void UploadCheckpoint::remove(const std::string &path)
{
    platform::removeUtf8File(path);
    platform::removeUtf8File(path + ".tmp");
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
