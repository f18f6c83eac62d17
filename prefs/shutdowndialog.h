#pragma once

#include <QDialog>

class QCloseEvent;
class QLabel;
class QPushButton;
class QTimer;
class CustomTitle;

// The 60-second countdown before the automatic shutdown: accepted when the
// countdown runs out or the user shuts down now, rejected by "取消" or by
// closing. Deletes itself when it closes.
class shutDownDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(shutDownDialog)

public:
    static constexpr int kCountdownSeconds = 60;

    explicit shutDownDialog(QWidget *parent = nullptr);
    ~shutDownDialog() override;

    int countdown() const { return m_countdown; }
    QTimer *countdownTimer() const { return m_timer; }
    QString messageText() const;

    // The message for a number of seconds left.
    static QString messageFor(int seconds);

public slots:
    void on_shutDownBtn_clicked();
    void on_cancelBtn_clicked();
    void timeoutSlot();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void stopTimer();

    CustomTitle *m_title = nullptr;
    QLabel *m_messageLbl = nullptr;
    QPushButton *m_addBtn = nullptr;
    QPushButton *m_cancelBtn = nullptr;
    int m_countdown = kCountdownSeconds;
    QTimer *m_timer = nullptr;
};
