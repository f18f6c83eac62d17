#pragma once

#include "upload/nettestrecord.h"

#include <QString>
#include <QWidget>

class QPushButton;
class ShellServices;
struct ShellHooks;
struct AccountRecord;

// The speed test control of the settings page: the button netTestBtn that
// opens NetTestDialog, and the network-test record of the logged-in account
// with its load and save.
class NetTestPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(NetTestPanel)

public:
    // services may be null (tests set the account and folder).
    explicit NetTestPanel(ShellServices *services, QWidget *parent = nullptr);

    void setAccount(AccountRecord *account) { m_account = account; }
    void setUserDataFolder(const QString &folder) { m_userDataFolder = folder; }
    void setDialogParent(QWidget *parent) { m_dialogParent = parent; }
    QString recordPath() const;
    const NetTestRecord &record() const { return m_record; }
    // 0 OSS, 1 WCS: the channel of the account's uploads.
    int accountChannel() const;

    void loadNetParams();
    bool saveNetParams();
    void fillHooks(ShellHooks &hooks);

    QPushButton *button() const { return m_button; }

    // netTestBtn: runs the test dialog modally.
    void on_netTestBtn_clicked();

public slots:
    void netTestDlgResultSlot(bool ok, int speedA, int speedB);

private:
    AccountRecord *m_account = nullptr;
    QString m_userDataFolder;
    QWidget *m_dialogParent = nullptr;
    NetTestRecord m_record;
    QPushButton *m_button;
};
