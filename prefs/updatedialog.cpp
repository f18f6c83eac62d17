#include "prefs/updatedialog.h"

#include "ui_updatedialog.h"

#include "app/plaintext.h"
#include "net/workers.h"
#include "prefs/updatecheck.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QtDebug>

UpdateDialog::UpdateDialog(QWidget *parent, const QString &description)
    : QDialog(parent)
    , m_ui(new Ui::UpdateDialog)
    , m_tempFolders(QStandardPaths::standardLocations(QStandardPaths::TempLocation))
    , m_startInstaller(update::startInstaller)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(400, 260);
    m_ui->customTitle->setTitle(tr("发现新版本 - V4.2.1"));
    setPlainText(m_ui->contentLbl, description);
    m_ui->updateLbl->hide();
    m_ui->progressBar->setRange(0, 100);
    m_ui->progressBar->setValue(0);
    m_ui->progressBar->hide();
    m_ui->addBtn->setProperty("update", true);
    connect(m_ui->addBtn, &QPushButton::clicked, this, &UpdateDialog::on_updateBtn_clicked);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

UpdateDialog::~UpdateDialog()
{
    stopDownload();
    dropDownloadFolder();
    delete m_ui;
}

QString UpdateDialog::progressText(int percent)
{
    return tr("正在下载更新，已完成%1%").arg(percent);
}

int UpdateDialog::percentOf(qlonglong received, qlonglong total)
{
    if (total == 0)
        return 0;
    return int(double(received) / double(total) * 100.0);
}

QString UpdateDialog::installerPath() const
{
    return m_downloadFolder ? update::installerPath(m_downloadFolder->path()) : QString();
}

void UpdateDialog::dropDownloadFolder()
{
    m_downloadFolder.reset();
    m_partialPath.clear();
}

void UpdateDialog::setOfferState(bool offer)
{
    m_ui->addBtn->setText(offer ? tr("立即升级") : tr("取消更新"));
    m_ui->addBtn->setProperty("update", offer);
    m_ui->addBtn->style()->unpolish(m_ui->addBtn);
    m_ui->addBtn->style()->polish(m_ui->addBtn);
}

void UpdateDialog::on_updateBtn_clicked()
{
    if (!m_ui->addBtn->property("update").toBool()) {
        close();
        return;
    }
    // A thread of an earlier, failed attempt has already reported; clear it.
    reapWorker(m_download);

    m_ui->addBtn->setEnabled(false);
    m_ui->contentLbl->hide();
    m_ui->updateLbl->show();
    m_ui->progressBar->show();
    m_ui->addBtn->setText(tr("取消更新"));
    m_ui->updateLbl->setText(progressText(0));

    // A new folder only this user can write, and a name nobody can guess:
    // nothing planted beforehand can redirect the download or swap the
    // program before it starts.
    dropDownloadFolder();
    const QString base = m_tempFolders.isEmpty() ? QDir::tempPath() : m_tempFolders.first();
    m_downloadFolder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/zavix-update-XXXXXX"));
    m_partialPath = m_downloadFolder->isValid()
        ? m_downloadFolder->filePath(
            QStringLiteral("download-%1.part")
                .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')))
        : QString();

    auto *thread = new downloadThread(update::installerUrl().toUtf8(), m_partialPath.toUtf8());
    m_download = thread;
    connect(thread, &downloadThread::Progress, this, &UpdateDialog::updateDataReadProcess);
    connect(thread, &downloadThread::Result, this, &UpdateDialog::downloadFinshed);
    thread->start(QThread::InheritPriority);

    setOfferState(false);
    m_ui->addBtn->setEnabled(true);
}

void UpdateDialog::updateDataReadProcess(qlonglong received, qlonglong total)
{
    const int percent = percentOf(received, total);
    if (total != 0)
        m_ui->progressBar->setValue(percent);
    m_ui->updateLbl->setText(progressText(percent));
}

void UpdateDialog::downloadFinshed(bool ok)
{
    reapWorker(m_download);
    const QString path = installerPath();
    if (ok && !path.isEmpty() && QFile::rename(m_partialPath, path)) {
        // The installer runs from this folder: it stays.
        m_downloadFolder->setAutoRemove(false);
        if (!m_startInstaller || !m_startInstaller(path))
            qWarning() << "installer did not start:" << path;
        accept();
        return;
    }
    dropDownloadFolder();
    m_ui->updateLbl->setText(tr("本次更新失败,请重新尝试更新"));
    setOfferState(true);
}

void UpdateDialog::stopDownload()
{
    if (downloadThread *thread = m_download.data()) {
        if (thread->isRunning()) {
            thread->cancel();
            thread->wait();
        }
        delete thread;
    }
    m_download.clear();
}

void UpdateDialog::closeEvent(QCloseEvent *event)
{
    stopDownload();
    QDialog::closeEvent(event);
}
