// uploadInfo.json: the queue's record file, restored at the next start.
#include "fuzz/fuzzcheck.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace {

// Restores what the records name: a task is only restored when its file
// exists, so the run happens in a folder that holds "video.mp4".
QTemporaryDir *g_folder = nullptr;

void checkTasks(const QJsonDocument &document)
{
    if (!document.isArray())
        return;
    for (int channel : {int(OssChannel), int(WcsChannel)}) {
        uploadrecord::RestoreContext context;
        context.channel = channel;
        context.ptime = 1511830502000;
        context.today = QDate(2017, 11, 28);
        for (const QJsonValue &value : document.array()) {
            const uploadrecord::RestoredTask first = uploadrecord::restoreTask(value.toObject(), context);
            if (!first.fileExists)
                continue;
            // What the record keeper writes for a restored task is restored
            // to the same task: a restart loses nothing of it.
            const QJsonObject written = uploadrecord::recordObject(
                first.task, channel, uploadrecord::blockStrings(first.task.blocks));
            const uploadrecord::RestoredTask again = uploadrecord::restoreTask(written, context);
            FUZZ_CHECK(again.fileExists);
            FUZZ_CHECK(again.task.blocks.size() == first.task.blocks.size());
            const QJsonObject rewritten = uploadrecord::recordObject(
                again.task, channel, uploadrecord::blockStrings(again.task.blocks));
            FUZZ_CHECK(rewritten == written);
        }
    }
}

void checkFile(const QByteArray &content)
{
    const userdata::ReadResult read = userdata::decode(content);
    if (!read.ok)
        return;
    // What the writer writes, the reader reads back identically. (Not the
    // input itself: Qt's reader keeps integers beyond 2^53 exactly, its
    // writer writes them as doubles.)
    const QByteArray written = userdata::encode(read.document);
    const userdata::ReadResult reread = userdata::decode(written);
    FUZZ_CHECK(reread.ok);
    FUZZ_CHECK(userdata::encode(reread.document) == written);
    checkTasks(read.document);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietQt();
    g_folder = new QTemporaryDir;
    QDir::setCurrent(g_folder->path());
    QFile video(QStringLiteral("video.mp4"));
    if (video.open(QIODevice::WriteOnly))
        video.write(QByteArray(5000, 'v'));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    // The file as stored, and the input as the JSON text inside it.
    checkFile(input);
    checkFile(input.toBase64());
    return 0;
}
