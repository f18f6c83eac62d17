#include "devservice/wcs/wcsstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>

#include <zlib.h>

namespace devsvc {

namespace {

QString newCtx()
{
    // 32 hex digits; never contains "/" so it fits in a path segment.
    QByteArray raw(16, '\0');
    for (int i = 0; i < raw.size(); ++i)
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

quint32 crcOf(quint32 start, const QByteArray &bytes)
{
    return quint32(crc32(uLong(start), reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size())));
}

QString safeSegment(const QString &segment)
{
    QString out;
    for (const QChar c : segment)
        out += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('.') || c == QLatin1Char('-')
                       || c == QLatin1Char('_')
                   ? c
                   : QLatin1Char('_');
    if (out.isEmpty() || out == QLatin1String(".") || out == QLatin1String(".."))
        out = QStringLiteral("_");
    return out;
}

} // namespace

WcsStore::WcsStore(const QString &dataDir, bool digestOnly) : m_dir(dataDir), m_digestOnly(digestOnly) {}

WcsChunkResult WcsStore::error(int status, const QString &message)
{
    QJsonObject o;
    o.insert(QStringLiteral("code"), status);
    o.insert(QStringLiteral("message"), message);
    return WcsChunkResult{status, QJsonDocument(o).toJson(QJsonDocument::Compact)};
}

QString WcsStore::blockFile(const QString &batch, int index) const
{
    const QString folder = QString::fromLatin1(
        QCryptographicHash::hash(batch.toUtf8(), QCryptographicHash::Sha1).toHex());
    return m_dir + QStringLiteral("/wcs-blocks/") + folder + QStringLiteral("/%1.blk").arg(index);
}

QString WcsStore::objectPath(const QString &key) const
{
    if (m_digestOnly)
        return QString();
    QStringList parts;
    for (const QString &s : key.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts.append(safeSegment(s));
    return m_dir + QStringLiteral("/wcs-objects/") + parts.join(QLatin1Char('/'));
}

int WcsStore::blockCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

WcsChunkResult WcsStore::makeBlock(const QString &batch, qint64 fileSize, qint64 blockSize, int blockIndex,
                                   const QByteArray &chunk)
{
    if (blockIndex < 0 || qint64(blockIndex) * kWcsBlockSize >= fileSize)
        return error(400, QStringLiteral("block index out of range."));
    const qint64 expected = std::min(kWcsBlockSize, fileSize - qint64(blockIndex) * kWcsBlockSize);
    if (blockSize != expected)
        return error(400, QStringLiteral("block size mismatch."));
    if (chunk.isEmpty() || chunk.size() > kWcsChunkMax || chunk.size() > blockSize)
        return error(400, QStringLiteral("chunk size is invalid."));
    const BlockKey key(batch, blockIndex);
    quint64 generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Block &b = m_blocks[key];
        if (b.busy)
            return error(400, QStringLiteral("block is being written."));
        // A new mkblk starts the block again; older ctx values of it lapse.
        b.batch = batch;
        b.index = blockIndex;
        b.blockSize = blockSize;
        b.stored = 0;
        b.generation = m_nextGeneration++;
        b.busy = true;
        b.file = m_digestOnly ? QString() : blockFile(batch, blockIndex);
        generation = b.generation;
    }
    return appendChunk(key, generation, 0, 0, chunk);
}

WcsChunkResult WcsStore::putChunk(const QString &batch, const QString &ctxText, qint64 offset,
                                  const QByteArray &chunk)
{
    BlockKey key;
    Ctx ctx;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_ctx.constFind(ctxText);
        if (it == m_ctx.constEnd() || it->batch != batch)
            return error(400, QStringLiteral("ctx is invalid."));
        ctx = *it;
        key = BlockKey(batch, ctx.index);
        auto b = m_blocks.find(key);
        if (b == m_blocks.end() || b->generation != ctx.generation || ctx.offset > b->stored)
            return error(400, QStringLiteral("ctx is invalid."));
        if (offset != ctx.offset)
            return error(400, QStringLiteral("offset mismatch."));
        if (chunk.isEmpty() || chunk.size() > kWcsChunkMax || offset + chunk.size() > b->blockSize)
            return error(400, QStringLiteral("chunk size is invalid."));
        if (b->busy)
            return error(400, QStringLiteral("block is being written."));
        b->busy = true;
    }
    return appendChunk(key, ctx.generation, offset, ctx.crc, chunk);
}

