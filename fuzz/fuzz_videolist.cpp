// The video list and search answer.
#include "fuzz/fuzzcheck.h"
#include "library/videorecord.h"

#include <QSet>

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const VideoListAnswer answer = VideoListAnswer::parse(text);
    FUZZ_CHECK(answer.pageCount >= 1);
    if (!answer.hasData)
        FUZZ_CHECK(answer.videos.isEmpty());
    // Both row orders list every video exactly once.
    for (bool byName : {false, true}) {
        const QVector<int> order = searchRowOrder(answer.videos, byName);
        FUZZ_CHECK(order.size() == answer.videos.size());
        QSet<int> seen;
        for (int i : order) {
            FUZZ_CHECK(i >= 0 && i < answer.videos.size());
            seen.insert(i);
        }
        FUZZ_CHECK(seen.size() == order.size());
    }
    return 0;
}
