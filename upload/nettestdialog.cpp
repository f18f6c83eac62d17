#include "upload/nettestdialog.h"

#include "ui_nettestdialog.h"

#include "account/accountrecord.h"
#include "net/backgroundcall.h"
#include "net/releasedthreads.h"
#include "net/servicehosts.h"
#include "net/transferlimits.h"
#include "upload/nettestuploadthread.h"

#include <QCloseEvent>
#include <QDir>
#include <QMetaObject>
#include <QTimer>
#include <QtDebug>

namespace {
constexpr int kCountedSeconds = 10;
}

NetTestDialog::NetTestDialog(QWidget *parent, AccountRecord *account)
    : QDialog(parent)
    , m_ui(new Ui::NetTestDialog)
    , m_account(account)
    , m_timer(new QTimer(this))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    resize(340, 240);
    m_ui->customTitle->setTitle(tr("提示"));
    m_ui->messageLbl->setText(runningText(0));

    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &NetTestDialog::timeoutSlot);
    connect(m_ui->addBtn, &QPushButton::clicked, this, &NetTestDialog::on_cancelBtn_clicked);
    m_timer->start();

    m_filePath = QDir::currentPath() + QStringLiteral("/NetSpeedTest.mp4");
    m_mode = nettest::modeOfUploadType(m_account ? m_account->uploadType : QString());

    // The credential request runs once the dialog's own event loop has
    // started, so that whoever opened the dialog has connected Result.
    QMetaObject::invokeMethod(this, &NetTestDialog::startTest, Qt::QueuedConnection);
}

NetTestDialog::~NetTestDialog()
{
    reapThread(true);
    delete m_ui;
}

QString NetTestDialog::runningText(int seconds)
{
    return tr("正在进行网络测速，获取最优上传方案\r\n\r\n最多耗时20s左右，已耗时( %1 )秒\r\n\r\n停止测速将采用默认上传方案")
        .arg(seconds);
}

QString NetTestDialog::finishedText(int seconds)
{
    return tr("完成测速，已为您选择最优上传方案\r\n\r\n本次测速耗时( %1 )秒").arg(seconds);
}

void NetTestDialog::startTest()
{
    if (m_closed)
        return;
    nettest::TestAccount account;
    if (m_account) {
        account.uid = m_account->uid;
        account.userId = m_account->userId;
        account.secretKey = m_account->secretKey;
    }
    account.apiHost = hosts::apiHost();

    // The test file and the credentials are made on a thread of their own;
    // the window keeps working. No answer within the limit counts as a
    // refused request.
    const nettest::Mode mode = m_mode;
    const QString filePath = m_filePath;
    background::start<nettest::Credentials>(
        this, int(transferLimits().speedTestRequestMs),
        [mode, account, filePath](const std::atomic_bool &stop) {
            if (!nettest::ensureTestFile(filePath))
                qWarning() << "net test file cannot be created:" << filePath;
            return nettest::requestCredentials(mode, account, filePath, &stop);
        },
        [this](nettest::Credentials credentials) { credentialsArrived(credentials); },
        [this] {
            qWarning() << "net test credential request: no answer in time";
            credentialsArrived(nettest::Credentials());
        });
}

void NetTestDialog::credentialsArrived(const nettest::Credentials &credentials)
{
    if (m_closed)
        return;
    if (!credentials.accepted) {
        if (m_mode == nettest::WcsMode)
            qCritical() << "ws net test token get fail";
        else
            qCritical() << "aliyun net test token get fail";
        emit Result(false, m_speedA, m_speedB);
        m_timer->stop();
        m_ui->messageLbl->setText(tr("网络异常"));
        return;
    }

    m_measuring = true;
    m_counted = 0;
    auto *thread = new NetTestUploadThread(credentials.params);
    m_thread = thread;
    connect(thread, &NetTestUploadThread::ResultA, this, &NetTestDialog::NetTestThreadResultASlot);
    if (m_mode == nettest::OssMode)
        connect(thread, &NetTestUploadThread::ResultB, this, &NetTestDialog::NetTestThreadResultBSlot);
    thread->start(QThread::InheritPriority);
}

void NetTestDialog::timeoutSlot()
{
    ++m_elapsed;
    m_ui->messageLbl->setText(runningText(m_elapsed));
    if (m_measuring) {
        ++m_counted;
        if (m_counted >= kCountedSeconds) {
            if (m_thread)
                m_thread->setStop();
            m_measuring = false;
        }
    }
}

void NetTestDialog::NetTestThreadResultASlot(bool ret, int sendByte)
{
    reapThread(false);
    if (m_closed)
        return;
    if (ret && sendByte > 0 && m_counted > 0) {
        m_speedA = sendByte / m_counted;
        m_measuring = false;
        qDebug() << "api upload speed A:" << m_speedA / 1024 << "kb/s";
    } else {
        m_speedA = 0;
        m_measuring = false;
        qDebug() << "api upload speed A:" << " 0kb/s";
    }
    // Both modes end here: the OSS account's store gets the same single
    // measurement as the WCS one (speedB is not measured).
    finish(ret);
}

void NetTestDialog::NetTestThreadResultBSlot(bool ret, int sendByte)
{
    m_secondMeasuring = false;
    m_speedB = (ret && sendByte > 0 && m_secondCount > 0) ? sendByte / m_secondCount : 0;
    qDebug() << "sdk upload speed B:" << m_speedB / 1024 << "kb/s";
}

void NetTestDialog::finish(bool ok)
{
    emit Result(ok, m_speedA, m_speedB);
    m_timer->stop();
    // A failed upload is not shown as a finished measurement.
    m_ui->messageLbl->setText(ok ? finishedText(m_elapsed) : tr("网络异常"));
    m_ui->addBtn->setText(tr("知道了"));
}

void NetTestDialog::on_cancelBtn_clicked()
{
    close();
}

void NetTestDialog::reapThread(bool stopFirst)
{
    // A stopped upload ends at its next progress call; nobody waits for it.
    if (NetTestUploadThread *thread = m_thread.data()) {
        if (stopFirst && thread->isRunning())
            thread->setStopAll();
        releaseThread(thread);
    }
    m_thread.clear();
}

void NetTestDialog::closeEvent(QCloseEvent *event)
{
    m_closed = true;
    reapThread(true);
    m_measuring = false;
    m_timer->stop();
    QDialog::closeEvent(event);
}
