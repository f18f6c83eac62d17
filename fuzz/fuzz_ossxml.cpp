// The OSS store's XML answers: errors, the initiated upload, the part list.
#include "fuzz/fuzzcheck.h"
#include "oss/OssHttp.h"
#include "oss/OssOperations.h"
#include "oss/OssXml.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace AlibabaCloud::OSS::detail;

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string body(reinterpret_cast<const char *>(data), size);

    // Entities: whatever text is escaped reads back as itself.
    FUZZ_CHECK(xmlUnescape(xmlEscape(body)) == body);
    // An escaped text holds no markup of its own.
    FUZZ_CHECK(xmlEscape(body).find('<') == std::string::npos);

    // An error answer: the code the client reports is the one in the body.
    HttpResponse response;
    response.status = 403;
    response.body = body;
    const AlibabaCloud::OSS::OssError error = errorFromResponse(response);
    bool hasCode = false;
    const std::string code = xmlValue(body, "Code", &hasCode);
    if (hasCode && !code.empty())
        FUZZ_CHECK(error.Code() == code);
    FUZZ_CHECK(error.Status() == 403);

    // The part list: every listed part has a number; a complete request
    // built from the listed parts names the same parts with the same tags.
    const OssOperations::PartListPage page = OssOperations::parsePartList(body);
    for (const CheckpointPart &part : page.parts)
        FUZZ_CHECK(part.number > 0);
    const OssOperations::PartListPage echoed =
        OssOperations::parsePartList(OssOperations::completeBody(page.parts));
    FUZZ_CHECK(echoed.parts.size() == page.parts.size());
    for (std::size_t i = 0; i < page.parts.size(); ++i) {
        FUZZ_CHECK(echoed.parts[i].number == page.parts[i].number);
        FUZZ_CHECK(echoed.parts[i].eTag == page.parts[i].eTag);
    }
    for (const std::string &element : xmlElements(body, "Part"))
        FUZZ_CHECK(element.size() <= body.size());
    return 0;
}
