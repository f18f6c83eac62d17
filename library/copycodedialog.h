#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class CopyCodeDialog;
}

// Shows the embed code that a page copied last. Deletes itself when closed.
class CopyCodeDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(CopyCodeDialog)

public:
    CopyCodeDialog(QWidget *parent, const QString &codeType, const QString &header, const QString &code);
    ~CopyCodeDialog() override;

    // Connected to addBtn; closes the dialog.
    void on_copyBtn_clicked();

private:
    Ui::CopyCodeDialog *m_ui;
};
