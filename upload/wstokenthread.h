#pragma once

#include "upload/uploadchannel.h"
#include "upload/uploadtask.h"

#include <QString>

#include <atomic>

// The first step of a WCS start: check and insert on the account-web host
// (only while the task was never uploaded), the init request, the space rule,
// then one Result(ok, code). The WCS coordinates of the answer (fileid,
// dateStr, upload token, upload host) and everUploaded go into the row's task
// record.
//
// The thread reads the request URLs from a copy taken when it is made and
// hands its writes to the thread the object lives in (the GUI thread), where
// they are applied just before Result arrives there: the record is only ever
// written on the GUI thread, so it can be saved at any moment. abandon()
// ends the running request within about a second and drops the writes.
class WsTokenThread final : public TokenChannelThread
{
    Q_OBJECT
    Q_DISABLE_COPY(WsTokenThread)

public:
    explicit WsTokenThread(UploadTask *task, QObject *parent = nullptr);
    ~WsTokenThread() override;

    void abandon() override;

protected:
    void run() override;

private:
    // The values written into the record.
    struct Writes
    {
        bool everUploaded = false;
        bool coordinates = false; // fileid, dateStr, token and host below are set
        QString fileid;
        QString dateStr;
        QString uploadToken;
        QString uploadHost;
    };
    void report(const Writes &writes, bool ok, int code);
    bool isAbandoned() const { return m_stop.load(); }

    // Read and cleared on the GUI thread only.
    UploadTask *m_task;
    std::atomic_bool m_stop{false};
    const QString m_vid;
    const bool m_everUploaded;
    const QString m_checkUrl;
    const QString m_insertUrl;
    const QString m_initUrl;
    const qint64 m_fileSize;
};
