#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace AlibabaCloud {
namespace OSS {

using ProgressCallback = void (*)(size_t increment, int64_t transferred, int64_t total,
                                  void *userData);

// Progress handler and the pointer handed back to it.
struct TransferProgress
{
    ProgressCallback Handler = nullptr;
    void *UserData = nullptr;
};

// One resumable multipart upload of a local file. The file and checkpoint
// paths are UTF-8 on every system.
class UploadObjectRequest
{
public:
    static constexpr uint64_t DefaultPartSize = 8 * 1024 * 1024;
    static constexpr uint64_t MinPartSize = 100 * 1024;
    static constexpr uint32_t MaxParts = 10000;

    UploadObjectRequest(std::string bucket, std::string key, std::string filePath,
                        std::string checkpointDir);

    void setBucket(const std::string &bucket) { m_bucket = bucket; }
    void setKey(const std::string &key) { m_key = key; }
    void setPartSize(uint64_t partSize) { m_partSize = partSize; }
    void setThreadNum(uint32_t threadNum) { m_threadNum = threadNum; }
    // Both texts are already Base64; each becomes a header when not empty.
    void setCallback(const std::string &callback, const std::string &callbackVar = std::string());
    void setTransferProgress(const TransferProgress &progress) { m_progress = progress; }

    const std::string &Bucket() const { return m_bucket; }
    const std::string &Key() const { return m_key; }
    const std::string &FilePath() const { return m_filePath; }
    const std::string &CheckpointDir() const { return m_checkpointDir; }
    uint64_t PartSize() const { return m_partSize; }
    uint32_t ThreadNum() const { return m_threadNum; }
    const std::string &Callback() const { return m_callback; }
    const std::string &CallbackVar() const { return m_callbackVar; }
    const TransferProgress &TransferProgressValue() const { return m_progress; }

    // "<checkpoint folder>/<file name>.ucp"; empty when no folder is set.
    std::string checkpointFilePath() const;

private:
    std::string m_bucket;
    std::string m_key;
    std::string m_filePath;
    std::string m_checkpointDir;
    uint64_t m_partSize = DefaultPartSize;
    uint32_t m_threadNum = 1;
    std::string m_callback;
    std::string m_callbackVar;
    TransferProgress m_progress;
};

} // namespace OSS
} // namespace AlibabaCloud
