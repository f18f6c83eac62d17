#include "vexdumpw.h"

bool CreateExceptionDumpForLocal(const char *, int) { return false; }
bool CreateExceptionDumpForRemote(const char *, int) { return false; }
