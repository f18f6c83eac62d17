#pragma once

#include "upload/uploadchannel.h"
#include "upload/uploadtask.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace AlibabaCloud {
namespace OSS {
class OssClient;
}
} // namespace AlibabaCloud

// How one file is cut for the store's multipart upload.
struct OssPartPlan
{
    std::uint64_t partSize = 0;
    std::uint32_t threadNum = 1;
};

// Part size and number of part threads for a file of fileSize bytes:
//   up to 1 MiB                one part of the whole file, 1 thread
//   up to 100 MiB              1 MiB parts, 2 threads
//   up to 1024 MiB             (MiB / 100) MiB parts, 3 threads
//   above                      (MiB / 1024) * 10 MiB parts, 3 threads
// where MiB is the size in whole mebibytes.
OssPartPlan ossPartPlan(qint64 fileSize);

// The text after the last dot of the file name, case kept ("" without a dot).
QString ossFileSuffix(const QString &fileName);

// "uploadvideo/<date>/<vid>.<suffix>" of the task.
QString ossObjectKey(const UploadTask &task);

// The standard Base64 (RFC 4648 alphabet, "=" padding) of the UTF-8 text.
QByteArray ossCallbackHeaderValue(const QString &callback);

// The store coordinates of an init answer are data from the service: the
// endpoint must be an http or https address (a bare host is taken as http,
// as the client does), the bucket a plain bucket name, and the id and token
// must make clean header values. Empty when they can be used, otherwise what
// is wrong (for the log; no values in it).
QString ossAccessProblem(const QString &endpoint, const QString &bucketName, const QString &accessId,
                         const QString &token);

// One start of one OSS upload: check and insert on the account-web host, the
// OSS init on the API host, then the resumable multipart upload of the file.
// Works on its own copy of the task record. Reports Progress while the parts
// go out and ends with one Result(status, code) (codes of OssChannelThread);
// a space warning Result(false, 5) may come before it.
//
// abort() may come at any time from the GUI thread. Before the transfer has
// begun it marks the thread and ends its running check, insert or init
// request within about a second (also on a silent server); the thread then
// ends with Result(false, 11) when requeued, else Result(false, 6), without
// starting the transfer. During the transfer it disables the client, which makes the
// running part requests end at their next progress tick; the checkpoint file
// stays for the next start.
class AliyunUploadThread final : public OssChannelThread
{
    Q_OBJECT
    Q_DISABLE_COPY(AliyunUploadThread)

public:
    explicit AliyunUploadThread(const UploadTask &task, QObject *parent = nullptr);
    ~AliyunUploadThread() override;

    void abort(bool requeue) override;

    // The client's progress handler; userData is the thread.
    static void progressHandler(std::size_t increment, std::int64_t transferred,
                                std::int64_t total, void *userData);

protected:
    void run() override;

private:
    enum State : int
    {
        Aborted = 1,
        Created = 2,
    };

    bool isAborted() const { return m_state.load() == Aborted; }
    int abortCode() const { return m_requeue.load() ? 11 : 6; }
    // What the OSS init answer hands over for the transfer.
    struct StoreAccess
    {
        bool proceed = false; // false: the start has ended (Result emitted)
        QString callback;
        QString bucketName;
        QString endpoint;
        QString accessId;
        QString accessKey;
        QString token; // read, not used (the init asks for isSts=N)
    };

    // Check, insert and init on one libcurl handle, and the evaluation of
    // the init answer.
    StoreAccess registerAndInit();
    void transfer(const StoreAccess &access);
    void emitProgress(std::size_t increment, std::int64_t transferred, std::int64_t total);

    std::atomic<int> m_state{Created};
    std::atomic<bool> m_requeue{false};
    std::atomic_bool m_stop{false}; // set by abort(): ends the running check, insert or init
    UploadTask m_task;
    std::atomic<AlibabaCloud::OSS::OssClient *> m_client{nullptr};
};
