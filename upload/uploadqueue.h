#pragma once

#include "upload/addfilesthread.h"
#include "upload/retrybackoff.h"
#include "upload/uploadinit.h"
#include "upload/uploadtask.h"

#include <QList>
#include <QDeadlineTimer>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <mutex>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QMovie;
class QPushButton;
class QTimer;
class QWidget;
class MessageInfo;
class UploadWidget;

// The widgets of the upload page that the queue drives.
struct UploadQueueWidgets
{
    QListWidget *list = nullptr;
    QPushButton *allStartBtn = nullptr;
    QPushButton *clearListBtn = nullptr;
    QWidget *uploadFrame = nullptr;
    QLabel *loadingLbl = nullptr;
    QMovie *loadingMovie = nullptr; // may be null
    QLabel *statusLbl = nullptr;
    QWidget *dialogParent = nullptr; // parent of the queue's messages
};

// The category a new upload goes under.
struct UploadCategory
{
    QString cataid;
    QString name;
};

// The upload queue: rows of the list plus the overflow list, the slots in
// use and the scheduler that starts rows up to the parallel-task limit.
class UploadQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(UploadQueue)

public:
    static constexpr int kMaxRows = 200;

    explicit UploadQueue(const UploadQueueWidgets &widgets, QObject *parent = nullptr);
    ~UploadQueue() override;

    // ---- Configuration ---------------------------------------------------
    void setAccount(const UploadAccount &account) { m_account = account; }
    const UploadAccount &account() const { return m_account; }
    int channel() const { return m_account.channel; }
    void setLuping(bool luping) { m_account.luping = luping; }
    // The parallel-task limit; a higher limit starts more rows when the queue runs.
    void setLimit(int limit);
    int limit() const { return m_limit; }
    // How failed rows are retried (tests shorten the delays).
    void setRetryPolicy(const RetryPolicy &policy) { m_retryPolicy = policy; }
    const RetryPolicy &retryPolicy() const { return m_retryPolicy; }
    void setAutoShutDown(bool on) { m_autoShutDown = on; }
    // The category for new files; an empty id refuses the add.
    void setCategorySource(std::function<UploadCategory()> source) { m_categorySource = std::move(source); }
    // A finished upload: its record and the history status ("已秒传"/"已完成").
    void setFinishedHandler(std::function<void(const UploadTask &, const QString &)> handler)
    {
        m_finishedHandler = std::move(handler);
    }
    // The list ran empty with the automatic shutdown on.
    void setShutDownHandler(std::function<void()> handler) { m_shutDownHandler = std::move(handler); }
    // Writes the record file from the queue (called by tearDownQueue()).
    void setRecordSaver(std::function<void()> saver) { m_recordSaver = std::move(saver); }

    // ---- Operations --------------------------------------------------------
    void addUploadTask(const QStringList &paths);
    void autoStartNextUpload();
    // Stops every row, lets the record saver write them, and empties the list.
    void tearDownQueue();
    // stopUpload(false) on every running row (the window is going away).
    void stopRunningUploads();
    // A restored record enters as a row or, with a full list, the overflow list.
    void appendTask(UploadTask *task);
    void resetStatusLine();
    // The status line with these counts, network "未知" and 0KB/S.
    void showStatusCounts(int running, int waiting);
    // Shows the list frame, the buttons and the running animation (true), or
    // stops and hides the animation (false).
    void showLoading(bool on);
    // Hides uploadFrame, allStartBtn and clearListBtn.
    void hideQueueWidgets();
    QListWidget *listWidget() const { return m_widgets.list; }
    // Connects and starts the 1-second status tick.
    void startStatusTimer(QTimer *timer);

    // ---- State -------------------------------------------------------------
    bool isRunning() const; // allStartBtn property "status" false
    int currentLinks() const { return m_currentLinks; }
    void setCurrentLinks(int links) { m_currentLinks = links; }
    bool isAdding() const { return m_adding; }
    bool isLoading() const { return m_loading; }
    void setLoading(bool loading) { m_loading = loading; }
    bool isFilling() const { return m_adding || m_loading; }
    int rowCount() const;
    UploadWidget *row(int index) const;
    int overflowCount() const;
    QStringList queuedVids() const;
    QString lastFolder() const { return m_lastFolder; }
    void setLastFolder(const QString &folder) { m_lastFolder = folder; }
    // Copies of the overflow records, taken under the queue mutex.
    QList<UploadTask> overflowSnapshot() const;
    // Adds a vid to the queued-vid list (restore has no duplicate test).
    void registerVid(const QString &vid);
    void setQueueRunning(bool running); // allStartBtn text and property

public slots:
    void on_allStartBtn_clicked();
    void on_clearListBtn_clicked();
    void suspendCurrentFileSlot();
    void deleteCurrentFileSlot(bool success);
    void errorCurrentFileSlot(int response);
    void tryAginTimeoutSlot();
    void totalTimeoutSlot();

signals:
    // The last file of the pending adds has been applied.
    void addingFinished();
    void rowCountChanged(int rows);

private slots:
    void addedFileSlot(const AddedFileFacts &facts);
    void applyAddedFile(const AddedFileFacts &facts);
    void addBatchFinishedSlot();

private:
    struct PendingAdd
    {
        QStringList paths;
        UploadCategory category;
    };

    void startNextBatch();
    void finishAdding();
    UploadWidget *appendRow(UploadTask *task);
    void freshStart(UploadWidget *row);
    void resume(UploadWidget *row);
    static bool hasNeverRun(const UploadWidget *row);
    void decrementLinks();
    void logLinks(const char *text) const;
    int askUser(QWidget *parent, const QString &text, bool question);
    void showAddingState(bool adding);
    void removeRow(UploadWidget *row);
    // The OSS checkpoint of the row's file goes once the row's threads have ended.
    void deleteUcpFileWhenStopped(UploadWidget *row) const;
    // A failed start of the row: held for its back-off, or given up.
    void noteFailure(UploadWidget *row, int code);
    // A start by the user: the failure count begins anew.
    void noteManualStart(UploadWidget *row);
    // The retry run comes after delayMs (or earlier, for a row due earlier).
    void armRetryTimer(qint64 delayMs);
    // A waiting row that is held for its back-off (the queue still means to run).
    bool hasPendingRetry() const;
    static bool isHeldForRetry(const UploadWidget *row);
    QList<UploadWidget *> rows() const;

    UploadQueueWidgets m_widgets;
    UploadAccount m_account;
    std::function<UploadCategory()> m_categorySource;
    std::function<void(const UploadTask &, const QString &)> m_finishedHandler;
    std::function<void()> m_shutDownHandler;
    std::function<void()> m_recordSaver;

    QList<UploadTask *> m_overflow;
    QStringList m_queuedVids;
    mutable std::mutex m_queueMutex;
    int m_currentLinks = 0;
    int m_limit = 2;
    bool m_autoShutDown = false;
    QPointer<UploadWidget> m_preferredRow;
    bool m_adding = false;
    bool m_loading = false;
    QString m_lastFolder;
    QTimer *m_retryTimer = nullptr;
    QDeadlineTimer m_retryFiresAt;
    RetryPolicy m_retryPolicy;
    QPointer<MessageInfo> m_clearConfirmation;

    QList<PendingAdd> m_pendingAdds;
    QList<QPointer<AddFilesThread>> m_addThreads;
    int m_runningAddThreads = 0;
    QMap<int, AddedFileFacts> m_arrived; // hashed out of order, not applied yet
    int m_nextToApply = 0;
    UploadCategory m_addCategory;
};
