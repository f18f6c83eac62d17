#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The wire rules of the WCS block store, free of threads and sockets: block
// geometry, request URLs and headers, and the evaluation of the answers.
namespace wcs {

constexpr qint64 kBlockSize = 4 * 1024 * 1024;
constexpr qint64 kChunkSize = 1024 * 1024;

// Number of blocks of a file (0 for an empty file).
qint64 blockCount(qint64 fileSize);
// Byte size of block `index` (the last one may be shorter; 0 out of range).
qint64 blockLength(qint64 fileSize, qint64 index);

// The stored blocks of a block map that belong to a file of this size:
// index -> ctx for every entry with status 2, a non-empty ctx and an index
// inside the file.
template <typename BlockMap>
QMap<qint64, QString> keptBlocks(const BlockMap &blocks, qint64 fileSize)
{
    QMap<qint64, QString> kept;
    const qint64 count = blockCount(fileSize);
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
        if (it.value().status == 2 && !it.value().ctx.isEmpty() && it.key() >= 0 && it.key() < count)
            kept.insert(it.key(), it.value().ctx);
    }
    return kept;
}

// Bytes of the file held by the given stored blocks.
qint64 keptBytes(const QMap<qint64, QString> &kept, qint64 fileSize);

QByteArray mkblkUrl(const QString &host, qint64 blockSize, qint64 index);
// The ctx enters the path percent-encoded (all but A-Z a-z 0-9 "-._~").
QByteArray bputUrl(const QString &host, const QString &ctx, qint64 offset);
QByteArray mkfileUrl(const QString &host, qint64 fileSize);
// The mkfile body: the ctx of every block in block order, joined by ",".
QByteArray mkfileBody(const QStringList &ctxInBlockOrder);

// A host without a scheme is taken as http.
QString normalisedHost(const QString &host);

// What the client makes of one mkblk / bput answer.
enum class ChunkVerdict {
    Accepted,   // stored; ctx is the block's new ctx (any non-empty text without ",")
    Resend,     // damaged on the way (crc32 mismatch, unusable answer) or transient (5xx, no answer)
    Restart,    // the store does not know the ctx/offset (400 on bput): send the block again
    Expired,    // the token is expired or invalid (401)
    Fatal       // anything else: the transfer fails
};

struct ChunkAnswer
{
    ChunkVerdict verdict = ChunkVerdict::Fatal;
    QString ctx;
};

// status: HTTP status (0 when no answer arrived); chunkCrc: CRC-32 of the
// chunk sent; expectedOffset: bytes of the block held after this chunk.
ChunkAnswer evaluateChunkAnswer(long status, const QByteArray &body, bool isFirstChunk,
                                quint32 chunkCrc, qint64 expectedOffset);

enum class FileVerdict {
    Assembled,
    Retry,    // transient (5xx other than 579, no answer)
    BadBlocks, // 400: a kept ctx is unknown to the store
    Failed
};
FileVerdict evaluateFileAnswer(long status, const QByteArray &body);

// CRC-32 (IEEE, as zlib computes it) of a byte range.
quint32 crc32Of(const char *data, qint64 size);
// The CRC-32 of the bytes so far (crc, 0 at the start) continued over more bytes.
quint32 crc32Update(quint32 crc, const char *data, qint64 size);

} // namespace wcs
