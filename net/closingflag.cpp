#include "net/closingflag.h"

#include <atomic>

namespace {
std::atomic_bool g_closing{false};
}

bool isClosing()
{
    return g_closing.load(std::memory_order_acquire);
}

void setClosing()
{
    g_closing.store(true, std::memory_order_release);
}

void resetClosingForTest()
{
    g_closing.store(false, std::memory_order_release);
}
