#include "upload/uploadinit.h"

#include "account/accountrecord.h"
#include "net/servicehosts.h"

UploadAccount UploadAccount::fromRecord(const AccountRecord &record, bool luping)
{
    UploadAccount account;
    account.userId = record.userId;
    account.uid = record.uid.isEmpty() ? record.userId : record.uid;
    account.secretKey = record.secretKey;
    account.channel = record.uploadType == QLatin1String("0") ? 0 : 1;
    account.luping = luping;
    account.apiHost = hosts::apiHost();
    account.accountWebHost = hosts::accountWebHost();
    account.uploadHostName = hosts::uploadHostName();
    return account;
}
