#pragma once

// The main window as the hosting tests open it: an account whose user-data
// folder lives below the test's own folder, a service address where nothing
// listens (the window's own requests fail at once), and no browser or
// restart leaving the test.
//
//     void initTestCase() { enterHostingFolder(m_dir); }
//     ...
//     AccountRecord account = hostedAccount(QStringLiteral("me@example.com"));
//     auto window = makeHostedWindow(&account);
//     window->show();

#include "account/accountrecord.h"
#include "app/shell/zavixuploadclient.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

// Makes `dir` the current folder and points the client at an address where
// nothing listens.
inline void enterHostingFolder(const QTemporaryDir &dir)
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    qputenv("ZAVIX_SERVICE_URL", "http://127.0.0.1:1");
}

// A logged-in account of upload type 1 with the given e-mail.
inline AccountRecord hostedAccount(const QString &email)
{
    AccountRecord account;
    account.email = email;
    account.uid = account.userId = QStringLiteral("1001");
    account.secretKey = QStringLiteral("k");
    account.uploadType = QStringLiteral("1");
    return account;
}

// The main window for `account`, with links and the restart caught; the
// caller shows it.
inline std::unique_ptr<ZavixUploadClient> makeHostedWindow(AccountRecord *account)
{
    auto window = std::make_unique<ZavixUploadClient>(account);
    window->setUrlOpener([](const QUrl &) {});
    window->setRestartAction([] {});
    return window;
}
