#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>

namespace Ui {
class AddCataDialog;
}
class CustomTitle;

// The add-category request: URL and form body.
struct AddCataRequest
{
    QByteArray url;
    QByteArray body;
    QString signedText; // what the signature is computed over (raw name)
};

AddCataRequest buildAddCataRequest(const QString &apiHost, const QString &uid, const QString &secretKey,
                                   const QString &parentId, const QString &name, qint64 ptime);

// What the dialog makes of the answer of the add-category request.
struct AddCataOutcome
{
    bool ok = false; // the service answered code 200: the category exists
    QString cataid;  // the new id; empty when the answer had no usable one
    QString tip;     // the text for tipsLbl when not ok
};

AddCataOutcome evaluateAddCataAnswer(bool transferOk, const QString &answer);

// The dialog that creates a category below a parent category.
class AddCataDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(AddCataDialog)

public:
    AddCataDialog(QWidget *parent, QString uid, QString secretKey, QString parentId, QString parentName);
    ~AddCataDialog() override;

signals:
    // The trimmed name of the new category and the id the service gave it
    // (empty when the answer named none: the tree must be reloaded).
    void Result(QString catatree, QString cataid);

public slots:
    void CheckInputText(QString text);

private slots:
    void on_addBtn_clicked();
    void on_cancelBtn_clicked();

private:
    void finishAdd(const QString &name, bool transferOk, const QString &answer);

    Ui::AddCataDialog *m_ui;
    CustomTitle *m_title;
    QString m_parentId;
    QString m_uid;
    QString m_secretKey;
    bool m_pending = false; // an add request is under way
};
