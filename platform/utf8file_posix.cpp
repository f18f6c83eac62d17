#include "platform/utf8file.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

std::FILE *openUtf8File(const std::string &utf8Path, const char *mode)
{
    return std::fopen(utf8Path.c_str(), mode);
}

bool removeUtf8File(const std::string &utf8Path)
{
    return std::remove(utf8Path.c_str()) == 0;
}

bool replaceUtf8File(const std::string &from, const std::string &to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

Utf8FileStatus statUtf8File(const std::string &utf8Path)
{
    Utf8FileStatus status;
    struct stat st;
    if (::stat(utf8Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return status;
#if defined(__APPLE__)
    status.modifiedNs = static_cast<std::int64_t>(st.st_mtimespec.tv_sec) * 1000000000LL + st.st_mtimespec.tv_nsec;
#else
    status.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
#endif
    status.ok = true;
    status.size = static_cast<std::uint64_t>(st.st_size);
    return status;
}

} // namespace platform
