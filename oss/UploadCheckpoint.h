#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

struct CheckpointPart
{
    uint32_t number = 0;
    uint64_t size = 0;
    std::string eTag; // as the store gave it, quotes included
};

// State of one resumable upload, kept next to the file as "<name>.ucp".
struct UploadCheckpoint
{
    std::string bucket;
    std::string key;
    std::string uploadId;
    uint64_t fileSize = 0;
    int64_t fileModified = 0; // nanoseconds since 1970
    uint64_t partSize = 0;
    std::vector<CheckpointPart> parts; // finished parts, any order

    // JSON text with a checksum over the content.
    std::string serialize() const;
    // False (and `out` untouched) for unreadable text or a checksum that does not match.
    static bool parse(const std::string &text, UploadCheckpoint &out);

    // Reads `path`; false when missing or invalid.
    static bool load(const std::string &path, UploadCheckpoint &out);
    // Writes a temporary file next to `path` and renames it over `path`.
    bool save(const std::string &path) const;
    static void remove(const std::string &path);
};

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
