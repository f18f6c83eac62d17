#pragma once

#include <string>

namespace AlibabaCloud {
namespace OSS {

// Settings of one OssClient. The defaults suit a plain OSS endpoint.
struct ClientConfiguration
{
    // true: the endpoint is a custom domain bound to the bucket, so the bucket
    // is not put into the host or the path.
    bool isCname = false;
    std::string userAgent = "zavix-oss/1.0";
    long connectTimeoutMs = 5000;
    // A request that moves no byte for this long ends with a network error.
    long requestTimeoutMs = 10000;
    // Retries of one request after a network error or a 5xx answer.
    int maxErrorRetry = 3;
    // First back-off pause; doubled for every further retry.
    long retryDelayMs = 200;
    // Compare the ETag of every stored part with the MD5 of the bytes sent
    // (taken while they stream out, never by a second read) and send the
    // part again on a mismatch; a part that stays wrong fails the upload
    // before complete, so a damaged part is never made into the object.
    // Costs the CPU of the MD5 (several times that of a loopback transfer).
    bool enablePartDigestCheck = true;
    // Called first thing on every thread the client starts for its requests
    // (the part threads of a resumable upload); null: nothing is called.
    bool (*threadStart)() = nullptr;
};

} // namespace OSS
} // namespace AlibabaCloud
