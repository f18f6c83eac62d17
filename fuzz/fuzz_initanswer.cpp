// The init answer of both channels: OSS access and WCS token.
#include "fuzz/fuzzcheck.h"
#include "upload/uploadinit.h"

#include <limits>

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString body = QString::fromUtf8(fuzz::bytes(data, size));
    for (qint64 fileSize : {qint64(0), qint64(1) << 30, std::numeric_limits<qint64>::max()}) {
        FUZZ_CHECK(!evaluateInitAnswer(false, body, fileSize).accepted);
        const InitAnswer answer = evaluateInitAnswer(true, body, fileSize);
        if (answer.accepted) {
            // The space rule decides, and only "not enough space" stops the start.
            FUZZ_CHECK(answer.code == spaceRuleCode(answer.remainSpace, fileSize));
            FUZZ_CHECK(answer.code == 1 || answer.code == 2 || answer.code == 5);
            FUZZ_CHECK(answer.ok == (answer.code != 1));
        } else {
            FUZZ_CHECK(!answer.ok && (answer.code == 0 || answer.code == 3));
        }
        // What the channels take from it (OSS access, WCS token and host).
        for (const char *key : {"callback", "bucketName", "endpoint", "accessId", "accessKey", "token",
                                "fileid", "dateStr", "uploadToken", "host"})
            answer.text(key);
    }
    return 0;
}