WcsChunkResult WcsStore::appendChunk(const BlockKey &key, quint64 generation, qint64 offset,
                                     quint32 crcBefore, const QByteArray &chunk)
{
    const quint32 chunkCrc = crcOf(0, chunk);
    const quint32 blockCrc = quint32(crc32_combine(crcBefore, chunkCrc, z_off_t(chunk.size())));
    QString file;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        file = m_blocks.value(key).file;
    }
    bool written = true;
    if (!file.isEmpty()) {
        // A chunk sent again from an earlier ctx drops what followed it.
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        written = f.open(QIODevice::ReadWrite) && f.resize(offset) && f.seek(offset)
                  && f.write(chunk) == chunk.size() && f.flush();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto b = m_blocks.find(key);
    if (b == m_blocks.end())
        return error(400, QStringLiteral("ctx is invalid."));
    b->busy = false;
    if (!written)
        return error(500, QStringLiteral("store write failed."));
    if (b->generation != generation)
        return error(400, QStringLiteral("ctx is invalid."));
    b->stored = offset + chunk.size();
    const QString ctxText = newCtx();
    m_ctx.insert(ctxText, Ctx{key.first, key.second, generation, b->stored, blockCrc});

    QJsonObject o;
    o.insert(QStringLiteral("ctx"), ctxText);
    o.insert(QStringLiteral("checksum"), QStringLiteral("%1").arg(blockCrc, 8, 16, QLatin1Char('0')));
    o.insert(QStringLiteral("crc32"), double(chunkCrc));
    o.insert(QStringLiteral("offset"), double(b->stored));
    return WcsChunkResult{200, QJsonDocument(o).toJson(QJsonDocument::Compact)};
}

WcsStore::Assembly WcsStore::makeFile(const QString &batch, qint64 fileSize, const QStringList &ctxList,
                                      const QString &objectKey)
{
    Assembly a;
    const qint64 blocks = (fileSize + kWcsBlockSize - 1) / kWcsBlockSize;
    if (fileSize < 0 || qint64(ctxList.size()) != blocks) {
        a.message = QStringLiteral("block count mismatch.");
        return a;
    }
    QStringList files;
    quint32 crc = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int i = 0; i < ctxList.size(); ++i) {
            const auto c = m_ctx.constFind(ctxList.at(i).trimmed());
            if (c == m_ctx.constEnd() || c->batch != batch || c->index != i) {
                a.message = QStringLiteral("ctx of block %1 is invalid.").arg(i);
                return a;
            }
            const auto b = m_blocks.constFind(BlockKey(batch, i));
            const qint64 expected = std::min(kWcsBlockSize, fileSize - qint64(i) * kWcsBlockSize);
            if (b == m_blocks.constEnd() || b->generation != c->generation || b->busy
                || c->offset != b->blockSize || b->stored != b->blockSize || b->blockSize != expected) {
                a.message = QStringLiteral("block %1 is incomplete.").arg(i);
                return a;
            }
            crc = quint32(crc32_combine(crc, c->crc, z_off_t(b->blockSize)));
            files.append(b->file);
        }
    }
    a.size = fileSize;
    if (!m_digestOnly) {
        // Join the block files into the object, checking each block's size.
        const QString target = objectPath(objectKey);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QSaveFile out(target);
        QCryptographicHash md5(QCryptographicHash::Md5);
        if (!out.open(QIODevice::WriteOnly)) {
            a.status = 500;
            a.message = QStringLiteral("store write failed.");
            return a;
        }
        for (int i = 0; i < files.size(); ++i) {
            QFile in(files.at(i));
            const qint64 expected = std::min(kWcsBlockSize, fileSize - qint64(i) * kWcsBlockSize);
            if (!in.open(QIODevice::ReadOnly) || in.size() != expected) {
                out.cancelWriting();
                a.status = 500;
                a.message = QStringLiteral("block %1 is lost.").arg(i);
                return a;
            }
            const QByteArray bytes = in.readAll();
            md5.addData(bytes);
            out.write(bytes);
        }
        if (!out.commit()) {
            a.status = 500;
            a.message = QStringLiteral("store write failed.");
            return a;
        }
        a.md5 = md5.result().toHex();
        a.hash = QString::fromLatin1(a.md5);
    } else {
        a.hash = QStringLiteral("crc32-%1").arg(crc, 8, 16, QLatin1Char('0'));
    }
    {
        // The batch is done: forget its blocks.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int i = 0; i < ctxList.size(); ++i)
            m_blocks.remove(BlockKey(batch, i));
        for (auto it = m_ctx.begin(); it != m_ctx.end();) {
            if (it->batch == batch && it->index < ctxList.size())
                it = m_ctx.erase(it);
            else
                ++it;
        }
    }
    for (const QString &f : files)
        if (!f.isEmpty())
            QFile::remove(f);
    a.ok = true;
    a.status = 200;
    return a;
}

} // namespace devsvc
