#pragma once

// The WCS block store: blocks of up to 4 MiB arrive as one or more chunks
// (mkblk starts a block, bput continues it; a chunk may be the whole
// block), each answered with a fresh ctx; mkfile joins the last ctx of
// every block into the object. A ctx belongs to its upload batch and stays
// valid for the life of the batch in this store, so a client that restarts
// can go on with the ctx values it saved. The state of every block (its
// size, what is stored and its valid ctx values) is kept on disk next to
// its bytes, so the ctx values also outlive a restart of the store itself.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <mutex>

namespace httplib {
class Server;
}

namespace devsvc {

class ServiceCore;

constexpr qint64 kWcsBlockSize = 4 * 1024 * 1024;

struct WcsChunkResult
{
    int status = 200;
    QByteArray body; // JSON answer
};

class WcsStore final
{
public:
    WcsStore(const QString &dataDir, bool digestOnly);

    // A chunk that has arrived in full (at most one block, held by the caller).
    WcsChunkResult makeBlock(const QString &batch, qint64 fileSize, qint64 blockSize, int blockIndex,
                             const QByteArray &chunk);
    WcsChunkResult putChunk(const QString &batch, const QString &ctx, qint64 offset,
                            const QByteArray &chunk);

    struct Assembly
    {
        bool ok = false;
        int status = 400;
        QString message;
        qint64 size = 0;
        QString hash;
        QByteArray md5; // of the object, when its bytes are kept
    };
    // Joins the blocks named by ctxList (block order) into objectKey.
    Assembly makeFile(const QString &batch, qint64 fileSize, const QStringList &ctxList,
                      const QString &objectKey);

    // Stored object file of a key (empty when bytes are not kept).
    QString objectPath(const QString &key) const;
    int blockCount() const;

private:
    struct Block
    {
        QString batch;
        int index = 0;
        qint64 blockSize = 0;
        qint64 stored = 0;
        quint64 generation = 0;
        bool busy = false;
        QString file;
        QStringList ctxs; // the valid ctx values of this generation
    };
    struct Ctx
    {
        QString batch;
        int index = 0;
        quint64 generation = 0;
        qint64 offset = 0;
        quint32 crc = 0; // CRC-32 of the block's first `offset` bytes
    };
    using BlockKey = QPair<QString, int>;

    WcsChunkResult appendChunk(const BlockKey &key, quint64 generation, qint64 offset, quint32 crcBefore,
                               const QByteArray &chunk);
    QString blockFile(const QString &batch, int index) const;
    QString stateFile(const QString &batch, int index) const;
    static WcsChunkResult error(int status, const QString &message);
    // Called with m_mutex held.
    void forgetCtxAfter(Block &b, qint64 offset); // drops ctx values beyond offset
    void saveState(const Block &b) const;
    void removeState(const Block &b) const;
    void loadStates();

    mutable std::mutex m_mutex;
    QString m_dir;
    bool m_digestOnly;
    QMap<BlockKey, Block> m_blocks;
    QHash<QString, Ctx> m_ctx;
    quint64 m_nextGeneration = 1;
};

void registerWcsRoutes(httplib::Server &server, ServiceCore &core);

} // namespace devsvc
