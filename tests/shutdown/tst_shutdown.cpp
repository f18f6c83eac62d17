// The automatic shutdown: the countdown dialog, the order of the saves and
// the shutdown command. The command is always replaced by a harmless script
// (ZAVIX_SHUTDOWN_COMMAND); no test here may start the real one.

#include "dialoghelper.h"
#include "tests/upload/queuefixture.h"

#include "app/shell/pagehooks.h"
#include "platform/shutdown.h"
#include "prefs/historypage.h"
#include "prefs/settingsrecord.h"
#include "prefs/shutdowndialog.h"
#include "prefs/shutdownflow.h"
#include "upload/uploadrecord.h"
#include "upload/userdatafile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const char *const kStateFiles[] = {"uploadInfo.json", "historyInfo.json", "settingsInfo.json",
                                   "netparamsInfo.json"};

// Runs the dialog with exec() while `drive` acts on it from the event loop.
int execDialog(shutDownDialog *dialog, std::function<void(shutDownDialog *)> drive)
{
    QPointer<shutDownDialog> guarded = dialog;
    QTimer::singleShot(0, dialog, [guarded, drive]() {
        if (guarded)
            drive(guarded.data());
    });
    return dialog->exec();
}

} // namespace

class TestShutDown final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_scriptDir;
    QString m_script;

    QString calledFile() const { return m_scriptDir.filePath("shutdown-called"); }

