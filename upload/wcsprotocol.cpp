#include "upload/wcsprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

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
    return (normalisedHost(host) + QStringLiteral("/bput/%1/%2").arg(ctx).arg(offset)).toUtf8();
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

// A ctx travels in a path segment: letters and digits only.
bool isUsableCtx(const QString &ctx)
{
    if (ctx.isEmpty() || ctx.size() > 64)
        return false;
    return std::all_of(ctx.cbegin(), ctx.cend(), [](QChar c) {
        return c.unicode() < 128 && c.isLetterOrNumber();
    });
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
        if (quint32(qint64(crc.toDouble())) != chunkCrc || qint64(offset.toDouble()) != expectedOffset) {
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

quint32 crc32Of(const char *data, qint64 size)
{
    const CrcTables &t = tables();
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    quint32 c = 0xFFFFFFFFu;
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
    return c ^ 0xFFFFFFFFu;
}

} // namespace wcs
