#include "upload/uploadchannel.h"
#include "upload/wcsblocktransfer.h"
#include "upload/wstokenthread.h"

#include "upload/aliyunuploadthread.h"

// The program's channels. Each channel sets its own maker here, e.g.
//     makers.oss = [](const UploadTask &task) { return new AliyunUploadThread(task); };
//     makers.token = [](UploadTask *task) { return new WsTokenThread(task); };
//     makers.blocks = [](UploadTask *task) { return <the block threads for task>; };
void installProgramChannels()
{
    UploadChannelMakers &makers = programChannelMakers();
    makers.oss = [](const UploadTask &task) { return new AliyunUploadThread(task); };
    makers.token = [](UploadTask *task) -> TokenChannelThread * { return new WsTokenThread(task); };
    makers.blocks = createWcsBlockThreads;
}
