#pragma once

#include <string>
#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

// Just enough XML for the store's flat answers: no attributes are needed,
// elements are found by name, entities are decoded.
std::string xmlEscape(const std::string &text);
std::string xmlUnescape(const std::string &text);
// Inner text of the first <tag>...</tag> in `xml` (decoded); empty when absent.
std::string xmlValue(const std::string &xml, const std::string &tag, bool *found = nullptr);
// Raw inner content of every <tag>...</tag> in order (not decoded).
std::vector<std::string> xmlElements(const std::string &xml, const std::string &tag);

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
