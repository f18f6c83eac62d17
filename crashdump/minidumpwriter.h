#pragma once
// Lays out a minidump (the format MiniDumpWriteDump writes) for one faulting
// thread: header, stream directory, system information, the thread with its
// registers and stack, the exception, the modules, the memory ranges and the
// caller's own streams. Builds into a caller's buffer and allocates nothing,
// so it can run while the crashed process is in an unknown state.

#include "crashdump/procmaps.h"

#include <cstddef>
#include <cstdint>

namespace vexdump {

constexpr std::uint32_t kMinidumpSignature = 0x504d444du; // "MDMP"
constexpr std::uint32_t kMinidumpVersion = 0xa793u;
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kMemoryListStream = 5;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;

constexpr std::uint16_t kArchitectureX86 = 0;
constexpr std::uint16_t kArchitectureAmd64 = 9;
constexpr std::uint16_t kArchitectureArm64 = 12;
constexpr std::uint16_t kArchitectureUnknown = 0xffff;
constexpr std::uint32_t kPlatformLinux = 0x8201;

// Size of the AMD64 CONTEXT record and the offsets the POSIX side fills.
constexpr std::size_t kAmd64ContextSize = 1232;

// Copies size bytes of the dumped process's memory at address into out;
// false when that memory cannot be read.
using MemoryReadFn = bool (*)(void *context, std::uint64_t address, void *out, std::size_t size);

struct DumpMemoryRange {
    std::uint64_t start = 0;
    std::uint32_t size = 0;
};

struct DumpUserStream {
    std::uint32_t type = 0;
    const std::uint8_t *data = nullptr;
    std::uint32_t size = 0;
};

struct DumpSystemInfo {
    std::uint16_t architecture = kArchitectureUnknown;
    std::uint8_t processorCount = 1;
    std::uint32_t platformId = kPlatformLinux;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
};

struct DumpException {
    std::uint32_t code = 0;
    std::uint32_t flags = 0;
    std::uint64_t address = 0;
    std::uint32_t parameterCount = 0; // at most 15
    std::uint64_t parameters[15] = {};
};

struct DumpContent {
    std::uint32_t timeDateStamp = 0;
    DumpSystemInfo system;
    std::uint32_t threadId = 0;
    const std::uint8_t *context = nullptr; // the thread's registers, or null
    std::uint32_t contextSize = 0;
    DumpMemoryRange stack;
    const DumpException *exception = nullptr;
    const DumpModule *modules = nullptr;
    std::size_t moduleCount = 0;
    const DumpMemoryRange *memory = nullptr; // besides the stack
    std::size_t memoryCount = 0;
    const DumpUserStream *userStreams = nullptr;
    std::size_t userStreamCount = 0;
    MemoryReadFn read = nullptr;
    void *readContext = nullptr;
};

// Builds the dump into arena. Memory that cannot be read is left out.
// Returns the dump's size, or 0 when it does not fit into capacity.
std::size_t buildMinidump(std::uint8_t *arena, std::size_t capacity, const DumpContent &content);

// Writes text as UTF-16LE (invalid sequences become U+FFFD) into out, at most
// capacityUnits units. Returns the number of units written.
std::size_t utf8ToUtf16Le(const char *text, std::size_t length, std::uint8_t *out, std::size_t capacityUnits);

} // namespace vexdump
