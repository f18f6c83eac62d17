#pragma once
// VexDumpw: writes a minidump and starts the crash reporter when the process
// crashes. Call one of the two entry points once, first thing in main, before
// any other thread starts. Both return true when a handler is installed; a
// later call returns true at once and changes nothing.
//
// dumpFolder and extraArguments are NUL-terminated texts in the system ANSI
// code page on Windows and UTF-8 elsewhere; null counts as empty. An empty or
// unusable folder makes the library use "<folder of the executable>\crash".

#if defined(_WIN32)
#  if defined(VEXDUMPW_BUILD)
#    define VEXDUMPW_API extern "C" __declspec(dllexport)
#  else
#    define VEXDUMPW_API extern "C" __declspec(dllimport)
#  endif
#  define VEXDUMPW_CALL __cdecl
#else
#  define VEXDUMPW_API extern "C" __attribute__((visibility("default")))
#  define VEXDUMPW_CALL
#endif

// Installs the handlers; each dump is followed by a start of the crash
// reporter with the dump path, the time, the executable's path, product name
// and version, then extraArguments.
VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForRemote(const char *dumpFolder, const char *extraArguments);

// Installs the handlers for local dumps only: the reporter is not started.
VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForLocal(const char *dumpFolder);

// Prepares the calling thread so that a crash of its own, a stack overflow
// included, still leaves a dump: an alternate signal stack for the signal
// handlers (POSIX), a stack reserve for the exception filter (Windows). Call
// first thing in every thread the program starts; the thread that installed
// the handlers is prepared already. True when the thread is prepared; a
// second call in the same thread changes nothing. What it set up is released
// when the thread ends.
VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForThread(void);
