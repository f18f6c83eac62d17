// The network-test record inside the main window: the button sits on the
// settings page, the record is loaded after the window was shown and saved
// with the window's state.

#include "account/accountrecord.h"
#include "app/shell/zavixuploadclient.h"
#include "demoservice.h"
#include "devservice/devservice.h"
#include "net/closingflag.h"
#include "upload/nettestpanel.h"
#include "upload/userdatafile.h"

#include <QDir>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

AccountRecord account(const QString &uploadType)
{
    AccountRecord a;
    a.email = QStringLiteral("speed%1@example.com").arg(uploadType);
    a.uid = a.userId = QStringLiteral("10001");
    a.secretKey = QStringLiteral("sk-oss-5f2c9d1a");
    a.uploadType = uploadType;
    a.remainSpace = QStringLiteral("10.00");
    a.leftDay = 30;
    a.cataJson = QStringLiteral(R"({"code":200,"status":"success","message":"","data":{"userLevel":1,"cataid":1,"cataList":[]}})");
    return a;
}

} // namespace

class TestNetTestShell final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    devsvc::DevService m_service;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        startDemoService(m_service);
    }
    void cleanupTestCase() { m_service.stop(); }

    void recordLoadedAtStartAndSavedWithTheState_data()
    {
        QTest::addColumn<QString>("uploadType");
        QTest::addColumn<int>("speedA");
        QTest::newRow("oss keeps its speed") << "0" << 777000;
        QTest::newRow("wcs loads zeros") << "1" << 0;
    }
    void recordLoadedAtStartAndSavedWithTheState()
    {
        QFETCH(QString, uploadType);
        resetClosingForTest();
        AccountRecord a = account(uploadType);
        const QString folder = userdata::userDataFolder(a.email);
        QVERIFY(userdata::ensureFolder(folder));
        const QString path = folder + QStringLiteral("netparamsInfo.json");
        QVERIFY(userdata::writeFile(path, QJsonDocument(QJsonObject{
                                              {"paramType", 1}, {"speedA", 777000}, {"speedB", 0}, {"uploadType", 1}})));

        ZavixUploadClient window(&a);
        window.setRestartAction([] {});
        window.setUrlOpener([](const QUrl &) {});
        window.show();
        auto *panel = window.findChild<NetTestPanel *>();
        QVERIFY(panel);
        auto *button = panel->findChild<QPushButton *>(QStringLiteral("netTestBtn"));
        QVERIFY(button);
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("settingPage"))->isAncestorOf(button));

        QFETCH(int, speedA);
        const bool wcs = uploadType == QLatin1String("1");
        const NetTestRecord expected{wcs ? 1 : 0, wcs ? 0 : 1, speedA, 0};
        // Loaded once the event loop runs, after the window was shown.
        QCOMPARE(panel->record(), NetTestRecord());
        QTRY_COMPARE(panel->record(), expected);

        QVERIFY(window.hooks().saveNetParams);
        window.hooks().saveNetParams();
        const userdata::ReadResult saved = userdata::readFile(path);
        QVERIFY(saved.ok);
        QCOMPARE(saved.document.object().value("speedA").toInt(), speedA);
        QCOMPARE(saved.document.object().value("uploadType").toInt(), uploadType.toInt());
    }
};

QTEST_MAIN(TestNetTestShell)
#include "tst_nettestshell.moc"
