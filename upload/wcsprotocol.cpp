#include "upload/wcsprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define WCS_CRC_CLMUL 1
#include <immintrin.h>
#endif

namespace wcs {

qint64 blockCount(qint64 fileSize)
{
    return fileSize <= 0 ? 0 : (fileSize + kBlockSize - 1) / kBlockSize;
}

qint64 blockLength(qint64 fileSize, qint64 index)
{
    if (index < 0 || index >= blockCount(fileSize))
        return 0;
    return std::min(kBlockSize, fileSize - index * kBlockSize);
}

qint64 keptBytes(const QMap<qint64, QString> &kept, qint64 fileSize)
{
    qint64 sum = 0;
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        sum += blockLength(fileSize, it.key());
    return sum;
}

QString normalisedHost(const QString &host)
{
    QString h = host.trimmed();
    while (h.endsWith(QLatin1Char('/')))
        h.chop(1);
    if (!h.isEmpty() && !h.contains(QLatin1String("://")))
        h.prepend(QLatin1String("http://"));
    return h;
}

QByteArray mkblkUrl(const QString &host, qint64 blockSize, qint64 index)
{
    return (normalisedHost(host) + QStringLiteral("/mkblk/%1/%2").arg(blockSize).arg(index)).toUtf8();
}

QByteArray bputUrl(const QString &host, const QString &ctx, qint64 offset)
{
    // The ctx is the store's opaque text: every byte but the unreserved
    // ones is percent-encoded, so "=", "/", "?" or "%" in it stay inside
    // the path segment.
    return normalisedHost(host).toUtf8() + "/bput/" + QUrl::toPercentEncoding(ctx) + '/'
        + QByteArray::number(offset);
}

QByteArray mkfileUrl(const QString &host, qint64 fileSize)
{
    return (normalisedHost(host) + QStringLiteral("/mkfile/%1").arg(fileSize)).toUtf8();
}

QByteArray mkfileBody(const QStringList &ctxInBlockOrder)
{
    return ctxInBlockOrder.join(QLatin1Char(',')).toUtf8();
}

namespace {

// A ctx is kept as the store gave it. It only has to be a non-empty text
// without ",": the block list of mkfile and the record's ctxStr join the
// contexts with ",", so one holding a comma could not be handed back.
bool isUsableCtx(const QString &ctx)
{
    return !ctx.isEmpty() && !ctx.contains(QLatin1Char(','));
}

bool isTransient(long status)
{
    return status == 0 || (status >= 500 && status != 579);
}

} // namespace

ChunkAnswer evaluateChunkAnswer(long status, const QByteArray &body, bool isFirstChunk,
                                quint32 chunkCrc, qint64 expectedOffset)
{
    ChunkAnswer a;
    if (status == 200) {
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const QJsonObject o = doc.object();
        const QString ctx = o.value(QStringLiteral("ctx")).toString();
        const QJsonValue crc = o.value(QStringLiteral("crc32"));
        const QJsonValue offset = o.value(QStringLiteral("offset"));
        if (!doc.isObject() || !isUsableCtx(ctx) || !crc.isDouble() || !offset.isDouble()) {
            a.verdict = ChunkVerdict::Resend;
            return a;
        }
        // Compared as numbers: an answer's value beyond the range of the
        // integers cannot be converted safely, and it cannot match either.
        if (crc.toDouble() != double(chunkCrc) || offset.toDouble() != double(expectedOffset)) {
            a.verdict = ChunkVerdict::Resend;
            return a;
        }
        a.verdict = ChunkVerdict::Accepted;
        a.ctx = ctx;
        return a;
    }
    if (status == 401)
        a.verdict = ChunkVerdict::Expired;
    else if (status == 400 && !isFirstChunk)
        a.verdict = ChunkVerdict::Restart;
    else if (isTransient(status))
        a.verdict = ChunkVerdict::Resend;
    else
        a.verdict = ChunkVerdict::Fatal;
    return a;
}

FileVerdict evaluateFileAnswer(long status, const QByteArray &body)
{
    Q_UNUSED(body);
    if (status == 200)
        return FileVerdict::Assembled;
    if (status == 400)
        return FileVerdict::BadBlocks;
    if (isTransient(status))
        return FileVerdict::Retry;
    return FileVerdict::Failed;
}

namespace {

// Slicing-by-8 tables of the reflected IEEE polynomial.
using CrcTables = std::array<std::array<quint32, 256>, 8>;

CrcTables makeTables()
{
    CrcTables t{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        t[0][i] = c;
    }
    for (quint32 i = 0; i < 256; ++i) {
        for (int s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    }
    return t;
}

const CrcTables &tables()
{
    static const CrcTables t = makeTables();
    return t;
}

} // namespace

namespace {

// The register form (no final inversion) over a byte range, table-driven.
quint32 crcTables(quint32 c, const unsigned char *p, qint64 size)
{
    const CrcTables &t = tables();
    while (size > 0 && (reinterpret_cast<quintptr>(p) & 7u) != 0) {
        c = t[0][(c ^ *p++) & 0xFFu] ^ (c >> 8);
        --size;
    }
    while (size >= 8) {
        quint32 lo;
        quint32 hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
        lo = qFromLittleEndian(lo);
        hi = qFromLittleEndian(hi);
#endif
        lo ^= c;
        c = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24]
            ^ t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        c = t[0][(c ^ *p++) & 0xFFu] ^ (c >> 8);
    return c;
}

#if defined(WCS_CRC_CLMUL)
// Carry-less multiplication folding: four 128-bit lanes are folded over
// 64 bytes at a time, then into one lane, then reduced to 32 bits (Barrett).
// The constants are powers of x modulo the reflected IEEE polynomial.
#define WCS_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

WCS_CLMUL_TARGET inline __m128i load128(const unsigned char *q)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
}

// x folded forward by the distance that k stands for, plus the next data.
WCS_CLMUL_TARGET inline __m128i fold128(__m128i x, __m128i k, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

WCS_CLMUL_TARGET quint32 crcClmul(quint32 crc, const unsigned char *p,
                                                          qint64 blocks16)
{
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
    const __m128i poly = _mm_set_epi64x(0x1f7011641LL, 0x1db710641LL);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(int(crc)));
    __m128i x2 = load128(p + 16);
    __m128i x3 = load128(p + 32);
    __m128i x4 = load128(p + 48);
    p += 64;
    blocks16 -= 4;
    while (blocks16 >= 4) {
        x1 = fold128(x1, k1k2, load128(p));
        x2 = fold128(x2, k1k2, load128(p + 16));
        x3 = fold128(x3, k1k2, load128(p + 32));
        x4 = fold128(x4, k1k2, load128(p + 48));
        p += 64;
        blocks16 -= 4;
    }
    x1 = fold128(x1, k3k4, x2);
    x1 = fold128(x1, k3k4, x3);
    x1 = fold128(x1, k3k4, x4);
    while (blocks16 > 0) {
        x1 = fold128(x1, k3k4, load128(p));
        p += 16;
        --blocks16;
    }
    // 128 -> 64 bits (32 zero bits appended).
    __m128i t = _mm_clmulepi64_si128(k3k4, x1, 0x01);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
    // 64 -> 32 bits.
    __m128i x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    // Barrett reduction.
    x2b = x1;
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return quint32(_mm_extract_epi32(x1, 1));
}

bool haveClmul()
{
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

} // namespace

quint32 crc32Update(quint32 crc, const char *data, qint64 size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    quint32 c = crc ^ 0xFFFFFFFFu;
#if defined(WCS_CRC_CLMUL)
    if (size >= 64 && haveClmul()) {
        const qint64 blocks16 = size / 16;
        c = crcClmul(c, p, blocks16);
        p += blocks16 * 16;
        size -= blocks16 * 16;
    }
#endif
    return crcTables(c, p, size) ^ 0xFFFFFFFFu;
}

quint32 crc32Of(const char *data, qint64 size)
{
    return crc32Update(0, data, size);
}

} // namespace wcs
