// The upload and settings pages inside the main window: hosting, the
// settings loaded on the first turn of the event loop, the tip line's jump
// to the settings page and the saved settings at the end.

#include "account/accountrecord.h"
#include "app/shell/zavixuploadclient.h"
#include "dialoghelper.h"
#include "prefs/settingsrecord.h"
#include "prefs/settingswidget.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/userdatafile.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestUploadHosting final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        // Nothing listens here; the window's own requests fail at once.
        qputenv("ZAVIX_SERVICE_URL", "http://127.0.0.1:1");
    }

    void pagesAreHostedAndSettingsLoaded()
    {
        AccountRecord account;
        account.email = QStringLiteral("host@example.com");
        account.uid = account.userId = QStringLiteral("1001");
        account.secretKey = QStringLiteral("k");
        account.uploadType = QStringLiteral("1");
        const QString folder = userdata::userDataFolder(account.email);
        QVERIFY(userdata::ensureFolder(folder));
        SettingsRecord stored;
        stored.parallelTask = 4;
        stored.luping = true;
        QVERIFY(saveSettingsFile(folder + settingsFileName(), stored));

        auto window = std::make_unique<ZavixUploadClient>(&account);
        window->setUrlOpener([](const QUrl &) {});
        window->setRestartAction([] {});
        DialogAnswerer answerer; // the failed category answer may bring a notice
        answerer.clickWhenShown(QStringLiteral("addBtn"), 3);
        window->show();

        auto *uploadPage = window->findChild<QWidget *>(QStringLiteral("uploadPage"));
        auto *settingPage = window->findChild<QWidget *>(QStringLiteral("settingPage"));
        QVERIFY(uploadPage && settingPage);
        auto *uploads = uploadPage->findChild<UploadPage *>();
        auto *settings = settingPage->findChild<SettingsWidget *>();
        QVERIFY(uploads);
        QVERIFY(settings);
        QCOMPARE(uploads->queue()->account().channel, 1);

        QTRY_COMPARE(uploads->queue()->limit(), 4);
        QCOMPARE(settings->findChild<QComboBox *>(QStringLiteral("ParallelTaskNumCB"))->currentIndex(), 3);
        QCOMPARE(uploads->lupingTipText(), QStringLiteral("已开启“视频课件优化处理”功能，"));
        QVERIFY(window->hooks().isUploadListEmpty());
        QVERIFY(!window->hooks().isFillingUploadList());

        auto *stack = window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        uploads->findChild<QAbstractButton *>(QStringLiteral("settingTipBtn"))->click();
        QCOMPARE(stack->currentIndex(), 4);
        QVERIFY(window->findChild<QAbstractButton *>(QStringLiteral("settingBtn"))->isChecked());

        settings->findChild<QComboBox *>(QStringLiteral("ParallelTaskNumCB"))->setCurrentIndex(0);
        window->hooks().saveSettings();
        QCOMPARE(loadSettingsFile(folder + settingsFileName()).parallelTask, 1);
        answerer.clear();
        window.reset();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestUploadHosting)
#include "tst_uploadhosting.moc"
