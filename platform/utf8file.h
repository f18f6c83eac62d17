#pragma once

// File access by UTF-8 names, for the parts of the program that work with
// std::string paths (the OSS client library). Windows' narrow file calls read
// names in the ANSI code page, which cannot spell most Chinese names; these
// go through the wide-character calls there and straight through elsewhere.
// No Qt types here, so that Qt-free code can use them.

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// fopen() for a UTF-8 name; the mode is fopen's ("rb", "wb", ...).
std::FILE *openUtf8File(const std::string &utf8Path, const char *mode);

// Removes the file; false when it could not (a missing file included).
bool removeUtf8File(const std::string &utf8Path);

// Renames `from` to `to`, replacing an existing `to`.
bool replaceUtf8File(const std::string &from, const std::string &to);

struct Utf8FileStatus
{
    bool ok = false; // a regular file that could be examined
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // last change, nanoseconds since 1970
};
Utf8FileStatus statUtf8File(const std::string &utf8Path);

} // namespace platform
