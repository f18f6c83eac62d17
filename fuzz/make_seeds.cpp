// Writes the seed files of the state-file and checkpoint fuzz targets with the
// project's own writers: make_seeds <corpus folder>. The answers of the
// service and the store are kept as the emulator sends them.
#include "account/rememberedusers.h"
#include "oss/UploadCheckpoint.h"
#include "prefs/historyrecord.h"
#include "prefs/settingsrecord.h"
#include "upload/nettestrecord.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <cstdio>

namespace {

QString g_root;

bool put(const QString &target, const QString &name, const QByteArray &content)
{
    QDir().mkpath(g_root + QLatin1Char('/') + target);
    QFile file(g_root + QLatin1Char('/') + target + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The stored file, and the JSON text inside it.
bool putState(const QString &target, const QString &name, const QJsonDocument &document)
{
    return put(target, name + QStringLiteral(".b64"), userdata::encode(document))
           && put(target, name + QStringLiteral(".json"), document.toJson(QJsonDocument::Indented));
}

UploadTask sampleTask(int channel)
{
    UploadTask task;
    task.uploadType = channel;
    task.path = QStringLiteral("video.mp4");
    task.vid = QStringLiteral("3b5f0c1e2a_3");
    task.cataid = QStringLiteral("1");
    task.cataStr = QStringLiteral("默认分类");
    task.insertUrl = QStringLiteral("http://127.0.0.1:1/uc/services/rest?method=insert");
    task.deleteUrl = QStringLiteral("http://127.0.0.1:1/uc/services/rest?method=cancel");
    task.checkUrl = QStringLiteral("http://127.0.0.1:1/uc/services/rest?method=check");
    task.everUploaded = true;
    task.alreadyUploadSize = 4194304;
    task.uuid = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b");
    task.fileid = QStringLiteral("f1");
    task.dateStr = QStringLiteral("20171128");
    task.date = QStringLiteral("20171128");
    task.blocks.insert(0, UploadBlock{2, QStringLiteral("ctx-a")});
    task.blocks.insert(2, UploadBlock{2, QStringLiteral("ctx-c")});
    return task;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    for (int channel : {int(OssChannel), int(WcsChannel)}) {
        const UploadTask task = sampleTask(channel);
        const QJsonArray array{
            uploadrecord::recordObject(task, channel, uploadrecord::blockStrings(task.blocks))};
        ok &= putState(QStringLiteral("uploadinfo"), QStringLiteral("channel%1").arg(channel),
                       QJsonDocument(array));
    }

    HistoryEntry entry;
    entry.path = QStringLiteral("/home/demo/videos/clip one.mp4");
    entry.filename = QStringLiteral("clip one.mp4");
    entry.fileSize = QStringLiteral("12.35M");
    entry.finishTime = QStringLiteral("2017-11-28 09:15:02");
    entry.status = QStringLiteral("已完成");
    entry.vid = QStringLiteral("3b5f0c1e2a_3");
    entry.cataid = QStringLiteral("1");
    entry.cataname = QStringLiteral("默认分类");
    HistoryEntry second = entry;
    second.status = QStringLiteral("已秒传");
    ok &=
        putState(QStringLiteral("historyinfo"), QStringLiteral("two"), history::toDocument({entry, second}));

    SettingsRecord settings;
    settings.parallelTask = 4;
    settings.luping = true;
    ok &= putState(QStringLiteral("settingsinfo"), QStringLiteral("changed"), settingsToDocument(settings));
    ok &= putState(QStringLiteral("settingsinfo"), QStringLiteral("defaults"),
                   settingsToDocument(SettingsRecord()));

    ok &= putState(QStringLiteral("netparamsinfo"), QStringLiteral("measured"),
                   nettest::toDocument(nettest::recordFromResult(0, true, 1250000, 0)));

    RememberedUser user;
    user.usrName = QStringLiteral("demo@example.com");
    user.usrPwd = QStringLiteral("zavix123");
    user.isRemberPwd = true;
    RememberedUser other;
    other.usrName = QStringLiteral("second@example.com");
    const QString users = rememberUser(rememberUser(QString(), other), user);
    ok &= put(QStringLiteral("rememberedusers"), QStringLiteral("two.json"), users.toUtf8());
    ok &= put(QStringLiteral("rememberedusers"), QStringLiteral("two.dat"), usersfile::encode(users));

    AlibabaCloud::OSS::detail::UploadCheckpoint cp;
    cp.bucket = "zavix-videos";
    cp.key = "20171128/3b5f0c1e2a_3.mp4";
    cp.uploadId = "0004B9894A22E5B1888A1E29F823XXXX";
    cp.fileSize = 25165824;
    cp.fileModified = 1511830502123456789;
    cp.partSize = 10485760;
    cp.parts.push_back({1, 10485760, "\"5EB63BBBE01EEED093CB22BB8F5ACDC3\""});
    cp.parts.push_back({2, 10485760, "\"7215EE9C7D9DC229D2921A40E899EC5F\""});
    ok &= put(QStringLiteral("checkpoint"), QStringLiteral("two-parts.ucp"),
              QByteArray::fromStdString(cp.serialize()));

    return ok ? 0 : 1;
}
