// Texts from the service and file names are shown as their characters in
// every place that shows them: labels in plain-text mode, tool tips escaped.

#include "account/accountrecord.h"
#include "app/customtitle.h"
#include "app/messageinfo.h"
#include "app/plaintext.h"
#include "library/managerwidget.h"
#include "library/searchwidget.h"
#include "library/videorecord.h"
#include "net/closingflag.h"
#include "net/releasedthreads.h"
#include "prefs/historyrecord.h"
#include "prefs/historywidget.h"
#include "prefs/updatedialog.h"
#include "upload/uploadtask.h"
#include "upload/uploadwidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QtTest>

#include <memory>

namespace {

// Markup of every kind a hostile or careless text could carry.
const QString kMarkup = QStringLiteral("<img src=x><b>bold</b>&amp;<a href='http://127.0.0.1:1/'>link</a>");

// What a tool tip shows: Qt reads it as rich text when it looks like it.
QString shownToolTip(const QString &toolTip)
{
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText();
}

// The label shows exactly text: plain-text mode, nothing rendered.
bool showsPlain(const QLabel *label, const QString &text, QString *why)
{
    if (!label) {
        *why = QStringLiteral("no label");
        return false;
    }
    if (label->textFormat() != Qt::PlainText) {
        *why = label->objectName() + QStringLiteral(" is not plain text");
        return false;
    }
    if (label->text() != text) {
        *why = label->objectName() + QStringLiteral(" shows ") + label->text();
        return false;
    }
    return true;
}

template <class W>
QLabel *labelOf(W *widget, const char *name)
{
    return widget->template findChild<QLabel *>(QLatin1String(name));
}

} // namespace

class TestPlainText final : public QObject
{
    Q_OBJECT

private slots:
    // The rows' thumbnail requests end on the closing flag; none may outlive
    // the test program.
    void cleanupTestCase()
    {
        setClosing();
        QVERIFY(finishReleasedThreads(5000));
    }
    void helpers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("markup") << kMarkup;
        QTest::newRow("entity") << QStringLiteral("Tom &amp; Jerry");
        QTest::newRow("plain") << QStringLiteral("课程 第1讲 (a).mp4");
        QTest::newRow("line break") << QStringLiteral("<i>a</i>\nb");
    }
    void helpers()
    {
        QFETCH(QString, text);
        QLabel label;
        label.setTextFormat(Qt::RichText);
        setPlainText(&label, text);
        QString why;
        QVERIFY2(showsPlain(&label, text, &why), qPrintable(why));
        QCOMPARE(shownToolTip(plainToolTip(text)).simplified(), text.simplified());
    }

    void videoRows()
    {
        VideoRecord video;
        video.vid = QStringLiteral("v1");
        video.title = kMarkup;
        video.duration = QStringLiteral("<u>00:01</u>");
        video.times = QStringLiteral("<s>3</s>");
        video.cataname = kMarkup;
        video.status = QStringLiteral("61");
        AccountRecord account;
        ManagerWidget manager(nullptr, &account, false);
        manager.setVideo(video);
        SearchWidget search(nullptr);
        search.setVideo(video);
        QString why;
        QVERIFY2(showsPlain(labelOf(&manager, "videoNameLbl"), kMarkup, &why), qPrintable(why));
        QVERIFY2(showsPlain(labelOf(&manager, "playTimesLbl"), video.times, &why), qPrintable(why));
        QCOMPARE(shownToolTip(labelOf(&manager, "videoNameLbl")->toolTip()), kMarkup);
        QVERIFY2(showsPlain(labelOf(&search, "videoNameLbl"), kMarkup, &why), qPrintable(why));
        QVERIFY2(showsPlain(labelOf(&search, "videoDurationLbl"), video.duration, &why), qPrintable(why));
        QCOMPARE(shownToolTip(labelOf(&search, "videoNameLbl")->toolTip()), kMarkup);
        QCOMPARE(shownToolTip(search.findChild<QPushButton *>(QStringLiteral("cataBtn"))->toolTip()), kMarkup);

        // An edited title is shown the same way.
        manager.modifyInfo(QStringLiteral("<img src=x>"), QString(), QString(), QString());
        QVERIFY2(showsPlain(labelOf(&manager, "videoNameLbl"), QStringLiteral("<img src=x>"), &why), qPrintable(why));
    }

    void queueAndHistoryRows()
    {
        auto *task = new UploadTask;
        task->fileName = QStringLiteral("<b>x</b>.mp4");
        task->cataStr = kMarkup;
        task->fileSize = 10;
        UploadWidget row(task);
        QString why;
        // The row shows the name elided to its column.
        const QString shownName = QFontMetrics(row.font()).elidedText(task->fileName, Qt::ElideRight, 96);
        QVERIFY2(showsPlain(labelOf(&row, "fileNameLbl"), shownName, &why), qPrintable(why));
        QCOMPARE(shownToolTip(labelOf(&row, "fileNameLbl")->toolTip()), task->fileName);
        QCOMPARE(shownToolTip(labelOf(&row, "cataLbl")->toolTip()), kMarkup);

        HistoryEntry entry;
        entry.filename = QStringLiteral("<img src=x>.mp4");
        entry.path = QStringLiteral("/tmp/<img src=x>.mp4");
        entry.cataname = kMarkup;
        entry.vid = QStringLiteral("<i>vid</i>");
        entry.status = QStringLiteral("<b>已完成</b>");
        HistoryWidget history;
        history.setEntry(entry);
        QVERIFY2(showsPlain(labelOf(&history, "fileNameLbl"), entry.filename, &why), qPrintable(why));
        QVERIFY2(showsPlain(labelOf(&history, "vidLbl"), entry.vid, &why), qPrintable(why));
        QVERIFY2(showsPlain(labelOf(&history, "statusLbl"), entry.status, &why), qPrintable(why));
        QCOMPARE(shownToolTip(labelOf(&history, "fileNameLbl")->toolTip()), entry.filename);
        QCOMPARE(shownToolTip(labelOf(&history, "videoPathLbl")->toolTip()), entry.path);
        QCOMPARE(shownToolTip(history.findChild<QPushButton *>(QStringLiteral("cataBtn"))->toolTip()), kMarkup);
    }

    void dialogs()
    {
        QString why;
        UpdateDialog update(nullptr, kMarkup);
        QVERIFY2(showsPlain(labelOf(&update, "contentLbl"), kMarkup, &why), qPrintable(why));

        MessageInfo message(nullptr, QStringLiteral("<b>提示</b>"), kMarkup, QStringLiteral("确定"), QString());
        QVERIFY2(showsPlain(labelOf(&message, "messageLbl"), kMarkup, &why), qPrintable(why));
        QVERIFY2(showsPlain(labelOf(&message, "titleLabel"), QStringLiteral("<b>提示</b>"), &why), qPrintable(why));
    }
};

QTEST_MAIN(TestPlainText)
#include "tst_plaintext.moc"