private slots:
    void initTestCase()
    {
        // A stand-in for the system command: it records its arguments and
        // which state files exist next to it at the moment it starts.
        QVERIFY(m_scriptDir.isValid());
#ifdef FAKE_SHUTDOWN_PATH
        // Windows: the stand-in is a program of its own, copied here.
        m_script = QDir::toNativeSeparators(m_scriptDir.filePath("fake-shutdown.exe"));
        QVERIFY(QFile::copy(QStringLiteral(FAKE_SHUTDOWN_PATH), m_script));
#else
        m_script = m_scriptDir.filePath("fake-shutdown.sh");
        QFile script(m_script);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "d=\"$(dirname \"$0\")\"\n"
                     "{ echo \"args: $*\"\n"
                     "  for f in uploadInfo.json historyInfo.json settingsInfo.json netparamsInfo.json; do\n"
                     "    [ -s \"$d/$f\" ] && echo \"have $f\"\n"
                     "  done; } > \"$d/shutdown-called.tmp\" && mv \"$d/shutdown-called.tmp\" \"$d/shutdown-called\"\n");
        script.close();
        QVERIFY(QFile::setPermissions(m_script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
#endif
        qputenv(platform::kShutdownCommandVariable, m_script.toLocal8Bit());
        QCOMPARE(platform::effectiveShutdownCommand().program, m_script);
    }

    void commandOfThePlatform()
    {
        const platform::ShutdownCommand system = platform::shutdownCommand();
#ifdef Q_OS_WIN
        QCOMPARE(system.program, QStringLiteral("shutdown.exe"));
        QCOMPARE(system.arguments, (QStringList{"-s", "-t", "1"}));
#else
        QCOMPARE(system.program, QStringLiteral("systemctl"));
        QCOMPARE(system.arguments, QStringList{"poweroff"});
#endif
        // The replacement keeps the arguments.
        QCOMPARE(platform::effectiveShutdownCommand().arguments, system.arguments);
    }

    void dialogLayout()
    {
        QWidget parent;
        QPointer<shutDownDialog> dialog = new shutDownDialog(&parent);
        QCOMPARE(dialog->objectName(), QStringLiteral("shutDownDialog"));
        QCOMPARE(dialog->size(), QSize(340, 240));
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(dialog->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(dialog->countdownTimer()->isActive());
        QCOMPARE(dialog->countdownTimer()->interval(), 1000);
        QCOMPARE(dialog->countdown(), 60);
        QCOMPARE(dialog->messageText(),
                 QStringLiteral("所有任务传输完成，即将自动关机\n如不取消将在( 60 )秒后关机"));
        QCOMPARE(dialog->findChild<QPushButton *>("addBtn")->text(), QStringLiteral("立即关机"));
        QCOMPARE(dialog->findChild<QPushButton *>("cancelBtn")->text(), QStringLiteral("取消"));
        QVERIFY(dialog->findChild<QFrame *>("shutDownFrame"));
        QCOMPARE(dialog->findChild<QLabel *>("titleLabel")->text(), QStringLiteral("提示"));
        delete dialog.data();
    }

    void countdownAcceptsByItself()
    {
        QPointer<shutDownDialog> dialog = new shutDownDialog;
        QStringList seen;
        const int result = execDialog(dialog, [&seen](shutDownDialog *d) {
            // One tick per second of the countdown, driven here instead of waited for.
            for (int i = 0; i < 60 && d->isVisible(); ++i) {
                d->timeoutSlot();
                seen.append(d->messageText());
            }
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(seen.size(), 60);
        QVERIFY(seen.first().contains("( 59 )"));
        QVERIFY(seen.at(29).contains("( 30 )"));
        QVERIFY(seen.last().contains("( 0 )"));
        QTRY_VERIFY(dialog.isNull()); // deleted when it closed
    }

    void buttonsAndClosing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("result");
        QTest::newRow("shut down now") << "addBtn" << int(QDialog::Accepted);
        QTest::newRow("cancel") << "cancelBtn" << int(QDialog::Rejected);
        QTest::newRow("closed") << "close" << int(QDialog::Rejected);
    }
    void buttonsAndClosing()
    {
        QFETCH(QString, action);
        QFETCH(int, result);
        QPointer<shutDownDialog> dialog = new shutDownDialog;
        bool timerStopped = false;
        const int answer = execDialog(dialog, [&](shutDownDialog *d) {
            d->timeoutSlot(); // some seconds went by
            QTimer *timer = d->countdownTimer();
            QObject::connect(d, &QDialog::finished, timer, [&timerStopped, timer]() {
                timerStopped = !timer->isActive();
            });
            if (action == QLatin1String("close"))
                d->close();
            else
                d->findChild<QPushButton *>(action)->click();
        });
        QCOMPARE(answer, result);
        QVERIFY(timerStopped);
        QTRY_VERIFY(dialog.isNull());
    }

    // The four files are written, in their order, before the command starts.
    void acceptedShutDownSavesThenStartsTheCommand()
    {
        QFile::remove(calledFile());
        for (const char *name : kStateFiles)
            QFile::remove(m_scriptDir.filePath(QLatin1String(name)));

        QueueFixture f(OssChannel, 1);
        UploadRecordKeeper records(f.queue(), m_scriptDir.filePath("uploadInfo.json"));
        f.queue()->setRecordSaver([&records]() { records.saveUploadData(); });
        HistoryPage history;
        history.setHistoryPath(m_scriptDir.filePath("historyInfo.json"));

        QStringList order;
        ShellHooks hooks;
        hooks.saveUploadRecordsAndClear = [&]() {
            order << "uploads";
            f.queue()->tearDownQueue();
        };
        hooks.saveHistory = [&]() {
            order << "history";
            history.saveHistoryData();
        };
        hooks.saveSettings = [&]() {
            order << "settings";
            saveSettingsFile(m_scriptDir.filePath("settingsInfo.json"), SettingsRecord());
        };
        hooks.saveNetParams = [&]() {
            order << "net";
            userdata::writeFile(m_scriptDir.filePath("netparamsInfo.json"),
                                QJsonDocument(QJsonObject{{"speed", "1"}}));
        };
        f.queue()->setFinishedHandler([&history](const UploadTask &task, const QString &) {
            history.addHistoryEntry(task, false);
        });

        AutoShutDown steps = defaultAutoShutDown();
        int asked = 0;
        auto realAsk = steps.ask;
        steps.ask = [&asked, realAsk](QWidget *parent) {
            ++asked;
            return realAsk(parent);
        };
        installAutoShutDown(f.queue(), f.page.get(), hooks, steps);

        // The setting off: the list runs empty without a dialog.
        QVERIFY(f.add(f.makeFiles(1, "off")));
        f.ossOf(0)->finish(true, 0);
        QTRY_COMPARE(f.queue()->rowCount(), 0);
        QCOMPARE(asked, 0);

        // Cancelled: nothing more happens; the next empty list asks again.
        f.queue()->setAutoShutDown(true);
        DialogAnswerer answers;
        answers.clickWhenShown("cancelBtn", "shutDownDialog");
        QVERIFY(f.add(f.makeFiles(1, "first")));
        f.ossOf(0)->finish(true, 0);
        QTRY_COMPARE(asked, 1);
        QTRY_COMPARE(answers.answeredCount(), 1);
        QVERIFY(order.isEmpty());
        QVERIFY(!QFile::exists(calledFile()));

        answers.clickWhenShown("addBtn", "shutDownDialog");
        QVERIFY(f.add(f.makeFiles(1, "second")));
        f.ossOf(0)->finish(true, 0);
        QTRY_COMPARE(answers.answeredCount(), 2);
        QCOMPARE(order, (QStringList{"uploads", "history", "settings", "net"}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(calledFile()), 10000);
        QFile called(calledFile());
        QVERIFY(called.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(called.readAll());
        QVERIFY2(report.startsWith(QStringLiteral("args: ")
                                   + platform::shutdownCommand().arguments.join(' ')),
                 qPrintable(report));
        for (const char *name : kStateFiles)
            QVERIFY2(report.contains(QStringLiteral("have ") + QLatin1String(name)), qPrintable(report));
        QCOMPARE(history.rowCount(), 3);
        QCOMPARE(userdata::readFile(m_scriptDir.filePath("uploadInfo.json")).document.array().size(), 0);
    }
};

QTEST_MAIN(TestShutDown)
#include "tst_shutdown.moc"
