// netparamsInfo.json: the recorded result of the speed test.
#include "fuzz/fuzzcheck.h"
#include "upload/nettestrecord.h"
#include "upload/userdatafile.h"

namespace {

void checkFile(const QByteArray &content)
{
    const userdata::ReadResult read = userdata::decode(content);
    for (int channel : {0, 1}) {
        const NetTestRecord record = nettest::fromFile(read, channel);
        if (!read.ok) {
            FUZZ_CHECK(record == NetTestRecord());
            continue;
        }
        FUZZ_CHECK(record.uploadType == channel);
        // A WCS account keeps no speeds.
        if (channel == 1)
            FUZZ_CHECK(record.paramType == 0 && record.speedA == 0 && record.speedB == 0);
        // The record read is saved and read back unchanged.
        const userdata::ReadResult reread = userdata::decode(userdata::encode(nettest::toDocument(record)));
        FUZZ_CHECK(reread.ok);
        FUZZ_CHECK(nettest::fromFile(reread, channel) == record);
    }
}

} // namespace

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    checkFile(input);
    checkFile(input.toBase64());
    return 0;
}
