// settingsInfo.json: the four settings of the upload engine.
#include "fuzz/fuzzcheck.h"
#include "prefs/settingsrecord.h"
#include "upload/userdatafile.h"

namespace {

bool same(const SettingsRecord &a, const SettingsRecord &b)
{
    return a.parallelTask == b.parallelTask && a.luping == b.luping && a.autoStart == b.autoStart
           && a.autoShutDown == b.autoShutDown;
}

void checkFile(const QByteArray &content)
{
    const userdata::ReadResult read = userdata::decode(content);
    // A damaged file reads as the defaults, like a missing one.
    const SettingsRecord record = read.ok ? settingsFromDocument(read.document) : SettingsRecord();
    FUZZ_CHECK(record.parallelTask >= 1 && record.parallelTask <= 5);
    // The settings read are saved and read back unchanged.
    const userdata::ReadResult reread = userdata::decode(userdata::encode(settingsToDocument(record)));
    FUZZ_CHECK(reread.ok);
    FUZZ_CHECK(same(settingsFromDocument(reread.document), record));
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
