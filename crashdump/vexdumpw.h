#pragma once

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

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForLocal(const char *dumpFolder, int flags);
VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForRemote(const char *dumpFolder, int flags);
