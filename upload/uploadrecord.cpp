#include "upload/uploadrecord.h"

#include "net/api.h"
#include "net/closingflag.h"
#include "upload/uploadinit.h"
#include "upload/uploadqueue.h"
#include "upload/userdatafile.h"
#include "upload/uploadwidget.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVector>

#include <cmath>
#include <limits>

namespace uploadrecord {

QString damagedCopyPath(const QString &path, const QDateTime &when)
{
    return path + QStringLiteral(".damaged-") + when.toString(QStringLiteral("yyyyMMdd-hhmmss"));
}

BlockStrings blockStrings(const QMap<qint64, UploadBlock> &blocks)
{
    BlockStrings strings;
    for (auto it = blocks.constBegin(); it != blocks.constEnd(); ++it) {
        if (it.value().status != 2)
            continue;
        strings.ctxStr += it.value().ctx + QLatin1Char(',');
        strings.indexStr += QString::number(it.key()) + QLatin1Char(',');
    }
    return strings;
}

namespace {

// The pieces of text that end before a ",", in order (a trailing piece
// without "," does not count).
QVector<QStringRef> terminatedPieces(const QString &text)
{
    QVector<QStringRef> pieces;
    int start = 0;
    for (int comma = text.indexOf(QLatin1Char(',')); comma >= 0;
         comma = text.indexOf(QLatin1Char(','), start)) {
        pieces.append(text.midRef(start, comma - start));
        start = comma + 1;
    }
    return pieces;
}

qint64 truncatedSize(const QJsonValue &value)
{
    const double d = value.toDouble();
    if (!std::isfinite(d) || d <= 0)
        return 0;
    if (d >= double(std::numeric_limits<qint64>::max()))
        return std::numeric_limits<qint64>::max();
    return qint64(d);
}

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

QMap<qint64, UploadBlock> blocksFromStrings(const QString &ctxStr, const QString &indexStr)
{
    QMap<qint64, UploadBlock> blocks;
    const QVector<QStringRef> indexes = terminatedPieces(indexStr);
    const QVector<QStringRef> contexts = terminatedPieces(ctxStr);
    for (int i = 0; i < indexes.size(); ++i) {
        bool ok = false;
        const qint64 index = indexes.at(i).toLongLong(&ok);
        if (!ok || index < 0 || i >= contexts.size() || contexts.at(i).isEmpty())
            continue;
        UploadBlock block;
        block.status = 2;
        block.ctx = contexts.at(i).toString();
        blocks.insert(index, block);
    }
    return blocks;
}

QJsonObject recordObject(const UploadTask &task, int accountChannel, const BlockStrings &blocks)
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), task.path);
    object.insert(QStringLiteral("vid"), task.vid);
    object.insert(QStringLiteral("cataid"), task.cataid);
    object.insert(QStringLiteral("cataStr"), task.cataStr);
    object.insert(QStringLiteral("insertUrl"), task.insertUrl);
    object.insert(QStringLiteral("deleteUrl"), task.deleteUrl);
    object.insert(QStringLiteral("checkUrl"), task.checkUrl);
    object.insert(QStringLiteral("everUploaded"), task.everUploaded);
    object.insert(QStringLiteral("uploadType"), task.uploadType);
    object.insert(QStringLiteral("alreadyUploadSize"), double(task.alreadyUploadSize));
    if (accountChannel == WcsChannel) {
        object.insert(QStringLiteral("uuid"), task.uuid);
        object.insert(QStringLiteral("fileid"), task.fileid);
        object.insert(QStringLiteral("dateStr"), task.dateStr);
        object.insert(QStringLiteral("ctxStr"), blocks.ctxStr);
        object.insert(QStringLiteral("indexStr"), blocks.indexStr);
    } else {
        object.insert(QStringLiteral("date"), task.date);
    }
    return object;
}

