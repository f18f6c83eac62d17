#pragma once

#include "upload/retrybackoff.h"
#include "upload/uploadtask.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class OssChannelThread;
class TokenChannelThread;
class BlockChannelThread;

// One file of the upload queue: its row in the list and the controller of its
// upload. Owns the task record. Built without a record it is the header row.
class UploadWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(UploadWidget)

public:
    explicit UploadWidget(UploadTask *task, QWidget *parent = nullptr);
    // The header row (no task record), as a form creates it.
    explicit UploadWidget(QWidget *parent);
    ~UploadWidget() override;

    // Operations of the queue, in the order of a normal start.
    void prepareUpload();
    void startUpload();
    void stopUpload(bool requeue);
    void pauseBlockTransfer(bool pause);
    void cancelOnServer();
    // A file the row's threads may still write (the OSS checkpoint): it is
    // removed when the row is deleted, once every thread of the row has
    // ended, so that a part finishing meanwhile cannot write it back.
    void removeFileWhenStopped(const QString &path);
    // A stop result still waiting in the result timer is dropped: the queue
    // has decided anew about the row.
    void dropPendingResult();

    // Column titles of the header row.
    void setColumnTitles(const QStringList &titles, const QString &buttonTitle);

    UploadTask *task() const { return m_task; }
    QPushButton *suspendButton() const { return m_suspendBtn; }
    QPushButton *deleteButton() const { return m_deleteBtn; }

    bool isFinishing() const { return m_finishing; }
    bool isUploading() const { return m_uploading; }
    bool isSecondPass() const { return m_secondPass; }
    bool isWaiting() const { return m_waiting; }
    void setWaiting(bool waiting) { m_waiting = waiting; }
    bool isFailed() const { return m_failed; }
    void setFailed(bool failed) { m_failed = failed; }
    // True while suspendBtn offers "开始" (the row does not run).
    bool offersStart() const;
    // Sets suspendBtn to offer "开始" (true) or "暂停" (false).
    void setOffersStart(bool start);

    QString statusText() const { return m_statusText; }
    // Sets the status text and shows it alone in the status label.
    void setStatusText(const QString &text);
    // Sets the status text only; the label follows at the next tick.
    void assignStatusText(const QString &text) { m_statusText = text; }
    QString progressText() const { return m_progressText; }
    QString statusLabelText() const;
    QString speedLabelText() const;
    QString remainingLabelText() const;
    int speed() const { return m_speed; }
    void setSpeed(int speed) { m_speed = speed; }
    int retiredThreadCount() const { return m_retiredThreads.size(); }
    bool hasTokenRequest() const { return !m_tokenThread.isNull(); }

    // Retries of the queue: the failures in a row, the earliest time of the
    // next automatic start, and whether the queue has given up on the row.
    RetryBackoff &retryBackoff() { return m_retryBackoff; }
    void holdForRetry(int delayMs) { m_retryDue = QDeadlineTimer(delayMs, Qt::PreciseTimer); }
    void clearRetryHold() { m_retryDue = QDeadlineTimer(); }
    // Milliseconds until the row may start again (0 when it may now).
    qint64 retryHoldMs() const;
    bool hasGivenUp() const { return m_givenUp; }
    // Gives up (true): the row shows "失败" with the reason in its tool tip
    // and is not started again by the queue; false takes that back.
    void setGivenUp(bool givenUp, const QString &reason = QString());
    bool hasCancelRequest() const { return !m_cancelRequest.isNull(); }
    // True while threads of a WCS block transfer run (also while held by a pause).
    bool hasRunningBlockTransfer() const;

signals:
    void suspendUpload();
    void deleteFile(bool uploadSuccess);
    void uploadError(int code);

public slots:
    void suspendBtnClickSlot();
    void deleteBtnClickSlot();
    void timeoutSlot();
    void getTokenResultSlot(bool ok, int code);
    void uploadingResult(bool status, int code);
    void AliyunUploadingProgress(int increment, qlonglong transferred, qlonglong total);
    void OnUploadResult(bool status, int code);
    void OnThreadResult();

private slots:
    void blockProgressSlot(qlonglong increment);
    void blockStoredSlot(qlonglong index, const QString &ctx);

protected:
    void enterEvent(QEvent *event) override;

private:
    void startBlockTransfer();
    void applyStopResult(int code);
    void finishSecondPass();
    // The token thread no longer counts: told to stop and parked.
    void abandonTokenThread();
    // Serial numbers tell the results of the current threads from late ones.
    quint64 nextSerial() { return ++m_lastSerial; }

    bool m_finishing = false;
    bool m_uploading = false;
    bool m_secondPass = false;
    bool m_waiting = true;
    bool m_failed = false;

    QString m_progressText;
    QLabel *m_thumbnailLbl = nullptr;
    QLabel *m_fileNameLbl = nullptr;
    QLabel *m_statusLbl = nullptr;
    QPushButton *m_deleteBtn = nullptr;
    QPushButton *m_suspendBtn = nullptr;
    QLabel *m_sizeLbl = nullptr;
    QLabel *m_remainTimeLbl = nullptr;
    QLabel *m_cataLbl = nullptr;
    QLabel *m_speedLbl = nullptr;

    UploadTask *m_task = nullptr;
    QPointer<TokenChannelThread> m_tokenThread;
    QPointer<QThread> m_cancelRequest;
    QPointer<OssChannelThread> m_ossThread;
    QTimer *m_speedTimer = nullptr;
    QString m_statusText;
    int m_speed = 0;
    QString m_hours;
    QString m_minutes;
    QString m_seconds;
    QList<QPointer<BlockChannelThread>> m_blockThreads;
    bool m_blockPaused = false;
    QTimer *m_resultTimer = nullptr;
    QList<QPointer<QThread>> m_retiredThreads;
    QTimer *m_reaperTimer = nullptr;

    quint64 m_lastSerial = 0;
    quint64 m_ossSerial = 0;   // of the OSS thread whose results count
    quint64 m_tokenSerial = 0; // of the token thread whose result counts
    quint64 m_blockSerial = 0; // of the block transfer whose results count
    QStringList m_filesToRemove;
    RetryBackoff m_retryBackoff;
    QDeadlineTimer m_retryDue; // default: no hold
    bool m_givenUp = false;
};
