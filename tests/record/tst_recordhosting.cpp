// The record file and the history inside the main window: restored when the
// window opens, written again when it closes.

#include "dialoghelper.h"
#include "hostedwindow.h"
#include "prefs/historypage.h"
#include "prefs/settingsrecord.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/uploadrecord.h"
#include "upload/uploadwidget.h"
#include "upload/userdatafile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestRecordHosting final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        enterHostingFolder(m_dir);
        qputenv("ZAVIX_SHUTDOWN_COMMAND", "/bin/true");
    }

    void restoredAtStartAndWrittenAtTheEnd()
    {
        AccountRecord account = hostedAccount(QStringLiteral("record@example.com"));
        const QString folder = userdata::userDataFolder(account.email);
        QVERIFY(userdata::ensureFolder(folder));
        SettingsRecord settings;
        settings.autoStart = false;
        QVERIFY(saveSettingsFile(folder + settingsFileName(), settings));

        QJsonArray records;
        for (int i = 0; i < 2; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("kept%1.mp4").arg(i));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(5000, 'k'));
            file.close();
            records.append(QJsonObject{{"path", path}, {"vid", QStringLiteral("v%1").arg(i)},
                                       {"uploadType", 1}, {"ctxStr", "c0,"}, {"indexStr", "0,"}});
        }
        QVERIFY(userdata::writeFile(folder + uploadrecord::fileName(), QJsonDocument(records)));
        HistoryEntry done;
        done.vid = QStringLiteral("old");
        done.status = QStringLiteral("已完成");
        QVERIFY(history::saveFile(folder + history::fileName(), {done}));

        auto window = makeHostedWindow(&account);
        DialogAnswerer answerer; // the failed category answer may bring notices
        answerer.clickWhenShown(QStringLiteral("addBtn"), 3);
        window->show();

        auto *uploads = window->findChild<UploadPage *>();
        auto *historyPage = window->findChild<HistoryPage *>();
        QVERIFY(uploads && historyPage);
        QVERIFY(window->findChild<QWidget *>(QStringLiteral("historyPage"))->isAncestorOf(historyPage));
        QTRY_COMPARE(uploads->queue()->rowCount(), 2);
        QTRY_COMPARE(historyPage->rowCount(), 1);
        QCOMPARE(uploads->queue()->row(0)->task()->blocks.keys(), QList<qint64>{0});
        QCOMPARE(uploads->queue()->currentLinks(), 0); // auto-start off
        QVERIFY(window->statusTimer()->isActive());

        answerer.clear();
        answerer.clickWhenShown(QStringLiteral("addBtn"), QStringLiteral("MessageInfo"));
        QVERIFY(window->close());
        const QJsonArray saved = userdata::readFile(folder + uploadrecord::fileName()).document.array();
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved.at(1).toObject().value("vid").toString(), QStringLiteral("v1"));
        QCOMPARE(saved.at(0).toObject().value("indexStr").toString(), QStringLiteral("0,"));
        QCOMPARE(history::loadFile(folder + history::fileName()).entries.size(), 1);
        window.reset();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRecordHosting)
#include "tst_recordhosting.moc"
