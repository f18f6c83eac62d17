#include "app/customtitle.h"
#include "app/messageinfo.h"
#include "dialoghelper.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

class TestMessageInfo final : public QObject
{
    Q_OBJECT

private slots:
    void layoutOfNoticeAndQuestion();
    void result_data();
    void result();
    void titleBarMovesDialog();
    void bodyDoesNotMoveDialog();
    void answererRecordsEveryDialog();
};

void TestMessageInfo::layoutOfNoticeAndQuestion()
{
    const QString text = QStringLiteral("第一行\r\n第二行");
    MessageInfo notice(nullptr, QStringLiteral("提示"), text, QStringLiteral("确定"), QString());
    QCOMPARE(notice.objectName(), QStringLiteral("MessageInfo"));
    QCOMPARE(int(notice.windowFlags()), 0x40803);
    QCOMPARE(notice.size(), QSize(340, 240));
    QCOMPARE(notice.findChild<QLabel *>("titleLabel")->text(), QStringLiteral("提示"));
    QLabel *message = notice.findChild<QLabel *>("messageLbl");
    QVERIFY(message);
    QCOMPARE(message->text(), text);
    QCOMPARE(int(message->alignment()), 0x84);
    QPushButton *ok = notice.findChild<QPushButton *>("addBtn");
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QCOMPARE(ok->minimumWidth(), 120);
    QCOMPARE(ok->maximumWidth(), 120);
    QCOMPARE(ok->minimumHeight(), 32);
    QVERIFY(!notice.findChild<QPushButton *>("cancelBtn"));
    QVERIFY(notice.findChild<QFrame *>("messageFrame"));
    QCOMPARE(notice.text(), text);

    auto *title = notice.findChild<CustomTitle *>("customTitle");
    QVERIFY(title);
    QCOMPARE(title->maximumHeight(), 46);
    QPushButton *close = title->findChild<QPushButton *>("close");
    QVERIFY(close);
    QCOMPARE(close->minimumSize(), QSize(24, 24));
    QCOMPARE(close->maximumSize(), QSize(24, 24));
    QVERIFY(!close->autoDefault());

    MessageInfo question(nullptr, QStringLiteral("提示"), text, QStringLiteral("确定"),
                         QStringLiteral("取消"));
    QPushButton *cancel = question.findChild<QPushButton *>("cancelBtn");
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QStringLiteral("取消"));
    QCOMPARE(question.cancelText(), QStringLiteral("取消"));
}

void TestMessageInfo::result_data()
{
    QTest::addColumn<QString>("cancelText");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("expected");
    QTest::newRow("notice confirmed") << QString() << "addBtn" << 0;
    QTest::newRow("notice closed by title bar") << QString() << "close" << 0;
    QTest::newRow("question confirmed") << "取消" << "addBtn" << 1;
    QTest::newRow("question cancelled") << "取消" << "cancelBtn" << 0;
    QTest::newRow("question closed by title bar") << "取消" << "close" << 0;
}

void TestMessageInfo::result()
{
    QFETCH(QString, cancelText);
    QFETCH(QString, button);
    QFETCH(int, expected);

    DialogAnswerer answerer;
    answerer.clickWhenShown(button);
    auto *dialog = new MessageInfo(nullptr, QStringLiteral("提示"), QStringLiteral("要继续吗?"),
                                   QStringLiteral("确定"), cancelText);
    const int result = dialog->exec();
    QVERIFY(!dialog->isVisible());
    delete dialog;
    QCOMPARE(result, expected);
    QCOMPARE(answerer.answeredCount(), 1);
    QCOMPARE(answerer.last().message, QStringLiteral("要继续吗?"));
    QCOMPARE(answerer.last().title, QStringLiteral("提示"));
}

static void drag(QWidget *grip, const QPoint &from, const QPoint &by)
{
    const QPoint global = grip->mapToGlobal(from);
    QMouseEvent press(QEvent::MouseButtonPress, from, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(grip, &press);
    QMouseEvent move(QEvent::MouseMove, from + by, global + by, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(grip, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, from + by, global + by, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &release);
    // After the release a move with no button held must not drag any more.
    QMouseEvent hover(QEvent::MouseMove, from + by * 2, global + by * 2, Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &hover);
}

void TestMessageInfo::titleBarMovesDialog()
{
    MessageInfo dialog(nullptr, QStringLiteral("提示"), QStringLiteral("x"), QStringLiteral("确定"),
                       QString());
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    drag(dialog.findChild<CustomTitle *>("customTitle"), QPoint(30, 12), QPoint(37, 21));
    QCOMPARE(dialog.pos(), start + QPoint(37, 21));
}

void TestMessageInfo::bodyDoesNotMoveDialog()
{
    MessageInfo dialog(nullptr, QStringLiteral("提示"), QStringLiteral("x"), QStringLiteral("确定"),
                       QString());
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    drag(dialog.findChild<QFrame *>("messageFrame"), QPoint(30, 12), QPoint(37, 21));
    QCOMPARE(dialog.pos(), start);
}

void TestMessageInfo::answererRecordsEveryDialog()
{
    // Two dialogs in a row, each answered by its own queued answer; the
    // answer meant for the question is not spent on the notice.
    DialogAnswerer answerer;
    answerer.clickWhenShown("addBtn");
    answerer.clickWhenShown("cancelBtn");
    MessageInfo notice(nullptr, QStringLiteral("提示"), QStringLiteral("一"), QStringLiteral("确定"),
                       QString());
    QCOMPARE(notice.exec(), 0);
    MessageInfo question(nullptr, QStringLiteral("提示"), QStringLiteral("二"), QStringLiteral("确定"),
                         QStringLiteral("取消"));
    QCOMPARE(question.exec(), 0);
    QCOMPARE(answerer.answeredCount(), 2);
    QCOMPARE(answerer.answered().at(0).message, QStringLiteral("一"));
    QCOMPARE(answerer.answered().at(1).button, QStringLiteral("cancelBtn"));
    QCOMPARE(answerer.pendingCount(), 0);

    // A free-form answer gets the dialog itself.
    QString seen;
    answerer.doWhenShown(QStringLiteral("MessageInfo"), [&seen](QWidget *dialog) {
        seen = dialog->findChild<QLabel *>("messageLbl")->text();
        dialog->findChild<QPushButton *>("addBtn")->click();
    });
    MessageInfo third(nullptr, QStringLiteral("提示"), QStringLiteral("三"), QStringLiteral("确定"),
                      QStringLiteral("取消"));
    QCOMPARE(third.exec(), 1);
    QCOMPARE(seen, QStringLiteral("三"));
    QCOMPARE(answerer.answeredCount(), 3);
}

QTEST_MAIN(TestMessageInfo)
#include "tst_messageinfo.moc"
