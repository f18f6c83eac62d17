// Windows side of the crash dump library: the unhandled-exception filter, the
// C runtime's invalid-parameter and pure-call hooks, the dump thread that
// calls MiniDumpWriteDump, and the start of the crash reporter.

#include "crashdump/vexdumpw.h"

#include "crashdump/dumpcore.h"
#include "crashdump/dumpfolder.h"
#include "crashdump/reportercommand.h"

#include <windows.h>
#include <dbghelp.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

using vexdump::AssertionRecord;
using ReporterEntry = vexdump::BasicReporterEntry<wchar_t>;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide texts are UTF-16");

using MiniDumpWriteDumpFn = BOOL(WINAPI *)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                             PMINIDUMP_EXCEPTION_INFORMATION,
                                             PMINIDUMP_USER_STREAM_INFORMATION,
                                             PMINIDUMP_CALLBACK_INFORMATION);
using UuidCreateFn = long(WINAPI *)(GUID *);

using InvalidParameterHandler = void(__cdecl *)(const wchar_t *, const wchar_t *, const wchar_t *,
                                                unsigned int, uintptr_t);
using PureCallHandler = void(__cdecl *)();
using SetInvalidParameterHandlerFn = InvalidParameterHandler(__cdecl *)(InvalidParameterHandler);
using SetPureCallHandlerFn = PureCallHandler(__cdecl *)(PureCallHandler);
using InvalidParameterNoInfoFn = void(__cdecl *)();

// ---------------------------------------------------------------------------
// Texts

std::wstring fromAnsi(const char *text)
{
    if (!text || !*text)
        return std::wstring();
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1)
        return std::wstring();
    std::wstring out(std::size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], units);
    out.resize(std::size_t(units - 1));
    return out;
}

std::wstring executablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768)
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// One string of the executable's version resource ("ProductName", ...);
// empty when the resource or the string is absent.
std::wstring productString(const char *key)
{
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0)
        return std::wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return std::wstring();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory)
        return std::wstring();
    std::wstring result;
    if (void *block = GlobalLock(memory)) {
        if (GetFileVersionInfoA(path, 0, size, block)) {
            void *translation = nullptr;
            UINT translationBytes = 0;
            if (VerQueryValueA(block, "\\VarFileInfo\\Translation", &translation, &translationBytes)
                && translation && translationBytes >= 4) {
                const WORD *lang = static_cast<const WORD *>(translation);
                char subBlock[128];
                std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", lang[0], lang[1], key);
                void *value = nullptr;
                UINT valueUnits = 0;
                if (VerQueryValueA(block, subBlock, &value, &valueUnits) && value)
                    result = fromAnsi(static_cast<const char *>(value));
            }
        }
        GlobalUnlock(memory);
    }
    GlobalFree(memory);
    return result;
}

