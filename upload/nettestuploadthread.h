#pragma once

#include "upload/nettestrequest.h"

#include <QThread>

#include <atomic>

// The upload of the speed test: one multipart form POST of the test file to
// the store named by the credential answer. The progress handler records the
// bytes sent so far and ends the transfer once a stop flag is set.
class NetTestUploadThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(NetTestUploadThread)

public:
    explicit NetTestUploadThread(const nettest::UploadParams &params, QObject *parent = nullptr);

    // Any thread: the transfer ends at its next progress call. The timer
    // sets the stop flag; closing the dialog sets both.
    void setStop() { m_stop.store(true); }
    void setStopAll()
    {
        m_secondStop.store(true);
        m_stop.store(true);
    }
    int sendByte() const { return m_sendByte.load(); }

signals:
    void ResultA(bool ret, int sendByte);
    void ResultB(bool ret, int sendByte);

protected:
    void run() override;

private:
    const nettest::UploadParams m_params;
    std::atomic_int m_sendByte{0};
    std::atomic_bool m_stop{false};
    std::atomic_bool m_secondStop{false};
};
