#include "upload/uploadchannel.h"

namespace {

class ProgramChannelFactory final : public UploadChannelFactory
{
public:
    OssChannelThread *createOssThread(const UploadTask &task) override
    {
        const auto &make = programChannelMakers().oss;
        return make ? make(task) : nullptr;
    }
    TokenChannelThread *createTokenThread(UploadTask *task) override
    {
        const auto &make = programChannelMakers().token;
        return make ? make(task) : nullptr;
    }
    QList<BlockChannelThread *> createBlockThreads(UploadTask *task) override
    {
        const auto &make = programChannelMakers().blocks;
        return make ? make(task) : QList<BlockChannelThread *>();
    }
};

std::unique_ptr<UploadChannelFactory> &installedFactory()
{
    static std::unique_ptr<UploadChannelFactory> slot;
    return slot;
}

} // namespace

UploadChannelMakers &programChannelMakers()
{
    static UploadChannelMakers makers;
    return makers;
}

UploadChannelFactory *uploadChannelFactory()
{
    static ProgramChannelFactory program;
    UploadChannelFactory *installed = installedFactory().get();
    return installed ? installed : &program;
}

void setUploadChannelFactory(std::unique_ptr<UploadChannelFactory> factory)
{
    installedFactory() = std::move(factory);
}
