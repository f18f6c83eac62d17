// The OSS client's checkpoint "<file>.ucp", read when an upload resumes.
#include "fuzz/fuzzcheck.h"
#include "oss/UploadCheckpoint.h"

#include <fuzzer/FuzzedDataProvider.h>

using AlibabaCloud::OSS::detail::CheckpointPart;
using AlibabaCloud::OSS::detail::UploadCheckpoint;

namespace {

bool same(const UploadCheckpoint &a, const UploadCheckpoint &b)
{
    if (a.bucket != b.bucket || a.key != b.key || a.uploadId != b.uploadId || a.fileSize != b.fileSize
        || a.fileModified != b.fileModified || a.partSize != b.partSize || a.parts.size() != b.parts.size())
        return false;
    for (std::size_t i = 0; i < a.parts.size(); ++i) {
        if (a.parts[i].number != b.parts[i].number || a.parts[i].size != b.parts[i].size
            || a.parts[i].eTag != b.parts[i].eTag)
            return false;
    }
    return true;
}

// What the reader accepts, the writer writes back identically.
void checkText(const std::string &text)
{
    UploadCheckpoint read;
    read.bucket = "untouched";
    if (!UploadCheckpoint::parse(text, read)) {
        FUZZ_CHECK(read.bucket == "untouched" && read.parts.empty());
        return;
    }
    const std::string written = read.serialize();
    UploadCheckpoint again;
    FUZZ_CHECK(UploadCheckpoint::parse(written, again));
    FUZZ_CHECK(same(again, read));
    FUZZ_CHECK(again.serialize() == written);
}

// Every checkpoint the writer makes is read back as it was, whatever bytes
// its names and tags hold.
void checkFields(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    UploadCheckpoint cp;
    cp.bucket = in.ConsumeRandomLengthString(64);
    cp.key = in.ConsumeRandomLengthString(256);
    cp.uploadId = in.ConsumeRandomLengthString(64);
    cp.fileSize = in.ConsumeIntegral<uint64_t>();
    cp.fileModified = in.ConsumeIntegral<int64_t>();
    cp.partSize = in.ConsumeIntegral<uint64_t>();
    const int parts = in.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < parts; ++i) {
        CheckpointPart part;
        part.number = in.ConsumeIntegralInRange<uint32_t>(1, 10000);
        part.size = in.ConsumeIntegral<uint64_t>();
        part.eTag = in.ConsumeRandomLengthString(40);
        cp.parts.push_back(part);
    }
    UploadCheckpoint read;
    FUZZ_CHECK(UploadCheckpoint::parse(cp.serialize(), read));
    FUZZ_CHECK(same(read, cp));
}

} // namespace

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkText(std::string(reinterpret_cast<const char *>(data), size));
    checkFields(data, size);
    return 0;
}
