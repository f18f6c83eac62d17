#pragma once

// Answers modal dialogs from inside a test, without sleeping: a timer polls
// QApplication::activeModalWidget() and clicks a button of the dialog that
// appears, recording what the dialog showed.
//
//     DialogAnswerer answerer;
//     answerer.clickWhenShown("addBtn");           // answer the next dialog
//     triggerSomethingThatRunsExec();
//     QTRY_COMPARE(answerer.answeredCount(), 1);
//     QCOMPARE(answerer.last().message, QStringLiteral("..."));
//
// Answers are queued: each queued button name answers one dialog, in order.
// A modal widget without a button of the expected name (for example the
// dialog under test itself, when the test runs it with exec()) is left alone.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

struct AnsweredDialog
{
    QString className;  // e.g. "MessageInfo"
    QString objectName; // object name of the dialog
    QString title;      // text of its titleLabel (or the window title)
    QString message;    // text of its messageLbl, empty when it has none
    QString button;     // object name of the button that was clicked (empty: doWhenShown)
};

class DialogAnswerer final : public QObject
{
public:
    explicit DialogAnswerer(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    }

    // Queue one answer: click the button with this object name on the next
    // modal dialog that has one. An optional dialog object name restricts the
    // answer to that dialog ("MessageInfo", "addCataDialog", ...).
    void clickWhenShown(const QString &buttonName, const QString &dialogName = QString())
    {
        m_queue.append({buttonName, dialogName, {}});
        m_timer.start();
    }

    // Queue the same answer for several dialogs in a row.
    void clickWhenShown(const QString &buttonName, int times, const QString &dialogName = QString())
    {
        for (int i = 0; i < times; ++i)
            clickWhenShown(buttonName, dialogName);
    }

    // Queue a free-form answer for the next modal dialog with this object
    // name (any modal widget when empty): `action` gets the dialog and does
    // what the test needs, e.g. fills a field and clicks a button.
    void doWhenShown(const QString &dialogName, std::function<void(QWidget *)> action)
    {
        m_queue.append({QString(), dialogName, std::move(action)});
        m_timer.start();
    }

    // Drop answers that were not used yet.
    void clear()
    {
        m_queue.clear();
        m_timer.stop();
    }

    int pendingCount() const { return m_queue.size(); }
    int answeredCount() const { return m_answered.size(); }
    const QList<AnsweredDialog> &answered() const { return m_answered; }
    AnsweredDialog last() const { return m_answered.isEmpty() ? AnsweredDialog() : m_answered.last(); }

    // Spin the event loop until `count` dialogs were answered or the time ran
    // out. Returns whether the count was reached.
    bool waitAnswered(int count, int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_answered.size() < count && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return m_answered.size() >= count;
    }

private:
    struct Answer
    {
        QString button;
        QString dialog;
        std::function<void(QWidget *)> action;
    };

    void poll()
    {
        if (m_queue.isEmpty()) {
            m_timer.stop();
            return;
        }
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (m_lastAnswered && m_lastAnswered == modal)
            return; // our last click did not hide it (yet); wait for the Hide
        const Answer answer = m_queue.first();
        if (!answer.dialog.isEmpty() && modal->objectName() != answer.dialog)
            return;
        QAbstractButton *button = nullptr;
        if (!answer.action) {
            button = modal->findChild<QAbstractButton *>(answer.button);
            if (!button || !button->isVisible() || !button->isEnabled())
                return;
        }

        AnsweredDialog record;
        record.className = QString::fromLatin1(modal->metaObject()->className());
        record.objectName = modal->objectName();
        if (auto *title = modal->findChild<QLabel *>(QStringLiteral("titleLabel")))
            record.title = title->text();
        else
            record.title = modal->windowTitle();
        if (auto *message = modal->findChild<QLabel *>(QStringLiteral("messageLbl")))
            record.message = message->text();
        record.button = answer.button;

        m_queue.removeFirst();
        m_answered.append(record);
        if (m_queue.isEmpty())
            m_timer.stop();
        QPointer<QWidget> guard(modal);
        if (answer.action)
            answer.action(modal);
        else
            button->click();
        if (guard && guard->isVisible()) {
            m_lastAnswered = guard;
            guard->installEventFilter(this);
        }
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_lastAnswered && event->type() == QEvent::Hide) {
            watched->removeEventFilter(this);
            m_lastAnswered = nullptr;
        }
        return QObject::eventFilter(watched, event);
    }

    QTimer m_timer;
    QList<Answer> m_queue;
    QPointer<QWidget> m_lastAnswered;
    QList<AnsweredDialog> m_answered;
};
