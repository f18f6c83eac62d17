#include "prefs/shutdowndialog.h"

#include "app/customtitle.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

shutDownDialog::shutDownDialog(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("shutDownDialog"));
    resize(340, 240);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);

    m_title = new CustomTitle(this);
    m_title->setTitle(tr("提示"));
    m_title->setMaximumHeight(46);

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("shutDownFrame"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(10, 0, 10, 30);
    outer->setSpacing(0);
    outer->addWidget(m_title);
    outer->addWidget(frame);

    m_messageLbl = new QLabel(frame);
    m_messageLbl->setObjectName(QStringLiteral("messageLbl"));
    m_messageLbl->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_messageLbl->setText(messageFor(m_countdown));

    m_addBtn = new QPushButton(tr("立即关机"), frame);
    m_addBtn->setObjectName(QStringLiteral("addBtn"));
    m_cancelBtn = new QPushButton(tr("取消"), frame);
    m_cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    for (QPushButton *button : {m_addBtn, m_cancelBtn}) {
        button->setFixedWidth(120);
        button->setMinimumHeight(32);
    }

    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(10, 10, 10, 0);
    frameLayout->addWidget(m_messageLbl);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addBtn);
    buttons->addWidget(m_cancelBtn);
    frameLayout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    m_timer->setSingleShot(false);
    connect(m_timer, &QTimer::timeout, this, &shutDownDialog::timeoutSlot);
    connect(m_addBtn, &QPushButton::clicked, this, &shutDownDialog::on_shutDownBtn_clicked);
    connect(m_cancelBtn, &QPushButton::clicked, this, &shutDownDialog::on_cancelBtn_clicked);
    m_timer->start();
}

shutDownDialog::~shutDownDialog() = default;

QString shutDownDialog::messageFor(int seconds)
{
    return tr("所有任务传输完成，即将自动关机\n如不取消将在( %1 )秒后关机").arg(seconds);
}

QString shutDownDialog::messageText() const
{
    return m_messageLbl->text();
}

void shutDownDialog::stopTimer()
{
    if (m_timer->isActive())
        m_timer->stop();
}

void shutDownDialog::timeoutSlot()
{
    if (m_countdown <= 0)
        return;
    --m_countdown;
    m_messageLbl->setText(messageFor(m_countdown));
    if (m_countdown == 0) {
        stopTimer();
        accept();
    }
}

void shutDownDialog::on_shutDownBtn_clicked()
{
    stopTimer();
    accept();
}

void shutDownDialog::on_cancelBtn_clicked()
{
    stopTimer();
    close();
}

void shutDownDialog::closeEvent(QCloseEvent *event)
{
    stopTimer();
    QDialog::closeEvent(event);
}
