#pragma once
// Choosing the folder that receives the dump files. Runs once, at
// installation, so it may allocate.

#include "crashdump/dumpcore.h"

#include <string>

namespace vexdump {

// The file-system questions the folder choice asks; one implementation per
// platform, and fakes in the tests.
template <typename C>
class DumpFolderSystem {
public:
    using String = std::basic_string<C>;
    virtual ~DumpFolderSystem() = default;
    virtual bool exists(const String &path) const = 0;
    virtual bool isDirectory(const String &path) const = 0;
    // Creates the folder and its missing parents; errors are left to the caller
    // to notice through isDirectory().
    virtual void createPath(const String &path) = 0;
};

// The folder part of a path: everything before the last separator (either
// '/' or sep), or empty when there is none.
template <typename C>
std::basic_string<C> parentFolder(const std::basic_string<C> &path, C sep)
{
    const auto pos = path.find_last_of(std::basic_string<C>{sep, C('/')});
    return pos == std::basic_string<C>::npos ? std::basic_string<C>() : path.substr(0, pos);
}

// "<exeFolder><sep>crash": where dumps go when the given folder is unusable.
template <typename C>
std::basic_string<C> fallbackDumpFolder(const std::basic_string<C> &exeFolder, C sep)
{
    std::basic_string<C> folder = exeFolder;
    folder += sep;
    for (const char c : {'c', 'r', 'a', 's', 'h'})
        folder += C(c);
    return folder;
}

// The dump folder for the given text: an existing folder as it is; a missing
// one after creating it; otherwise (empty, an existing file, not creatable,
// or too long for a dump path) the fallback folder, created if need be.
template <typename C>
std::basic_string<C> chooseDumpFolder(const std::basic_string<C> &given, const std::basic_string<C> &exeFolder,
                                      C sep, DumpFolderSystem<C> &fs,
                                      std::size_t maxUnits = kMaxDumpFolderUnits)
{
    if (!given.empty() && given.size() <= maxUnits) {
        if (fs.isDirectory(given))
            return given;
        if (!fs.exists(given)) {
            fs.createPath(given);
            if (fs.isDirectory(given))
                return given;
        }
    }
    const std::basic_string<C> fallback = fallbackDumpFolder(exeFolder, sep);
    fs.createPath(fallback);
    return fallback;
}

} // namespace vexdump
