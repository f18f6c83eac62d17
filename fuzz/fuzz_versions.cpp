// The version list answer and the installed version's Base64 value.
#include "fuzz/fuzzcheck.h"
#include "prefs/updatecheck.h"

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    FUZZ_CHECK(!update::parseVersionAnswer(false, input).ok);
    const update::VersionAnswer answer = update::parseVersionAnswer(true, input);
    if (!answer.ok)
        FUZZ_CHECK(answer.version.isEmpty() && answer.description.isEmpty());
    // The offered version is an update exactly when it differs.
    FUZZ_CHECK(update::isOfferedUpdate(answer.version, answer.version) == false);

    // The value of version.ini: what is written for a version reads back as it.
    const update::DecodedVersion decoded = update::decodeVersionValue(input);
    if (decoded.ok) {
        const update::DecodedVersion again =
            update::decodeVersionValue(update::encodeVersionValue(decoded.version));
        FUZZ_CHECK(again.ok && again.version == decoded.version);
    }
    const QString version = QString::fromUtf8(input);
    const update::DecodedVersion written = update::decodeVersionValue(update::encodeVersionValue(version));
    FUZZ_CHECK(written.ok && written.version == version);
    return 0;
}
