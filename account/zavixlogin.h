#pragma once

#include "account/accountrecord.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

namespace Ui {
class ZavixLogin;
}
class GetJsonThread;

// The login dialog: offers the remembered users, checks the input, logs in,
// fetches the account's category tree and accepts itself once both answers
// were good. The account record it fills lives as long as the dialog.
class ZavixLogin final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ZavixLogin)

public:
    explicit ZavixLogin(QWidget *parent = nullptr);
    // Waits for and deletes the request threads. When one is still running
    // the process-wide closing flag is set first, so that it ends promptly.
    ~ZavixLogin() override;

    // Valid for the life of the dialog; filled once exec() returned Accepted.
    AccountRecord *account() const { return m_account.get(); }

    // Where the remembered users are kept (next to the executable).
    QString usersFilePath() const { return m_usersFilePath; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void loginBtnClickSlot();
    void forgetPwdBtnClickSlot();
    void registerBtnClickSlot();
    void usrIndexChangedSlot(int index);
    void loginThreadResultSlot(QString catajs);
    void logincataThreadResultSlot(QString catajs);

private:
    void loadRememberedUsers();
    void saveRememberedUser();
    void failLogin(const QString &message);
    void showNotice(const QString &text);

    Ui::ZavixLogin *m_ui;
    QString m_usersFilePath;
    QString m_usersJson; // decrypted remembered-users text
    QString m_email;     // trimmed input of the current attempt
    QString m_password;
    QPointer<GetJsonThread> m_loginThread;
    QPointer<GetJsonThread> m_cataThread;
    std::unique_ptr<AccountRecord> m_account;
};
