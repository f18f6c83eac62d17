// Test program for VexDumpw under wine. Usage:
//   vexdump_crasher <mode> <folder or -> [<extra arguments or ->] [<second folder>]
// It installs a filter of its own first, so that whatever VexDumpw passes on
// is visible, then installs VexDumpw and causes the event named by mode:
//   av          write through a null pointer
//   invalid     call the C runtime's invalid-parameter handler with texts
//   invalid-crt a C runtime function rejecting a null buffer
//   purecall    call the C runtime's pure-call entry
//   breakpoint  a breakpoint exception
//   twice       install a second time (other folder and extras), then av
//   request2    call the installed filter twice with the same access violation
//   local       install with CreateExceptionDumpForLocal, then av
//   install     install and end normally
#include "crashdump/vexdumpw.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

LONG WINAPI previousFilter(EXCEPTION_POINTERS *pointers)
{
    std::printf("previous filter: 0x%08lx\n", pointers && pointers->ExceptionRecord
                ? static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode) : 0ul);
    std::fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string narrow(const wchar_t *text)
{
    std::string out;
    for (; text && *text; ++text)
        out += char(*text); // test arguments are ASCII
    return out;
}

const char *argOrNull(const std::string &text)
{
    return text == "-" ? nullptr : text.c_str();
}

template <typename Fn>
Fn crtEntry(const char *name)
{
    HMODULE crt = GetModuleHandleW(L"ucrtbase.dll");
    return crt ? reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(crt, name))) : nullptr;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vexdump_crasher <mode> <folder> [extra] [second folder]\n");
        return 2;
    }
    const std::string mode = narrow(argv[1]);
    const std::string folder = narrow(argv[2]);
    const std::string extra = argc > 3 ? narrow(argv[3]) : std::string("-");
    const std::string secondFolder = argc > 4 ? narrow(argv[4]) : std::string("-");

    // A host built with a current compiler runs on the universal C runtime;
    // load it before VexDumpw looks for the runtimes to hook.
    LoadLibraryW(L"ucrtbase.dll");
    SetUnhandledExceptionFilter(&previousFilter);

    bool installed = false;
    if (mode == "local")
        installed = CreateExceptionDumpForLocal(argOrNull(folder));
    else
        installed = CreateExceptionDumpForRemote(argOrNull(folder), argOrNull(extra));
    std::printf("installed: %d\n", installed ? 1 : 0);
    if (mode == "twice") {
        const bool again = CreateExceptionDumpForRemote(argOrNull(secondFolder), "-second");
        std::printf("installed again: %d\n", again ? 1 : 0);
    }
    std::fflush(stdout);

    if (mode == "av" || mode == "twice" || mode == "local") {
        *static_cast<volatile int *>(nullptr) = 1;
    } else if (mode == "invalid") {
        // What a checking build of the runtime does: hand the texts to the
        // installed handler.
        using InvalidParameter = void(__cdecl *)(const wchar_t *, const wchar_t *, const wchar_t *, unsigned, uintptr_t);
        auto current = crtEntry<InvalidParameter(__cdecl *)()>("_get_invalid_parameter_handler");
        InvalidParameter handler = current ? current() : nullptr;
        if (!handler)
            return 4;
        // The expression is longer than its 127-character field.
        std::wstring expression = L"buffer != nullptr && ";
        while (expression.size() < 200)
            expression += L'x';
        handler(expression.c_str(), L"copyName", L"names.cpp", 42, 0);
    } else if (mode == "invalid-crt") {
        // A real runtime function rejecting its arguments.
        auto copy = crtEntry<int(__cdecl *)(wchar_t *, size_t, const wchar_t *)>("wcscpy_s");
        if (!copy)
            return 3;
        copy(nullptr, 0, L"x");
    } else if (mode == "purecall") {
        auto purecall = crtEntry<void(__cdecl *)()>("_purecall");
        if (!purecall)
            return 3;
        purecall();
    } else if (mode == "breakpoint") {
        DebugBreak();
    } else if (mode == "request2") {
        // Read back the installed filter and call it like the system would.
        LPTOP_LEVEL_EXCEPTION_FILTER installedFilter = SetUnhandledExceptionFilter(nullptr);
        SetUnhandledExceptionFilter(installedFilter);
        CONTEXT context;
        RtlCaptureContext(&context);
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        record.ExceptionAddress = reinterpret_cast<void *>(context.Rip);
        EXCEPTION_POINTERS pointers = {&record, &context};
        const LONG first = installedFilter(&pointers);
        std::printf("first request: %ld\n", first);
        std::fflush(stdout);
        const LONG second = installedFilter(&pointers);
        std::printf("second request: %ld\n", second);
        std::fflush(stdout);
        return 0;
    } else if (mode == "install") {
        return 0;
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }
    std::printf("survived\n");
    return 1;
}
