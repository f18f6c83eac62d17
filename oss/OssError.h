#pragma once

#include <string>
#include <utility>

namespace AlibabaCloud {
namespace OSS {

// Error codes the client itself produces (the store's own codes, such as
// "NoSuchUpload" or "SignatureDoesNotMatch", are passed through unchanged).
namespace ClientErrorCode {
inline constexpr const char *RequestDisabled = "RequestDisabled";
inline constexpr const char *NetworkError = "NetworkError";
inline constexpr const char *InvalidArgument = "InvalidArgument";
inline constexpr const char *FileNotReadable = "FileNotReadable";
inline constexpr const char *FileChanged = "FileChanged";
inline constexpr const char *InvalidResponse = "InvalidResponse";
inline constexpr const char *DigestMismatch = "DigestMismatch";
} // namespace ClientErrorCode

class OssError
{
public:
    OssError() = default;
    OssError(std::string code, std::string message, std::string requestId = std::string(),
             int status = 0)
        : m_code(std::move(code)), m_message(std::move(message)),
          m_requestId(std::move(requestId)), m_status(status)
    {
    }

    const std::string &Code() const { return m_code; }
    const std::string &Message() const { return m_message; }
    const std::string &RequestId() const { return m_requestId; }
    // HTTP status of the failing answer; 0 when none arrived.
    int Status() const { return m_status; }

private:
    std::string m_code;
    std::string m_message;
    std::string m_requestId;
    int m_status = 0;
};

// Either a result or an error.
template <typename E, typename R>
class Outcome
{
public:
    Outcome() = default;
    explicit Outcome(R result) : m_success(true), m_result(std::move(result)) {}
    explicit Outcome(E error) : m_success(false), m_error(std::move(error)) {}

    bool isSuccess() const { return m_success; }
    const R &result() const { return m_result; }
    const E &error() const { return m_error; }

private:
    bool m_success = false;
    R m_result{};
    E m_error{};
};

} // namespace OSS
} // namespace AlibabaCloud