RestoredTask restoreTask(const QJsonObject &object, const RestoreContext &context)
{
    RestoredTask restored;
    const QString path = text(object, "path");
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile())
        return restored;
    restored.fileExists = true;

    UploadTask &task = restored.task;
    task.path = path;
    task.vid = text(object, "vid");
    task.cataid = text(object, "cataid");
    task.cataStr = text(object, "cataStr");
    task.insertUrl = text(object, "insertUrl");
    task.deleteUrl = text(object, "deleteUrl");
    task.checkUrl = text(object, "checkUrl");
    task.everUploaded = object.value(QStringLiteral("everUploaded")).toBool(false);
    task.uploadType = object.value(QStringLiteral("uploadType")).toInt(0);
    task.fileName = info.fileName();
    task.fileSize = info.size();
    task.title = titleOfFileName(task.fileName);

    if (context.channel == WcsChannel) {
        if (task.uploadType != OssChannel) {
            task.alreadyUploadSize = truncatedSize(object.value(QStringLiteral("alreadyUploadSize")));
            task.ctxStr = text(object, "ctxStr");
            task.indexStr = text(object, "indexStr");
            task.uuid = text(object, "uuid");
            task.fileid = text(object, "fileid");
            task.dateStr = text(object, "dateStr");
            task.blocks = blocksFromStrings(task.ctxStr, task.indexStr);
        } else {
            // An OSS task that now goes to WCS starts over as a new WCS task.
            task.uuid = makeUuid(task.fileName, context.ptime);
            task.alreadyUploadSize = 0;
        }
        task.uploadType = WcsChannel;
    } else {
        if (task.uploadType == WcsChannel) {
            task.date = context.today.toString(QStringLiteral("yyyyMMdd"));
            task.alreadyUploadSize = 0;
        } else {
            task.alreadyUploadSize = truncatedSize(object.value(QStringLiteral("alreadyUploadSize")));
            task.date = text(object, "date");
        }
        task.uploadType = OssChannel;
    }
    return restored;
}

} // namespace uploadrecord

// ---- UploadRecordKeeper --------------------------------------------------------

UploadRecordKeeper::UploadRecordKeeper(UploadQueue *queue, QString path, QObject *parent)
    : QObject(parent), m_queue(queue), m_path(std::move(path))
{
    m_snapshotTimer = new QTimer(this);
    m_snapshotTimer->setInterval(kSnapshotIntervalMs);
    connect(m_snapshotTimer, &QTimer::timeout, this, [this]() {
        if (isClosing()) {
            m_snapshotTimer->stop();
            return;
        }
        writeSnapshot();
    });
    if (m_queue) {
        // Rows after a teardown (e.g. a cancelled shutdown's later uploads)
        // are kept safe again.
        connect(m_queue, &UploadQueue::rowCountChanged, this, [this](int rows) {
            if (m_loaded && rows > 0 && !m_snapshotTimer->isActive() && !isClosing())
                startSnapshots();
        });
    }
}

UploadRecordKeeper::~UploadRecordKeeper() = default;

void UploadRecordKeeper::setHeaderRow(UploadWidget *header)
{
    m_header = header;
}

void UploadRecordKeeper::setSnapshotInterval(int ms)
{
    m_snapshotTimer->setInterval(ms);
}

bool UploadRecordKeeper::isSnapshotting() const
{
    return m_snapshotTimer->isActive();
}

void UploadRecordKeeper::startSnapshots()
{
    m_snapshotTimer->start();
}

QJsonArray UploadRecordKeeper::currentDocument() const
{
    QJsonArray array;
    if (!m_queue)
        return array;
    const int channel = m_queue->channel();
    for (int i = 0; i < m_queue->rowCount(); ++i) {
        const UploadWidget *row = m_queue->row(i);
        if (!row || !row->task())
            continue;
        const UploadTask &task = *row->task();
        array.append(uploadrecord::recordObject(task, channel,
                                                uploadrecord::blockStrings(task.blocks)));
    }
    for (const UploadTask &task : m_queue->overflowSnapshot())
        array.append(uploadrecord::recordObject(task, channel, {task.ctxStr, task.indexStr}));
    return array;
}

bool UploadRecordKeeper::writeDocument(const QJsonArray &array)
{
    if (m_keepDamaged) {
        qWarning() << "upload record not written, the damaged one stays:" << m_path;
        return false;
    }
    const QJsonDocument document(array);
    const QByteArray encoded = userdata::encode(document);
    if (m_haveWritten && encoded == m_lastWritten)
        return true;
    // Written atomically: a failed write (full disk, read-only folder)
    // leaves the previous file as it was.
    if (!userdata::writeFile(m_path, document)) {
        qWarning() << "upload record not written:" << m_path;
        return false;
    }
    m_lastWritten = encoded;
    m_haveWritten = true;
    ++m_writes;
    return true;
}