class WindowsFolders final : public vexdump::DumpFolderSystem<wchar_t> {
public:
    bool exists(const String &path) const override
    {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool isDirectory(const String &path) const override
    {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    void createPath(const String &path) override
    {
        if (path.empty() || isDirectory(path))
            return;
        const String parent = vexdump::parentFolder(path, L'\\');
        // Stop at a drive ("C:") or share root, which cannot be created.
        if (!parent.empty() && parent != path && !(parent.size() == 2 && parent[1] == L':'))
            createPath(parent);
        CreateDirectoryW(path.c_str(), nullptr);
    }
};

// ---------------------------------------------------------------------------
// Reporter

// Filled when the library is loaded; the values are replaced by
// CreateExceptionDumpForRemote.
ReporterEntry g_reporterEntries[vexdump::kReporterEntryCount];

struct ReporterEntriesInit {
    ReporterEntriesInit()
    {
        const wchar_t *initial[][2] = {{L"-app", L"Unknown"}, {L"-project", L"Unknown"}, {L"-version", L"1.0.0.1"}};
        for (std::size_t i = 0; i < vexdump::kReporterEntryCount; ++i) {
            vexdump::copyTruncated(g_reporterEntries[i].name, vexdump::kEntryNameUnits, initial[i][0]);
            vexdump::copyTruncated(g_reporterEntries[i].value, vexdump::kEntryValueUnits, initial[i][1]);
        }
    }
} g_reporterEntriesInit;

class crashSenderRemote {
public:
    crashSenderRemote(const ReporterEntry *entries, std::size_t count, const std::wstring &extraArguments)
        : m_entries(entries)
        , m_count(count)
        , m_commandLine(vexdump::reporterCommandLineCapacity(count, extraArguments.c_str()), L'\0')
    {
        // The reporter of the program's own folder, by its full path: a bare
        // name would be looked up in the current folder and PATH as well.
        const std::wstring folder = vexdump::parentFolder(executablePath(), L'\\');
        if (!folder.empty())
            m_reporterPath = folder + L"\\crashsend.exe";
    }
    virtual ~crashSenderRemote() = default;
    crashSenderRemote(const crashSenderRemote &) = delete;
    crashSenderRemote &operator=(const crashSenderRemote &) = delete;

    // Runs on the dump thread: uses the buffer sized at construction only.
    virtual void launchReporter(const wchar_t *dumpPath, const wchar_t *extraArguments)
    {
        if (!dumpPath || !*dumpPath || m_reporterPath.empty())
            return;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const std::uint64_t ticks = (std::uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        const std::uint64_t unixMs = (ticks - 116444736000000000ull) / 10000ull;
        if (vexdump::formatReporterCommandLine(&m_commandLine[0], m_commandLine.size(), dumpPath, unixMs,
                                               m_entries, m_count, extraArguments)
            == 0)
            return;
        ShellExecuteW(nullptr, L"open", m_reporterPath.c_str(), m_commandLine.c_str(), nullptr, SW_SHOWNORMAL);
    }

private:
    const ReporterEntry *m_entries;
    std::size_t m_count;
    std::wstring m_commandLine;
    std::wstring m_reporterPath;
};

struct ReporterContext {
    std::wstring extraArguments;
    crashSenderRemote *reporter = nullptr;
};

std::atomic_flag g_contextClaimed = ATOMIC_FLAG_INIT;
std::atomic<bool> g_contextReady{false};
ReporterContext *g_context = nullptr;

ReporterContext &reporterContext()
{
    if (!g_contextReady.load(std::memory_order_acquire)) {
        if (!g_contextClaimed.test_and_set(std::memory_order_acq_rel)) {
            g_context = new ReporterContext;
            g_contextReady.store(true, std::memory_order_release);
        } else {
            while (!g_contextReady.load(std::memory_order_acquire))
                YieldProcessor();
        }
    }
    return *g_context;
}

// ---------------------------------------------------------------------------
// C runtime hooks. The setters are looked up in the runtimes that are loaded,
// so the hooks reach the runtime the host program actually uses (the
// universal CRT of a current build, or an older msvcrXX).

struct CrtModule {
    SetInvalidParameterHandlerFn setInvalidParameter = nullptr;
    SetPureCallHandlerFn setPureCall = nullptr;
    InvalidParameterNoInfoFn invalidParameterNoInfo = nullptr;
};

constexpr int kMaxCrts = 8;

struct CrtHooks {
    CrtModule modules[kMaxCrts];
    int count = 0;
};

CrtHooks findCrtHooks()
{
    static const wchar_t *const names[] = {L"ucrtbase.dll", L"ucrtbased.dll", L"msvcr120.dll", L"msvcr110.dll",
                                           L"msvcr100.dll", L"msvcr90.dll", L"msvcr80.dll", L"msvcrt.dll"};
    CrtHooks hooks;
    for (const wchar_t *name : names) {
        HMODULE module = GetModuleHandleW(name);
        if (!module || hooks.count == kMaxCrts)
            continue;
        CrtModule crt;
        crt.setInvalidParameter = reinterpret_cast<SetInvalidParameterHandlerFn>(
            reinterpret_cast<void *>(GetProcAddress(module, "_set_invalid_parameter_handler")));
        crt.setPureCall = reinterpret_cast<SetPureCallHandlerFn>(
            reinterpret_cast<void *>(GetProcAddress(module, "_set_purecall_handler")));
        crt.invalidParameterNoInfo = reinterpret_cast<InvalidParameterNoInfoFn>(
            reinterpret_cast<void *>(GetProcAddress(module, "_invalid_parameter_noinfo")));
        if (crt.setInvalidParameter || crt.setPureCall)
            hooks.modules[hooks.count++] = crt;
    }
    return hooks;
}

// ---------------------------------------------------------------------------
// The handler

void *instructionAddress(const CONTEXT &context)
{
#if defined(_M_X64) || defined(__x86_64__)
    return reinterpret_cast<void *>(ULONG_PTR(context.Rip));
#elif defined(_M_ARM64) || defined(__aarch64__)
    return reinterpret_cast<void *>(ULONG_PTR(context.Pc));
#else
    return reinterpret_cast<void *>(ULONG_PTR(context.Eip));
#endif
}

class ExceptionDumpHandler;

CRITICAL_SECTION g_chainLock;
std::vector<ExceptionDumpHandler *> *g_handlers = nullptr;
int g_chainDepth = 0;
std::atomic<int> g_instanceCount{0};
ExceptionDumpHandler *g_installedHandler = nullptr;

class ExceptionDumpHandler final {
public:
    ExceptionDumpHandler(const std::wstring &dumpFolder, const ReporterEntry *entryTable, std::size_t entryCount);
    ExceptionDumpHandler(const ExceptionDumpHandler &) = delete;
    ExceptionDumpHandler &operator=(const ExceptionDumpHandler &) = delete;

    bool requestDump(EXCEPTION_POINTERS *exceptionPointers, const AssertionRecord *assertionRecord);

    static LONG WINAPI exceptionFilter(EXCEPTION_POINTERS *exceptionPointers);
    static void __cdecl invalidParameterHandler(const wchar_t *expression, const wchar_t *function,
                                                const wchar_t *file, unsigned int line, uintptr_t reserved);
    static void __cdecl pureCallHandler();

private:
    static DWORD WINAPI dumpThreadMain(LPVOID self);
    static BOOL CALLBACK dumpCallback(PVOID self, const PMINIDUMP_CALLBACK_INPUT input,
                                      PMINIDUMP_CALLBACK_OUTPUT output);
    static ExceptionDumpHandler *enterChain();
    static void leaveChain();

    bool writeDump(DWORD requestingThreadId, EXCEPTION_POINTERS *exceptionPointers,
                   const AssertionRecord *assertionRecord, HANDLE process);
    void installOwnHandlers();
    void reinstallPreviousHandlers();
    void callPreviousInvalidParameterHandler(const wchar_t *expression, const wchar_t *function,
                                             const wchar_t *file, unsigned int line, uintptr_t reserved);

    wchar_t m_dumpFolder[vexdump::kDumpPathUnits] = {};
    wchar_t m_dumpId[vexdump::kDumpIdUnits] = {};
    wchar_t m_dumpPath[vexdump::kDumpPathUnits] = {};
    HMODULE m_dbghelp = nullptr;
    MiniDumpWriteDumpFn m_miniDumpWriteDump = nullptr;
    MINIDUMP_TYPE m_dumpType = MiniDumpNormal;
    HMODULE m_rpcrt4 = nullptr;
    UuidCreateFn m_uuidCreate = nullptr;
    LPTOP_LEVEL_EXCEPTION_FILTER m_previousFilter = nullptr;
    CrtHooks m_crts;
    InvalidParameterHandler m_previousInvalidParameter[kMaxCrts] = {};
    PureCallHandler m_previousPureCall[kMaxCrts] = {};
    HANDLE m_dumpThread = nullptr;
    bool m_shutDown = false;
    CRITICAL_SECTION m_requestLock;
    HANDLE m_startSemaphore = nullptr;
    HANDLE m_finishSemaphore = nullptr;
    DWORD m_requestingThreadId = 0;
    EXCEPTION_POINTERS *m_exceptionPointers = nullptr;
    const AssertionRecord *m_assertionRecord = nullptr;
    bool m_result = false;
    vexdump::MemoryRange m_instructionRange;
    bool m_instructionRangeGiven = false;
    std::uint8_t m_dumpInfoStream[vexdump::kDumpInfoStreamSize] = {};
    std::uint8_t m_assertionStream[vexdump::kAssertionStreamSize] = {};
};

ExceptionDumpHandler::ExceptionDumpHandler(const std::wstring &dumpFolder, const ReporterEntry *entryTable,
                                           std::size_t entryCount)
{
    const bool first = g_instanceCount.fetch_add(1) == 0;

    // Only a call that brings reporter data creates the reporter.
    ReporterContext &context = reporterContext();
    if (!context.reporter && entryTable)
        context.reporter = new crashSenderRemote(entryTable, entryCount, context.extraArguments);

    InitializeCriticalSection(&m_requestLock);
    m_startSemaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    m_finishSemaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    if (m_startSemaphore && m_finishSemaphore)
        m_dumpThread = CreateThread(nullptr, 0x10000, &ExceptionDumpHandler::dumpThreadMain, this, 0, nullptr);

#if !defined(VEXDUMPW_WITHOUT_SYSTEM_HELPERS)
    m_dbghelp = LoadLibraryW(L"dbghelp.dll");
    if (m_dbghelp)
        m_miniDumpWriteDump = reinterpret_cast<MiniDumpWriteDumpFn>(
            reinterpret_cast<void *>(GetProcAddress(m_dbghelp, "MiniDumpWriteDump")));
    m_rpcrt4 = LoadLibraryW(L"rpcrt4.dll");
    if (m_rpcrt4)
        m_uuidCreate = reinterpret_cast<UuidCreateFn>(reinterpret_cast<void *>(GetProcAddress(m_rpcrt4, "UuidCreate")));
#endif

    vexdump::copyTruncated(m_dumpFolder, vexdump::kDumpPathUnits, dumpFolder.c_str());
    GUID uuid = {};
    if (m_uuidCreate)
        m_uuidCreate(&uuid);
    vexdump::Guid guid;
    guid.data1 = uuid.Data1;
    guid.data2 = uuid.Data2;
    guid.data3 = uuid.Data3;
    for (int i = 0; i < 8; ++i)
        guid.data4[i] = uuid.Data4[i];
    vexdump::formatDumpId(guid, m_dumpId);
    if (!vexdump::formatDumpPath(m_dumpPath, vexdump::kDumpPathUnits, m_dumpFolder, L'\\',
                                 static_cast<const wchar_t *>(m_dumpId)))
        m_dumpPath[0] = L'\0'; // a cut path would name the wrong file: no dumps then

    m_instructionRange = vexdump::MemoryRange();
    m_crts = findCrtHooks();

    if (first)
        InitializeCriticalSection(&g_chainLock);
    EnterCriticalSection(&g_chainLock);
    if (!g_handlers)
        g_handlers = new std::vector<ExceptionDumpHandler *>;
    g_handlers->push_back(this);
    m_previousFilter = SetUnhandledExceptionFilter(&ExceptionDumpHandler::exceptionFilter);
    for (int i = 0; i < m_crts.count; ++i) {
        if (m_crts.modules[i].setInvalidParameter)
            m_previousInvalidParameter[i] =
                m_crts.modules[i].setInvalidParameter(&ExceptionDumpHandler::invalidParameterHandler);
        if (m_crts.modules[i].setPureCall)
            m_previousPureCall[i] = m_crts.modules[i].setPureCall(&ExceptionDumpHandler::pureCallHandler);
    }
    LeaveCriticalSection(&g_chainLock);
}

void ExceptionDumpHandler::installOwnHandlers()
{
    SetUnhandledExceptionFilter(&ExceptionDumpHandler::exceptionFilter);
    for (int i = 0; i < m_crts.count; ++i) {
        if (m_crts.modules[i].setInvalidParameter)
            m_crts.modules[i].setInvalidParameter(&ExceptionDumpHandler::invalidParameterHandler);
        if (m_crts.modules[i].setPureCall)
            m_crts.modules[i].setPureCall(&ExceptionDumpHandler::pureCallHandler);
    }
}

void ExceptionDumpHandler::reinstallPreviousHandlers()
{
    SetUnhandledExceptionFilter(m_previousFilter);
    for (int i = 0; i < m_crts.count; ++i) {
        if (m_crts.modules[i].setInvalidParameter)
            m_crts.modules[i].setInvalidParameter(m_previousInvalidParameter[i]);
        if (m_crts.modules[i].setPureCall)
            m_crts.modules[i].setPureCall(m_previousPureCall[i]);
    }
}

// Takes the chain lock and hands the faults that may follow to the handlers
// that were in place before the selected one.
ExceptionDumpHandler *ExceptionDumpHandler::enterChain()
{
    EnterCriticalSection(&g_chainLock);
    ++g_chainDepth;
    ExceptionDumpHandler *selected = nullptr;
    const long index = g_handlers ? long(g_handlers->size()) - g_chainDepth : -1;
    if (index >= 0)
        selected = (*g_handlers)[std::size_t(index)];
    if (selected)
        selected->reinstallPreviousHandlers();
    return selected;
}

void ExceptionDumpHandler::leaveChain()
{
    const long index = g_handlers ? long(g_handlers->size()) - g_chainDepth : -1;
    if (index >= 0)
        (*g_handlers)[std::size_t(index)]->installOwnHandlers();
    --g_chainDepth;
    LeaveCriticalSection(&g_chainLock);
}

LONG WINAPI ExceptionDumpHandler::exceptionFilter(EXCEPTION_POINTERS *exceptionPointers)
{
    ExceptionDumpHandler *self = enterChain();
    LONG result = EXCEPTION_CONTINUE_SEARCH;
    bool handled = false;
    const DWORD code = exceptionPointers && exceptionPointers->ExceptionRecord
        ? exceptionPointers->ExceptionRecord->ExceptionCode
        : 0;
    if (self && !vexdump::isDebugException(code) && self->requestDump(exceptionPointers, nullptr)) {
        result = EXCEPTION_EXECUTE_HANDLER;
        handled = true;
    }
    if (!handled && self && self->m_previousFilter)
        result = self->m_previousFilter(exceptionPointers);
    leaveChain();
    return result;
}

void ExceptionDumpHandler::callPreviousInvalidParameterHandler(const wchar_t *expression, const wchar_t *function,
                                                               const wchar_t *file, unsigned int line,
                                                               uintptr_t reserved)
{
    for (int i = 0; i < m_crts.count; ++i)
        if (m_previousInvalidParameter[i]) {
            m_previousInvalidParameter[i](expression, function, file, line, reserved);
            return;
        }
    for (int i = 0; i < m_crts.count; ++i)
        if (m_crts.modules[i].invalidParameterNoInfo) {
            m_crts.modules[i].invalidParameterNoInfo();
            return;
        }
}

void __cdecl ExceptionDumpHandler::invalidParameterHandler(const wchar_t *expression, const wchar_t *function,
                                                           const wchar_t *file, unsigned int line,
                                                           uintptr_t reserved)
{
    ExceptionDumpHandler *self = enterChain();
    static AssertionRecord record;
    vexdump::fillAssertionRecord(record, reinterpret_cast<const char16_t *>(expression),
                                 reinterpret_cast<const char16_t *>(function),
                                 reinterpret_cast<const char16_t *>(file), line, vexdump::AssertionInvalidParameter);
    static CONTEXT context;
    static EXCEPTION_RECORD exception;
    RtlCaptureContext(&context);
    exception = EXCEPTION_RECORD();
    exception.ExceptionCode = vexdump::kCodeInvalidParameter;
    exception.ExceptionAddress = instructionAddress(context);
    exception.NumberParameters = 3;
    exception.ExceptionInformation[0] = ULONG_PTR(record.expression);
    exception.ExceptionInformation[1] = ULONG_PTR(record.file);
    exception.ExceptionInformation[2] = ULONG_PTR(line);
    EXCEPTION_POINTERS pointers = {&exception, &context};
    if (!self || !self->requestDump(&pointers, &record)) {
        if (self)
            self->callPreviousInvalidParameterHandler(expression, function, file, line, reserved);
    }
    // The process ends with the status that describes the fault, so that
    // whoever started it does not take the crash for a normal end.
    std::exit(int(vexdump::kCodeInvalidParameter));
}

void __cdecl ExceptionDumpHandler::pureCallHandler()
{
    ExceptionDumpHandler *self = enterChain();
    static AssertionRecord record;
    vexdump::fillAssertionRecord<char16_t>(record, nullptr, nullptr, nullptr, 0, vexdump::AssertionPureCall);
    static CONTEXT context;
    static EXCEPTION_RECORD exception;
    RtlCaptureContext(&context);
    exception = EXCEPTION_RECORD();
    exception.ExceptionCode = vexdump::kCodeNoncontinuable;
    exception.ExceptionAddress = instructionAddress(context);
    exception.NumberParameters = 3;
    exception.ExceptionInformation[0] = ULONG_PTR(record.expression);
    exception.ExceptionInformation[1] = ULONG_PTR(record.file);
    exception.ExceptionInformation[2] = 0;
    EXCEPTION_POINTERS pointers = {&exception, &context};
    if (self && self->requestDump(&pointers, &record))
        std::exit(int(vexdump::kCodeNoncontinuable));
    PureCallHandler previous = nullptr;
    if (self)
        for (int i = 0; i < self->m_crts.count && !previous; ++i)
            previous = self->m_previousPureCall[i];
    if (previous) {
        previous();
        std::exit(int(vexdump::kCodeNoncontinuable));
    }
    // Without a previous handler the runtime's own pure-call handling follows.
    leaveChain();
}

bool ExceptionDumpHandler::requestDump(EXCEPTION_POINTERS *exceptionPointers, const AssertionRecord *assertionRecord)
{
    EnterCriticalSection(&m_requestLock);
    if (!m_dumpThread) {
        LeaveCriticalSection(&m_requestLock);
        return false;
    }
    m_requestingThreadId = GetCurrentThreadId();
    m_exceptionPointers = exceptionPointers;
    m_assertionRecord = assertionRecord;
    ReleaseSemaphore(m_startSemaphore, 1, nullptr);
    WaitForSingleObject(m_finishSemaphore, INFINITE);
    const bool result = m_result;
    m_requestingThreadId = 0;
    m_exceptionPointers = nullptr;
    m_assertionRecord = nullptr;
    LeaveCriticalSection(&m_requestLock);
    return result;
}

DWORD WINAPI ExceptionDumpHandler::dumpThreadMain(LPVOID param)
{
    auto *self = static_cast<ExceptionDumpHandler *>(param);
    for (;;) {
        if (WaitForSingleObject(self->m_startSemaphore, INFINITE) != WAIT_OBJECT_0)
            continue;
        if (self->m_shutDown)
            return 0;
        self->m_result = self->writeDump(self->m_requestingThreadId, self->m_exceptionPointers,
                                         self->m_assertionRecord, GetCurrentProcess());
        ReleaseSemaphore(self->m_finishSemaphore, 1, nullptr);
    }
}

bool ExceptionDumpHandler::writeDump(DWORD requestingThreadId, EXCEPTION_POINTERS *exceptionPointers,
                                     const AssertionRecord *assertionRecord, HANDLE process)
{
    bool outcome = false;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (m_miniDumpWriteDump && m_dumpPath[0])
        file = CreateFileW(m_dumpPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION exceptionInfo;
        exceptionInfo.ThreadId = requestingThreadId;
        exceptionInfo.ExceptionPointers = exceptionPointers;
        exceptionInfo.ClientPointers = FALSE;

        MINIDUMP_USER_STREAM streams[2];
        vexdump::encodeDumpInfoStream(m_dumpInfoStream, GetCurrentThreadId(), requestingThreadId);
        streams[0].Type = vexdump::kDumpInfoStreamType;
        streams[0].BufferSize = ULONG(sizeof m_dumpInfoStream);
        streams[0].Buffer = m_dumpInfoStream;
        ULONG streamCount = 1;
        if (assertionRecord) {
            vexdump::encodeAssertionStream(m_assertionStream, *assertionRecord);
            streams[1].Type = vexdump::kAssertionStreamType;
            streams[1].BufferSize = ULONG(sizeof m_assertionStream);
            streams[1].Buffer = m_assertionStream;
            streamCount = 2;
        }
        MINIDUMP_USER_STREAM_INFORMATION userStreams;
        userStreams.UserStreamCount = streamCount;
        userStreams.UserStreamArray = streams;

        m_instructionRange = vexdump::MemoryRange();
        m_instructionRangeGiven = false;
        if (exceptionPointers && exceptionPointers->ContextRecord) {
            const std::uint64_t ip = std::uint64_t(ULONG_PTR(instructionAddress(*exceptionPointers->ContextRecord)));
            MEMORY_BASIC_INFORMATION region;
            if (VirtualQueryEx(process, reinterpret_cast<LPCVOID>(ULONG_PTR(ip)), &region, sizeof region)
                && region.State == MEM_COMMIT)
                m_instructionRange = vexdump::rangeAroundInstruction(
                    ip, std::uint64_t(ULONG_PTR(region.BaseAddress)), std::uint64_t(region.RegionSize));
        }

        MINIDUMP_CALLBACK_INFORMATION callback;
        callback.CallbackRoutine = &ExceptionDumpHandler::dumpCallback;
        callback.CallbackParam = this;
        outcome = m_miniDumpWriteDump(process, GetProcessId(process), file, m_dumpType,
                                      exceptionPointers ? &exceptionInfo : nullptr, &userStreams, &callback)
            == TRUE;
        CloseHandle(file);
        if (!outcome)
            DeleteFileW(m_dumpPath); // leave no partial dump behind
    }
    ReporterContext &context = reporterContext();
    if (context.reporter)
        context.reporter->launchReporter(m_dumpPath, context.extraArguments.c_str());
    return outcome;
}

BOOL CALLBACK ExceptionDumpHandler::dumpCallback(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                                 PMINIDUMP_CALLBACK_OUTPUT output)
{
    auto *self = static_cast<ExceptionDumpHandler *>(param);
    if (!input || !output)
        return FALSE;
    switch (input->CallbackType) {
    case MemoryCallback:
        if (self->m_instructionRange.start != 0 && !self->m_instructionRangeGiven) {
            output->MemoryBase = self->m_instructionRange.start;
            output->MemorySize = self->m_instructionRange.length;
            self->m_instructionRangeGiven = true;
            return TRUE;
        }
        return FALSE;
    case ModuleCallback:
    case ThreadCallback:
    case IncludeThreadCallback:
    case IncludeModuleCallback:
        return TRUE;
    case CancelCallback:
        output->Cancel = FALSE;
        output->CheckCancel = FALSE;
        return TRUE;
    default:
        return FALSE;
    }
}

bool installHandler(const char *dumpFolder, bool withReporter, const char *extraArguments)
{
    if (g_installedHandler)
        return true;
    const std::wstring given = fromAnsi(dumpFolder);
    const std::wstring exePath = executablePath();
    WindowsFolders folders;
    const std::wstring folder =
        vexdump::chooseDumpFolder(given, vexdump::parentFolder(exePath, L'\\'), L'\\', folders);
    if (withReporter) {
        reporterContext().extraArguments = fromAnsi(extraArguments);
        vexdump::copyTruncated(g_reporterEntries[0].value, vexdump::kEntryValueUnits, exePath.c_str());
        vexdump::copyTruncated(g_reporterEntries[1].value, vexdump::kEntryValueUnits,
                               productString("ProductName").c_str());
        vexdump::copyTruncated(g_reporterEntries[2].value, vexdump::kEntryValueUnits,
                               productString("ProductVersion").c_str());
        g_installedHandler = new (std::nothrow)
            ExceptionDumpHandler(folder, g_reporterEntries, vexdump::kReporterEntryCount);
    } else {
        g_installedHandler = new (std::nothrow) ExceptionDumpHandler(folder, nullptr, 0);
    }
    return g_installedHandler != nullptr;
}

} // namespace

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForRemote(const char *dumpFolder, const char *extraArguments)
{
    return installHandler(dumpFolder, true, extraArguments);
}

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForLocal(const char *dumpFolder)
{
    return installHandler(dumpFolder, false, nullptr);
}

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForThread(void)
{
    // A stack overflow leaves the filter only the guard page; this reserve
    // is what it runs on while it wakes the dump thread.
    ULONG reserve = 64 * 1024;
    ULONG previous = 0;
    if (!SetThreadStackGuarantee(&previous))
        return false;
    if (previous >= reserve)
        return true;
    return SetThreadStackGuarantee(&reserve) != 0;
}
