#include "../upload/queuefixture.h"

#include "prefs/settingsrecord.h"
#include "prefs/settingswidget.h"
#include "upload/userdatafile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeSettings(const QString &path, const QJsonObject &object)
{
    QVERIFY(userdata::writeFile(path, QJsonDocument(object)));
}

} // namespace

class TestSettings final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setUploadChannelFactory(nullptr); }

    void records_data()
    {
        QTest::addColumn<QByteArray>("json"); // empty: no file
        QTest::addColumn<int>("parallel");
        QTest::addColumn<bool>("luping");
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<bool>("autoShutDown");
        QTest::newRow("no file") << QByteArray() << 2 << false << true << false;
        QTest::newRow("not json") << QByteArray("{oops") << 2 << false << true << false;
        QTest::newRow("array root") << QByteArray("[1]") << 2 << false << true << false;
        QTest::newRow("missing autoStart") << QByteArray(R"({"luping":true,"parallelTask":3})") << 3 << true << false << false;
        QTest::newRow("all set") << QByteArray(R"({"autoStart":true,"luping":false,"autoShutDown":true,"parallelTask":5})")
                                 << 5 << false << true << true;
        QTest::newRow("zero") << QByteArray(R"({"parallelTask":0})") << 2 << false << false << false;
        QTest::newRow("too many") << QByteArray(R"({"parallelTask":9})") << 5 << false << false << false;
        QTest::newRow("negative") << QByteArray(R"({"parallelTask":-3})") << 1 << false << false << false;
    }
    void records()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, parallel);
        QFETCH(bool, luping);
        QFETCH(bool, autoStart);
        QFETCH(bool, autoShutDown);
        QTemporaryDir dir;
        const QString path = dir.filePath(settingsFileName());
        if (!json.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(json.toBase64());
        }
        const SettingsRecord r = loadSettingsFile(path);
        QCOMPARE(r.parallelTask, parallel);
        QCOMPARE(r.luping, luping);
        QCOMPARE(r.autoStart, autoStart);
        QCOMPARE(r.autoShutDown, autoShutDown);
    }

    void pageShowsAndSavesOnlyWhenAsked()
    {
        QueueFixture f(0);
        QTemporaryDir dir;
        writeSettings(dir.filePath(settingsFileName()),
                      {{"autoStart", false}, {"luping", true}, {"autoShutDown", true}, {"parallelTask", 5}});
        SettingsWidget settings(nullptr, f.page.get());
        settings.setUserDataFolder(dir.path() + QLatin1Char('/'));
        settings.loadSettings();
        auto *combo = settings.findChild<QComboBox *>(QStringLiteral("ParallelTaskNumCB"));
        QCOMPARE(combo->currentIndex(), 4);
        QCOMPARE(combo->count(), 5);
        QVERIFY(settings.findChild<QCheckBox *>(QStringLiteral("lupingCB"))->isChecked());
        QVERIFY(!settings.findChild<QCheckBox *>(QStringLiteral("autoStartUploadCB"))->isChecked());
        QVERIFY(settings.findChild<QCheckBox *>(QStringLiteral("autoShutDownCB"))->isChecked());
        QCOMPARE(f.queue()->limit(), 5);
        QCOMPARE(f.page->lupingTipText(), QStringLiteral("已开启“视频课件优化处理”功能，"));

        // Toggling changes the tip at once, the file only on save.
        settings.findChild<QCheckBox *>(QStringLiteral("lupingCB"))->setChecked(false);
        QCOMPARE(f.page->lupingTipText(), QStringLiteral("未开启“视频课件优化处理”功能，"));
        QVERIFY(loadSettingsFile(settings.settingsPath()).luping);
        combo->setCurrentIndex(2);
        QCOMPARE(f.queue()->limit(), 3);
        settings.saveSettings();
        const SettingsRecord saved = loadSettingsFile(settings.settingsPath());
        QVERIFY(!saved.luping);
        QCOMPARE(saved.parallelTask, 3);
        QVERIFY(!saved.autoStart);
        QVERIFY(saved.autoShutDown);
    }

    void defaultsWithoutFile()
    {
        QueueFixture f(1);
        QTemporaryDir dir;
        SettingsWidget settings(nullptr, f.page.get());
        settings.setUserDataFolder(dir.path() + QLatin1Char('/'));
        settings.loadSettings();
        QCOMPARE(settings.settings().parallelTask, 2);
        QVERIFY(settings.settings().autoStart);
        QCOMPARE(settings.findChild<QComboBox *>(QStringLiteral("ParallelTaskNumCB"))->currentIndex(), 1);
        QVERIFY(f.add(f.makeFiles(4)));
        QCOMPARE(f.uploadingRows(), 2);
    }

    void raisingTheLimitStartsOneMoreUpload()
    {
        QueueFixture f(0);
        QTemporaryDir dir;
        SettingsWidget settings(nullptr, f.page.get());
        settings.setUserDataFolder(dir.path() + QLatin1Char('/'));
        settings.loadSettings();
        QVERIFY(f.add(f.makeFiles(5)));
        QCOMPARE(f.uploadingRows(), 2);
        settings.findChild<QComboBox *>(QStringLiteral("ParallelTaskNumCB"))->setCurrentIndex(2);
        QCOMPARE(f.uploadingRows(), 3);
        QCOMPARE(f.queue()->currentLinks(), 3);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
