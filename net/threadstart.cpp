#include "net/threadstart.h"

#include <atomic>

namespace {
std::atomic<ThreadStartHook> g_hook{nullptr};
}

void setThreadStartHook(ThreadStartHook hook)
{
    g_hook.store(hook, std::memory_order_release);
}

ThreadStartHook threadStartHook()
{
    return g_hook.load(std::memory_order_acquire);
}

void prepareThread()
{
    if (const ThreadStartHook hook = threadStartHook())
        hook();
}
