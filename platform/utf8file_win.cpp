#include "platform/utf8file.h"

#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

namespace {

// UTF-8 to UTF-16; empty for text that is not valid UTF-8.
std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        &text[0], length);
    return text;
}

} // namespace

std::FILE *openUtf8File(const std::string &utf8Path, const char *mode)
{
    const std::wstring path = wide(utf8Path);
    const std::wstring wideMode = wide(mode ? std::string(mode) : std::string());
    if (path.empty() || wideMode.empty())
        return nullptr;
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool removeUtf8File(const std::string &utf8Path)
{
    const std::wstring path = wide(utf8Path);
    return !path.empty() && DeleteFileW(path.c_str()) != 0;
}

bool replaceUtf8File(const std::string &from, const std::string &to)
{
    const std::wstring source = wide(from);
    const std::wstring target = wide(to);
    return !source.empty() && !target.empty() &&
           MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

Utf8FileStatus statUtf8File(const std::string &utf8Path)
{
    Utf8FileStatus status;
    const std::wstring path = wide(utf8Path);
    struct _stat64 st;
    if (path.empty() || _wstat64(path.c_str(), &st) != 0 || (st.st_mode & _S_IFREG) == 0)
        return status;
    status.ok = true;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modifiedNs = static_cast<std::int64_t>(st.st_mtime) * 1000000000LL;
    return status;
}

} // namespace platform
