#include "crashdump/productnote.h"

#include <cstring>

namespace vexdump {

namespace {

std::uint32_t word(const unsigned char *p)
{
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value); // notes use the program's own byte order
    return value;
}

std::size_t roundUp(std::size_t n, std::size_t alignment)
{
    return (n + alignment - 1) / alignment * alignment;
}

} // namespace

ProductStrings findProductNote(const void *segment, std::size_t size, std::size_t alignment)
{
    ProductStrings result;
    if (!segment || (alignment != 4 && alignment != 8))
        return result;
    const auto *bytes = static_cast<const unsigned char *>(segment);
    std::size_t pos = 0;
    while (size - pos >= 12) {
        const std::size_t ownerSize = word(bytes + pos);
        const std::size_t descriptorSize = word(bytes + pos + 4);
        const std::uint32_t type = word(bytes + pos + 8);
        const std::size_t ownerAt = pos + 12;
        const std::size_t left = size - ownerAt;
        if (ownerSize > left)
            break;
        // Owner and descriptor each start at the segment's alignment,
        // counted from the segment's start (so a 4-byte owner after the
        // 12-byte header needs no padding in an 8-byte aligned segment).
        const std::size_t descriptorAt = roundUp(ownerAt + ownerSize, alignment);
        if (descriptorAt > size || descriptorSize > size - descriptorAt)
            break;
        const char *owner = reinterpret_cast<const char *>(bytes + ownerAt);
        const char *descriptor = reinterpret_cast<const char *>(bytes + descriptorAt);
        if (type == kProductNoteType && ownerSize == sizeof kProductNoteOwner
            && std::memcmp(owner, kProductNoteOwner, sizeof kProductNoteOwner) == 0) {
            const void *firstEnd = std::memchr(descriptor, 0, descriptorSize);
            if (firstEnd) {
                const std::size_t nameLength = std::size_t(static_cast<const char *>(firstEnd) - descriptor);
                const char *version = descriptor + nameLength + 1;
                const std::size_t versionRoom = descriptorSize - nameLength - 1;
                const void *secondEnd = std::memchr(version, 0, versionRoom);
                if (secondEnd) {
                    result.found = true;
                    result.name.assign(descriptor, nameLength);
                    result.version.assign(version, std::size_t(static_cast<const char *>(secondEnd) - version));
                    return result;
                }
            }
        }
        const std::size_t next = descriptorAt + roundUp(descriptorSize, alignment);
        if (next <= pos || next > size)
            break;
        pos = next;
    }
    return result;
}

} // namespace vexdump
