#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class MessageInfo;
}

// The program's one notice and question dialog. With an empty cancel text it
// is a notice with a single button; otherwise a question whose exec() returns
// QDialog::Accepted only when the confirming button was pressed.
class MessageInfo final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(MessageInfo)

public:
    MessageInfo(QWidget *parent, QString title, QString text, QString okText, QString cancelText);
    ~MessageInfo() override;

    QString text() const { return m_text; }
    QString cancelText() const { return m_cancelText; }

private slots:
    void okBtnClickedSlot();
    void cancelClickedSlot();

private:
    Ui::MessageInfo *m_ui;
    QString m_text;
    QString m_cancelText;
};
