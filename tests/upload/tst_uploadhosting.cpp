// The upload and settings pages inside the main window: hosting, the
// settings loaded on the first turn of the event loop, the tip line's jump
// to the settings page and the saved settings at the end.

#include "dialoghelper.h"
#include "hostedwindow.h"
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
        enterHostingFolder(m_dir);
    }

    void pagesAreHostedAndSettingsLoaded()
    {
        AccountRecord account = hostedAccount(QStringLiteral("host@example.com"));
        const QString folder = userdata::userDataFolder(account.email);
        QVERIFY(userdata::ensureFolder(folder));
        SettingsRecord stored;
        stored.parallelTask = 4;
        stored.luping = true;
        QVERIFY(saveSettingsFile(folder + settingsFileName(), stored));

        auto window = makeHostedWindow(&account);
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
