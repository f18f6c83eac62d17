#pragma once

// Every thread the program starts calls prepareThread() first thing. It runs
// the hook that main installed: the crash dump library's set-up of the
// calling thread (an alternate signal stack, so that a stack overflow of
// that thread still leaves a dump). Without a hook it does nothing.
using ThreadStartHook = bool (*)();

void setThreadStartHook(ThreadStartHook hook);
ThreadStartHook threadStartHook();
void prepareThread();
