#include "oss/ResumableUploader.h"

#include "oss/OssOperations.h"
#include "oss/UploadCheckpoint.h"
#include "platform/utf8file.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace AlibabaCloud {
namespace OSS {
namespace detail {

namespace {

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Sums finished parts and the bytes sent of running ones and hands the
// total to the caller's handler, never going backwards (a retried part
// starts again from zero).
class ProgressMeter final
{
public:
    ProgressMeter(const TransferProgress &progress, uint64_t total, std::size_t slots)
        : m_progress(progress), m_total(total), m_running(slots)
    {
        for (auto &slot : m_running)
            slot.store(0);
    }

    void startFinished(uint64_t finishedBytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = finishedBytes;
        m_reported = finishedBytes;
        call(0, finishedBytes);
    }

    void running(std::size_t slot, uint64_t sent)
    {
        m_running[slot].store(sent);
        std::lock_guard<std::mutex> lock(m_mutex);
        report(false);
    }

    void finished(std::size_t slot, uint64_t bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished += bytes;
        m_running[slot].store(0);
        report(true);
    }

private:
    static constexpr uint64_t Step = 256 * 1024;

    void report(bool force)
    {
        uint64_t transferred = m_finished;
        for (const auto &slot : m_running)
            transferred += slot.load();
        transferred = std::min(transferred, m_total);
        if (transferred <= m_reported)
            return;
        if (!force && transferred - m_reported < Step && transferred != m_total)
            return;
        const uint64_t increment = transferred - m_reported;
        m_reported = transferred;
        call(increment, transferred);
    }

    void call(uint64_t increment, uint64_t transferred)
    {
        if (m_progress.Handler)
            m_progress.Handler(static_cast<size_t>(increment), static_cast<int64_t>(transferred),
                               static_cast<int64_t>(m_total), m_progress.UserData);
    }

