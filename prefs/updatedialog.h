#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QTemporaryDir;

namespace Ui {
class UpdateDialog;
}
class downloadThread;

// Describes the offered version and, on request, downloads its installer
// into a fresh private folder inside the temporary folder and starts it from
// there. Two states, kept in addBtn's
// "update" property: offer ("立即升级") and downloading ("取消更新").
// exec() returns Accepted only once the installer has been started.
class UpdateDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(UpdateDialog)

public:
    UpdateDialog(QWidget *parent, const QString &description);
    ~UpdateDialog() override;

    static QString progressText(int percent);
    // received / total in percent, truncated; 0 when the total is unknown.
    static int percentOf(qlonglong received, qlonglong total);

    // Replaces the start of the downloaded installer (tests).
    void setInstallerStarter(std::function<bool(const QString &)> starter)
    {
        m_startInstaller = std::move(starter);
    }
    // Where the installer of the running or finished download is (empty
    // before the first download starts).
    QString installerPath() const;

    // addBtn: starts the download in the offer state, closes the dialog
    // (cancelling the download) in the downloading state.
    void on_updateBtn_clicked();

public slots:
    void updateDataReadProcess(qlonglong received, qlonglong total);
    void downloadFinshed(bool ok);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setOfferState(bool offer);
    void stopDownload();
    void dropDownloadFolder();

    Ui::UpdateDialog *m_ui;
    QStringList m_tempFolders;
    // The folder of the current attempt: created anew (mode 0700 on POSIX)
    // for each download, removed again unless its installer was started.
    std::unique_ptr<QTemporaryDir> m_downloadFolder;
    QString m_partialPath;
    QPointer<downloadThread> m_download;
    std::function<bool(const QString &)> m_startInstaller;
};
