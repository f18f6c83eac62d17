// The WCS block store's answers to mkblk, bput and mkfile.
#include "fuzz/fuzzcheck.h"
#include "upload/wcsprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The number the answer holds under `key`, when it is a whole number that
// the client could have sent (so that the fuzzer reaches accepted chunks).
qint64 answerNumber(const QByteArray &body, const char *key)
{
    const double d = QJsonDocument::fromJson(body).object().value(QLatin1String(key)).toDouble();
    return d >= 0 && d < 4294967296.0 ? qint64(d) : 0;
}

} // namespace

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    const quint32 crc = quint32(answerNumber(body, "crc32"));
    const qint64 offset = answerNumber(body, "offset");

    for (long status : {0L, 200L, 400L, 401L, 404L, 500L, 579L, 599L, 612L}) {
        for (bool first : {true, false}) {
            const wcs::ChunkAnswer chunk = wcs::evaluateChunkAnswer(status, body, first, crc, offset);
            // A chunk only counts as stored on a 200 answer with a ctx to
            // continue from.
            if (chunk.verdict == wcs::ChunkVerdict::Accepted)
                FUZZ_CHECK(status == 200 && !chunk.ctx.isEmpty());
            else
                FUZZ_CHECK(chunk.ctx.isEmpty());
            // The same answer for a chunk of other bytes is not accepted.
            if (chunk.verdict == wcs::ChunkVerdict::Accepted)
                FUZZ_CHECK(wcs::evaluateChunkAnswer(status, body, first, crc ^ 1u, offset).verdict
                           != wcs::ChunkVerdict::Accepted);
        }
        if (wcs::evaluateFileAnswer(status, body) == wcs::FileVerdict::Assembled)
            FUZZ_CHECK(status == 200);
    }

    // The checksum sent with each chunk: taken in one piece or continued
    // over two, it is the same.
    const int split = body.isEmpty() ? 0 : int(quint32(offset) % quint32(body.size() + 1));
    const quint32 whole = wcs::crc32Of(body.constData(), body.size());
    FUZZ_CHECK(wcs::crc32Update(wcs::crc32Update(0, body.constData(), split), body.constData() + split,
                                body.size() - split)
               == whole);
    return 0;
}
