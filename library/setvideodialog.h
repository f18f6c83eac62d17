#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>

class psotImage;
class psotRequest;
struct AccountRecord;

namespace Ui {
class SetvideoDialog;
}

// Edits a video's title, tags and description and uploads a new cover image.
// Lives for one modal run; reports accepted changes through modify().
class SetVideoDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(SetVideoDialog)

public:
    SetVideoDialog(QWidget *parent, AccountRecord *account, const QString &vid, const QString &title,
                   const QString &tag, const QString &describ);
    ~SetVideoDialog() override;

    // Asks for the cover image file; by default a file dialog. Tests replace it.
    using ImageChooser = std::function<QString(QWidget *parent, const QString &startPath)>;
    void setImageChooser(ImageChooser chooser) { m_chooser = std::move(chooser); }

    // Connected to the Confirm button (not by name: the button's object name
    // starts with a capital letter).
    void on_confirm_clicked();

signals:
    void modify(QString title, QString tag, QString describ, QString imagePath);

public slots:
    void on_upLoadpic_clicked();
    void onFinished(QString text, QString error);
    void uploadFinished(QString text, QString error);

private:
    Ui::SetvideoDialog *m_ui;
    ImageChooser m_chooser;
    QString m_uid;
    QString m_secretKey;
    QString m_vid;
    QString m_imagePath;
    QString m_submittedTitle;
    QString m_submittedTag;
    QString m_submittedDescrib;
    QPointer<psotRequest> m_editThread;
    QPointer<psotImage> m_coverThread;
};
