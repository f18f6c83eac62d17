#include "upload/uploadchannel.h"

namespace {
std::unique_ptr<UploadChannelFactory> &factorySlot()
{
    static std::unique_ptr<UploadChannelFactory> slot;
    return slot;
}
} // namespace

UploadChannelFactory *uploadChannelFactory()
{
    return factorySlot().get();
}

void setUploadChannelFactory(std::unique_ptr<UploadChannelFactory> factory)
{
    factorySlot() = std::move(factory);
}