bool UploadRecordKeeper::writeSnapshot()
{
    if (!m_queue || !m_loaded || m_queue->isLoading() || m_path.isEmpty())
        return false;
    return writeDocument(currentDocument());
}

bool UploadRecordKeeper::saveUploadData()
{
    m_snapshotTimer->stop();
    if (!m_queue || m_path.isEmpty())
        return false;
    const int channel = m_queue->channel();
    QJsonArray array;
    for (int i = 0; i < m_queue->rowCount(); ++i) {
        UploadWidget *row = m_queue->row(i);
        if (!row || !row->task())
            continue;
        row->stopUpload(false);
        UploadTask &task = *row->task();
        if (channel == WcsChannel) {
            const uploadrecord::BlockStrings strings = uploadrecord::blockStrings(task.blocks);
            task.ctxStr = strings.ctxStr;
            task.indexStr = strings.indexStr;
        }
        array.append(uploadrecord::recordObject(task, channel, {task.ctxStr, task.indexStr}));
    }
    for (const UploadTask &task : m_queue->overflowSnapshot())
        array.append(uploadrecord::recordObject(task, channel, {task.ctxStr, task.indexStr}));
    // The orderly write always reaches the disk, also when a snapshot
    // with the same content was written before.
    m_haveWritten = false;
    return writeDocument(array);
}

bool UploadRecordKeeper::moveDamagedAside()
{
    const QFileInfo info(m_path);
    // Nothing there, or nothing in it: there is nothing to keep.
    if (m_path.isEmpty() || !info.exists() || (info.isFile() && info.size() == 0))
        return true;
    const QString aside = uploadrecord::damagedCopyPath(m_path, QDateTime::currentDateTime());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target =
            attempt == 0 ? aside : aside + QLatin1Char('-') + QString::number(attempt);
        if (QFileInfo::exists(target))
            continue;
        if (QFile::rename(m_path, target)) {
            qWarning() << "upload record cannot be read, moved aside to" << target;
            return true;
        }
        break;
    }
    qWarning() << "upload record cannot be read and cannot be moved aside; it is kept as it is:"
               << m_path;
    return false;
}

UploadRecordKeeper::LoadResult UploadRecordKeeper::loadUploadData(bool autoStart, QTimer *statusTimer)
{
    LoadResult result;
    if (!m_queue)
        return result;
    UploadQueue *queue = m_queue.data();
    queue->resetStatusLine();
    queue->setCurrentLinks(0);

    const userdata::ReadResult read = userdata::readFile(m_path);
    const bool readable = read.ok && read.document.isArray();
    if (!readable)
        m_keepDamaged = !moveDamagedAside();
    const QJsonArray array = readable ? read.document.array() : QJsonArray();
    if (array.isEmpty()) {
        queue->hideQueueWidgets();
    } else {
        queue->showLoading(true);
        queue->setLoading(true);
        uploadrecord::RestoreContext context;
        context.channel = queue->channel();
        context.ptime = currentPtime();
        context.today = QDate::currentDate();
        result.objects = array.size();
        for (const QJsonValue &value : array) {
            uploadrecord::RestoredTask restored = uploadrecord::restoreTask(value.toObject(), context);
            if (!restored.fileExists) {
                qDebug() << "loadUploadData file not exist!!!";
                ++result.skipped;
                continue;
            }
            queue->registerVid(restored.task.vid);
            queue->appendTask(new UploadTask(std::move(restored.task)));
            ++result.restored;
        }

        if (autoStart && queue->currentLinks() < queue->limit()) {
            qDebug() << "loadUploadData  currentLinks:" << queue->currentLinks();
            queue->setQueueRunning(true);
            queue->autoStartNextUpload();
        }
        queue->showStatusCounts(0, result.objects);
        queue->showLoading(false);
        queue->setLoading(false);
        QListWidget *list = queue->listWidget();
        if (m_header && list && list->verticalScrollBar()->isVisible())
            m_header->deleteButton()->setMaximumWidth(100);
    }
    queue->startStatusTimer(statusTimer);

    // The file on disk is what was just restored; from now on it follows the queue.
    m_loaded = true;
    if (!isClosing())
        startSnapshots();
    return result;
}
