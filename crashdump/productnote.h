#pragma once
// The product name and version that the crash reporter receives with
// "-project" and "-version". On Windows the library reads them from the
// executable's version resource (ProductName, ProductVersion). Other systems
// have no version resource, so a program carries the two texts in an ELF
// note of its own, which the library reads from the running program when
// the handlers are installed:
//
//     VEXDUMPW_PRODUCT_NOTE("MyProduct", "1.2.3"); // once, at namespace scope
//
// The note's owner is "VexDumpw" and its type 1; its descriptor holds the
// product name and then the version, each ended by a NUL. A program without
// the note gives the reporter empty values, as a Windows program without a
// version resource does. On Windows the macro expands to nothing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexdump {

constexpr char kProductNoteOwner[] = "VexDumpw";
constexpr std::uint32_t kProductNoteType = 1;

constexpr std::size_t roundUpToFour(std::size_t n)
{
    return (n + 3) / 4 * 4;
}

// One ELF note record: three 32-bit words, then the owner and the
// descriptor, each padded to four bytes.
template <std::size_t NameBytes, std::size_t VersionBytes>
struct ProductNote {
    static constexpr std::size_t kDescriptorBytes = NameBytes + VersionBytes; // both NULs included

    std::uint32_t ownerSize = sizeof kProductNoteOwner;
    std::uint32_t descriptorSize = std::uint32_t(kDescriptorBytes);
    std::uint32_t type = kProductNoteType;
    char owner[roundUpToFour(sizeof kProductNoteOwner)] = {};
    char descriptor[roundUpToFour(kDescriptorBytes)] = {};

    constexpr ProductNote(const char (&name)[NameBytes], const char (&version)[VersionBytes])
    {
        for (std::size_t i = 0; i < sizeof kProductNoteOwner; ++i)
            owner[i] = kProductNoteOwner[i];
        for (std::size_t i = 0; i < NameBytes; ++i)
            descriptor[i] = name[i];
        for (std::size_t i = 0; i < VersionBytes; ++i)
            descriptor[NameBytes + i] = version[i];
    }
};

struct ProductStrings {
    bool found = false;
    std::string name;
    std::string version;
};

// Looks for the product note among the notes of one PT_NOTE segment
// (alignment 4 or 8, as its program header says). Malformed or cut-off
// records end the search; a descriptor without its two NULs is ignored.
ProductStrings findProductNote(const void *segment, std::size_t size, std::size_t alignment);

} // namespace vexdump

#if defined(_WIN32)
#  define VEXDUMPW_PRODUCT_NOTE(name, version) static_assert(true, "the version resource holds them")
#else
#  define VEXDUMPW_PRODUCT_NOTE(name, version)                                                                 \
      __attribute__((section(".note.vexdumpw.product"), used, aligned(4))) static constexpr ::vexdump::ProductNote< \
          sizeof(name), sizeof(version)>                                                                       \
          vexdumpwProductNote{name, version}
#endif
