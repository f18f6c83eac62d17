#include "upload/nettestpanel.h"

#include "account/accountrecord.h"
#include "app/shell/pagehooks.h"
#include "upload/nettestdialog.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QtDebug>

NetTestPanel::NetTestPanel(ShellServices *services, QWidget *parent)
    : QWidget(parent)
    , m_button(new QPushButton(tr("网络测速"), this))
{
    setObjectName(QStringLiteral("netTestPanel"));
    m_button->setObjectName(QStringLiteral("netTestBtn"));
    m_button->setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    layout->addStretch(1);
    connect(m_button, &QPushButton::clicked, this, &NetTestPanel::on_netTestBtn_clicked);

    if (services) {
        m_account = services->account();
        m_userDataFolder = services->userDataFolder();
        m_dialogParent = services->dialogParent();
    }
}

QString NetTestPanel::recordPath() const
{
    return nettest::recordPath(m_userDataFolder);
}

int NetTestPanel::accountChannel() const
{
    return m_account && m_account->uploadType != QLatin1String("0") ? 1 : 0;
}

void NetTestPanel::loadNetParams()
{
    m_record = nettest::loadRecord(recordPath(), accountChannel());
}

bool NetTestPanel::saveNetParams()
{
    if (m_userDataFolder.isEmpty())
        return false;
    const bool ok = nettest::saveRecord(recordPath(), m_record);
    if (!ok)
        qWarning() << "net test record not written:" << recordPath();
    return ok;
}

void NetTestPanel::fillHooks(ShellHooks &hooks)
{
    QPointer<NetTestPanel> self(this);
    hooks.saveNetParams = [self] {
        if (self)
            self->saveNetParams();
    };
}

void NetTestPanel::on_netTestBtn_clicked()
{
    qInfo() << "net test start";
    auto *dialog = new NetTestDialog(m_dialogParent ? m_dialogParent : window(), m_account);
    connect(dialog, &NetTestDialog::Result, this, &NetTestPanel::netTestDlgResultSlot);
    dialog->exec();
}

void NetTestPanel::netTestDlgResultSlot(bool ok, int speedA, int speedB)
{
    m_record = nettest::recordFromResult(accountChannel(), ok, speedA, speedB);
    saveNetParams();
}