    const TransferProgress m_progress;
    const uint64_t m_total;
    std::vector<std::atomic<uint64_t>> m_running;
    std::mutex m_mutex;
    uint64_t m_finished = 0;
    uint64_t m_reported = 0;
};

struct PartPlan
{
    uint64_t partSize = 0;
    uint32_t count = 0;
    uint64_t sizeOf(uint32_t number, uint64_t fileSize) const
    {
        const uint64_t offset = uint64_t(number - 1) * partSize;
        return std::min(partSize, fileSize - offset);
    }
};

std::string bareETag(const std::string &eTag)
{
    std::string out;
    for (char c : eTag)
        if (c != '"')
            out += char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool sameStamp(const UploadCheckpoint &cp, const UploadObjectRequest &request,
               const FileStamp &stamp, uint64_t partSize)
{
    return cp.bucket == request.Bucket() && cp.key == request.Key() && !cp.uploadId.empty() &&
           cp.fileSize == stamp.size && cp.fileModified == stamp.modified &&
           cp.partSize == partSize;
}

} // namespace

FileStamp statFile(const std::string &path)
{
    const platform::Utf8FileStatus status = platform::statUtf8File(path);
    FileStamp stamp;
    stamp.ok = status.ok;
    stamp.size = status.size;
    stamp.modified = status.modifiedNs;
    return stamp;
}

ResumableUploader::ResumableUploader(const ClientContext &context,
                                     const UploadObjectRequest &request)
    : m_context(context), m_request(request)
{
}

PutObjectOutcome ResumableUploader::run()
{
    using namespace ClientErrorCode;
    const UploadObjectRequest &rq = m_request;
    if (m_context.disabled.load())
        return PutObjectOutcome(OssError(RequestDisabled, "requests of this client are disabled"));
    if (rq.Bucket().empty() || rq.Key().empty())
        return PutObjectOutcome(OssError(InvalidArgument, "bucket and key must not be empty"));

    const FileStamp stamp = statFile(rq.FilePath());
    FilePtr probe(stamp.ok ? platform::openUtf8File(rq.FilePath(), "rb") : nullptr);
    if (!probe)
        return PutObjectOutcome(OssError(FileNotReadable, "cannot open " + rq.FilePath()));
    probe.reset();

    PartPlan plan;
    plan.partSize = rq.PartSize() ? rq.PartSize() : UploadObjectRequest::DefaultPartSize;
    const uint64_t count = stamp.size == 0 ? 1 : (stamp.size + plan.partSize - 1) / plan.partSize;
    if (count > UploadObjectRequest::MaxParts)
        return PutObjectOutcome(OssError(InvalidArgument, "the part size gives more than 10000 parts"));
    if (count > 1 && plan.partSize < UploadObjectRequest::MinPartSize)
        return PutObjectOutcome(OssError(InvalidArgument, "parts must be at least 100 KiB"));
    plan.count = static_cast<uint32_t>(count);

    HttpSession session(m_context);
    OssOperations ops(m_context, session);
    const std::string cpPath = rq.checkpointFilePath();

    // Resume when the checkpoint belongs to this very file and the store
    // still holds its parts; otherwise start clean.
    UploadCheckpoint cp;
    bool resumed = false;
    if (!cpPath.empty() && UploadCheckpoint::load(cpPath, cp)) {
        if (sameStamp(cp, rq, stamp, plan.partSize)) {
            const auto listed = ops.listParts(cp.bucket, cp.key, cp.uploadId);
            if (listed.isSuccess()) {
                std::vector<CheckpointPart> confirmed;
                std::set<uint32_t> seen;
                for (const CheckpointPart &part : cp.parts) {
                    if (part.number > plan.count || part.size != plan.sizeOf(part.number, stamp.size) ||
                        !seen.insert(part.number).second)
                        continue;
                    const bool atStore =
                        std::any_of(listed.result().begin(), listed.result().end(),
                                    [&](const CheckpointPart &s) {
                                        return s.number == part.number && s.size == part.size &&
                                               bareETag(s.eTag) == bareETag(part.eTag);
                                    });
                    if (atStore)
                        confirmed.push_back(part);
                }
                cp.parts = confirmed;
                resumed = true;
            } else if (listed.error().Code() != "NoSuchUpload") {
                // Network trouble, refused credentials, disabled: keep the
                // checkpoint for the next start.
                return PutObjectOutcome(listed.error());
            }
        } else if (cp.bucket == rq.Bucket() && !cp.uploadId.empty()) {
            // The file (or the part size) changed: free the old parts.
            ops.abortUpload(cp.bucket, cp.key, cp.uploadId);
        }
    }
    if (!resumed) {
        if (!cpPath.empty())
            UploadCheckpoint::remove(cpPath);
        const auto initiated = ops.initiate(rq.Bucket(), rq.Key());
        if (!initiated.isSuccess())
            return PutObjectOutcome(initiated.error());
        cp = UploadCheckpoint();
        cp.bucket = rq.Bucket();
        cp.key = rq.Key();
        cp.uploadId = initiated.result();
        cp.fileSize = stamp.size;
        cp.fileModified = stamp.modified;
        cp.partSize = plan.partSize;
        if (!cpPath.empty())
            cp.save(cpPath);
    }

    std::vector<uint32_t> missing;
    uint64_t finishedBytes = 0;
    {
        std::set<uint32_t> done;
        for (const CheckpointPart &part : cp.parts) {
            done.insert(part.number);
            finishedBytes += part.size;
        }
        for (uint32_t n = 1; n <= plan.count; ++n)
            if (!done.count(n))
                missing.push_back(n);
    }

    const std::size_t threads = std::max<std::size_t>(
        1, std::min<std::size_t>(std::max<uint32_t>(rq.ThreadNum(), 1), missing.size()));
    ProgressMeter meter(rq.TransferProgressValue(), stamp.size, threads);
    if (resumed)
        meter.startFinished(finishedBytes);

    std::mutex stateMutex; // checkpoint and first error
    std::atomic<std::size_t> nextIndex{0};
    std::atomic<bool> failed{false};
    OssError firstError;

    auto worker = [&](std::size_t slot, HttpSession *ownSession) {
        std::unique_ptr<HttpSession> created;
        if (!ownSession) {
            created = std::make_unique<HttpSession>(m_context);
            ownSession = created.get();
        }
        OssOperations partOps(m_context, *ownSession);
        FilePtr file(platform::openUtf8File(rq.FilePath(), "rb"));
        if (file)
            std::setvbuf(file.get(), nullptr, _IONBF, 0);
        for (;;) {
            if (failed.load())
                return;
            const std::size_t index = nextIndex.fetch_add(1);
            if (index >= missing.size())
                return;
            const uint32_t number = missing[index];
            const uint64_t offset = uint64_t(number - 1) * plan.partSize;
            const uint64_t length = plan.sizeOf(number, stamp.size);
            Outcome<OssError, std::string> sent(
                OssError(FileNotReadable, "cannot open " + rq.FilePath()));
            if (file)
                sent = partOps.uploadPart(
                    cp.bucket, cp.key, cp.uploadId, number, file.get(), offset, length,
                    [&] { meter.running(slot, 0); },
                    [&](uint64_t bytes) { meter.running(slot, bytes); });
            std::lock_guard<std::mutex> lock(stateMutex);
            if (!sent.isSuccess()) {
                if (!failed.exchange(true))
                    firstError = sent.error();
                return;
            }
            cp.parts.push_back(CheckpointPart{number, length, sent.result()});
            if (!cpPath.empty())
                cp.save(cpPath); // a failed write only costs the resume
            meter.finished(slot, length);
        }
    };

    std::vector<std::thread> pool;
    const auto threadStart = m_context.config.threadStart;
    for (std::size_t slot = 1; slot < threads; ++slot)
        pool.emplace_back([&worker, threadStart, slot] {
            if (threadStart)
                threadStart();
            worker(slot, nullptr);
        });
    worker(0, &session); // this thread works too, on the session already open
    for (std::thread &t : pool)
        t.join();

    if (failed.load()) {
        if (m_context.disabled.load())
            return PutObjectOutcome(OssError(RequestDisabled,
                                             "the upload was stopped; its checkpoint is kept",
                                             firstError.RequestId()));
        return PutObjectOutcome(firstError);
    }
    if (m_context.disabled.load())
        return PutObjectOutcome(OssError(RequestDisabled, "the upload was stopped; its checkpoint is kept"));

    const FileStamp after = statFile(rq.FilePath());
    if (!after.ok || after.size != stamp.size || after.modified != stamp.modified)
        return PutObjectOutcome(OssError(FileChanged, "the file changed during the upload"));

    std::vector<CheckpointPart> parts = cp.parts;
    std::sort(parts.begin(), parts.end(),
              [](const CheckpointPart &a, const CheckpointPart &b) { return a.number < b.number; });
    PutObjectOutcome outcome =
        ops.complete(cp.bucket, cp.key, cp.uploadId, parts, rq.Callback(), rq.CallbackVar());
    if (outcome.isSuccess() && !cpPath.empty())
        UploadCheckpoint::remove(cpPath);
    return outcome;
}

} // namespace detail
} // namespace OSS
} // namespace AlibabaCloud
