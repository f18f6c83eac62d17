#include "net/transferlimits.h"

#include <mutex>

namespace {

std::mutex g_mutex;
TransferLimits g_limits;

} // namespace

TransferLimits transferLimits()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_limits;
}

void setTransferLimitsForTest(const TransferLimits &limits)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_limits = limits;
}

void resetTransferLimitsForTest()
{
    setTransferLimitsForTest(TransferLimits());
}
