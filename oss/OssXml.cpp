#include "oss/OssXml.h"

namespace AlibabaCloud {
namespace OSS {
namespace detail {

std::string xmlEscape(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string xmlUnescape(const std::string &text)
{
    static const struct { const char *entity; char c; } entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto &e : entities) {
                const std::string entity = e.entity;
                if (text.compare(i, entity.size(), entity) == 0) {
                    out += e.c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

namespace {

// Finds <tag> or <tag ...> (not <tagOther>) starting at `from`; returns the
// position after '>' and sets `open` to the position of '<'.
std::size_t findOpen(const std::string &xml, const std::string &tag, std::size_t from,
                     std::size_t &open, bool &selfClosing)
{
    const std::string start = '<' + tag;
    while ((open = xml.find(start, from)) != std::string::npos) {
        const std::size_t after = open + start.size();
        if (after < xml.size() && (xml[after] == '>' || xml[after] == ' ' || xml[after] == '/')) {
            const std::size_t close = xml.find('>', after);
            if (close == std::string::npos)
                return std::string::npos;
            selfClosing = xml[close - 1] == '/';
            return close + 1;
        }
        from = after;
    }
    return std::string::npos;
}

} // namespace

std::string xmlValue(const std::string &xml, const std::string &tag, bool *found)
{
    std::size_t open = 0;
    bool selfClosing = false;
    const std::size_t begin = findOpen(xml, tag, 0, open, selfClosing);
    if (found)
        *found = begin != std::string::npos;
    if (begin == std::string::npos || selfClosing)
        return std::string();
    const std::size_t end = xml.find("</" + tag + '>', begin);
    if (end == std::string::npos) {
        if (found)
            *found = false;
        return std::string();
    }
    return xmlUnescape(xml.substr(begin, end - begin));
}

std::vector<std::string> xmlElements(const std::string &xml, const std::string &tag)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    const std::string closeTag = "</" + tag + '>';
    for (;;) {
        std::size_t open = 0;
        bool selfClosing = false;
        const std::size_t begin = findOpen(xml, tag, from, open, selfClosing);
        if (begin == std::string::npos)
            break;
        if (selfClosing) {
            out.emplace_back();
            from = begin;
            continue;
        }
        const std::size_t end = xml.find(closeTag, begin);
        if (end == std::string::npos)
            break;
        out.push_back(xml.substr(begin, end - begin));
        from = end + closeTag.size();
    }
    return out;
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
