// Stand-in for the crash reporter: writes its whole command line (UTF-8) to
// "<VEXDUMP_RECORD_DIR>\crashsend-<process id>.txt" and ends.
#include <windows.h>

#include <string>

int wmain()
{
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VEXDUMP_RECORD_DIR", folder, MAX_PATH))
        return 2;
    const std::wstring base = std::wstring(folder) + L"\\crashsend-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring temp = base + L".tmp";
    const std::wstring final = base + L".txt";

    const wchar_t *commandLine = GetCommandLineW();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? std::size_t(bytes) : 1, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, &text[0], bytes, nullptr, nullptr);
    text.resize(text.size() - 1);

    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != text.size() || !MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 4;
    return 0;
}
