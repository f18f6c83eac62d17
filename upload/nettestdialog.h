#pragma once

#include "upload/nettestrequest.h"
#include "upload/nettestuploadthread.h"

#include <QDialog>
#include <QPointer>
#include <QString>

namespace Ui {
class NetTestDialog;
}
class QTimer;
struct AccountRecord;

// The speed test dialog: asks the service for test credentials, uploads the
// test file for at most ten counted seconds and reports the speed through
// Result(ok, speedA, speedB). Deleted when closed; closing before Result
// reports nothing.
class NetTestDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(NetTestDialog)

public:
    NetTestDialog(QWidget *parent, AccountRecord *account);
    ~NetTestDialog() override;

    static QString runningText(int seconds);
    static QString finishedText(int seconds);

    // addBtn: closes the dialog.
    void on_cancelBtn_clicked();

    int mode() const { return m_mode; }
    // The running upload, null before the measurement and once it was reaped.
    NetTestUploadThread *uploadThread() const { return m_thread.data(); }
    QString testFilePath() const { return m_filePath; }

signals:
    void Result(bool ok, int speedA, int speedB);

public slots:
    void timeoutSlot();
    void NetTestThreadResultASlot(bool ret, int sendByte);
    void NetTestThreadResultBSlot(bool ret, int sendByte);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startTest();
    void credentialsArrived(const nettest::Credentials &credentials);
    void finish(bool ok);
    void reapThread(bool stopFirst);

    Ui::NetTestDialog *m_ui;
    AccountRecord *m_account;
    int m_elapsed = 0;      // seconds shown in the text
    int m_counted = 0;      // seconds counted while measuring
    int m_secondCount = 0;  // seconds of the second measurement (unused)
    QString m_filePath;
    QPointer<NetTestUploadThread> m_thread;
    int m_speedA = 0;
    int m_speedB = 0;
    bool m_measuring = false;
    bool m_secondMeasuring = false;
    bool m_closed = false;
    nettest::Mode m_mode = nettest::OssMode;
    QTimer *m_timer;
};
