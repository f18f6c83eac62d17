#include "devservice/wcs/wcsstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>

#include <zlib.h>

#include <cstdio>

namespace devsvc {

namespace {

QString newCtx()
{
    // Shaped like the contexts of public stores: 120 characters of URL-safe
    // Base64 with its "=" padding. The first three bytes always encode as
    // "-_-_", so every context holds all three characters a client must pass
    // through unchanged (percent-encoded in a path); 85 random bytes follow.
    QByteArray raw(88, '\0');
    raw[0] = char(0xfb);
    raw[1] = char(0xff);
    raw[2] = char(0xbf);
    for (int i = 3; i < raw.size(); ++i)
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding));
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

WcsStore::WcsStore(const QString &dataDir, bool digestOnly) : m_dir(dataDir), m_digestOnly(digestOnly)
{
    loadStates();
}

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

QString WcsStore::stateFile(const QString &batch, int index) const
{
    QString path = blockFile(batch, index);
    path.chop(4); // ".blk"
    return path + QStringLiteral(".state.json");
}

void WcsStore::forgetCtxAfter(Block &b, qint64 offset)
{
    for (auto it = b.ctxs.begin(); it != b.ctxs.end();) {
        const auto c = m_ctx.constFind(*it);
        if (c == m_ctx.constEnd() || c->offset > offset) {
            m_ctx.remove(*it);
            it = b.ctxs.erase(it);
        } else {
            ++it;
        }
    }
}

// Written to a temporary file, then renamed over the old state, so a store
// that is killed leaves either state whole. Called after the block's bytes
// are written, so the state never claims more than the file holds.
void WcsStore::saveState(const Block &b) const
{
    QJsonArray ctxs;
    for (const QString &text : b.ctxs) {
        const auto c = m_ctx.constFind(text);
        if (c == m_ctx.constEnd())
            continue;
        QJsonObject o;
        o.insert(QStringLiteral("ctx"), text);
        o.insert(QStringLiteral("offset"), double(c->offset));
        o.insert(QStringLiteral("crc"), double(c->crc));
        ctxs.append(o);
    }
    QJsonObject state;
    state.insert(QStringLiteral("batch"), b.batch);
    state.insert(QStringLiteral("index"), b.index);
    state.insert(QStringLiteral("blockSize"), double(b.blockSize));
    state.insert(QStringLiteral("stored"), double(b.stored));
    state.insert(QStringLiteral("generation"), double(b.generation));
    state.insert(QStringLiteral("ctx"), ctxs);
    const QString target = stateFile(b.batch, b.index);
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString temp = target + QStringLiteral(".tmp");
    QFile out(temp);
    const QByteArray bytes = QJsonDocument(state).toJson(QJsonDocument::Compact);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
    out.close();
    if (!written || std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0)
        QFile::remove(temp); // the block stays usable in this process
}

void WcsStore::removeState(const Block &b) const
{
    QFile::remove(stateFile(b.batch, b.index));
}

void WcsStore::loadStates()
{
    const QString root = m_dir + QStringLiteral("/wcs-blocks");
    QDirIterator it(root, {QStringLiteral("*.state.json")}, QDir::Files, QDirIterator::Subdirectories);
    std::lock_guard<std::mutex> lock(m_mutex);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly) || in.size() > 1024 * 1024)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(in.readAll()).object();
        Block b;
        b.batch = o.value(QStringLiteral("batch")).toString();
        b.index = o.value(QStringLiteral("index")).toInt(-1);
        b.blockSize = qint64(o.value(QStringLiteral("blockSize")).toDouble());
        b.stored = qint64(o.value(QStringLiteral("stored")).toDouble());
        b.generation = quint64(o.value(QStringLiteral("generation")).toDouble());
        if (b.batch.isEmpty() || b.index < 0 || b.blockSize <= 0 || b.blockSize > kWcsBlockSize || b.stored < 0
            || b.stored > b.blockSize || b.generation == 0 || stateFile(b.batch, b.index) != path)
            continue;
        if (!m_digestOnly) {
            b.file = blockFile(b.batch, b.index);
            if (QFileInfo(b.file).size() < b.stored)
                continue; // the bytes are gone: the client sends the block again
        }
        for (const QJsonValue &v : o.value(QStringLiteral("ctx")).toArray()) {
            const QJsonObject c = v.toObject();
            const QString text = c.value(QStringLiteral("ctx")).toString();
            const qint64 offset = qint64(c.value(QStringLiteral("offset")).toDouble());
            if (text.isEmpty() || offset <= 0 || offset > b.stored)
                continue;
            m_ctx.insert(text, Ctx{b.batch, b.index, b.generation, offset,
                                   quint32(c.value(QStringLiteral("crc")).toDouble())});
            b.ctxs.append(text);
        }
        m_nextGeneration = std::max(m_nextGeneration, b.generation + 1);
        m_blocks.insert(BlockKey(b.batch, b.index), b);
    }
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
    if (chunk.isEmpty() || chunk.size() > blockSize)
        return error(400, QStringLiteral("chunk size is invalid."));
    const BlockKey key(batch, blockIndex);
    quint64 generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Block &b = m_blocks[key];
        if (b.busy)
            return error(400, QStringLiteral("block is being written."));
        // A new mkblk starts the block again; older ctx values of it lapse.
        for (const QString &old : qAsConst(b.ctxs))
            m_ctx.remove(old);
        b.ctxs.clear();
        if (b.generation != 0)
            removeState(b);
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
        if (chunk.isEmpty() || offset + chunk.size() > b->blockSize)
            return error(400, QStringLiteral("chunk size is invalid."));
        if (b->busy)
            return error(400, QStringLiteral("block is being written."));
        b->busy = true;
        if (offset < b->stored) {
            // Sent again from an earlier ctx: what followed it goes now.
            forgetCtxAfter(*b, offset);
            b->stored = offset;
            saveState(*b);
        }
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
    b->ctxs.append(ctxText);
    saveState(*b);

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
        for (int i = 0; i < ctxList.size(); ++i) {
            const auto b = m_blocks.constFind(BlockKey(batch, i));
            if (b != m_blocks.constEnd())
                removeState(*b);
            m_blocks.remove(BlockKey(batch, i));
        }
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
    QDir().rmdir(QFileInfo(blockFile(batch, 0)).absolutePath()); // when nothing else is left in it
    a.ok = true;
    a.status = 200;
    return a;
}

} // namespace devsvc
