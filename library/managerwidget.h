#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class GetJsonThread;
class downloadPicThread;
class QLabel;
struct AccountRecord;
struct VideoRecord;

namespace Ui {
class ManagerWidget;
}

// One row of the manage page's video list (the list's header row is an
// instance too). A data row shows one video, copies its embed code, deletes
// it and opens its settings dialog.
class ManagerWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(ManagerWidget)

public:
    ManagerWidget(QWidget *parent, AccountRecord *account, bool isHeader);
    ~ManagerWidget() override;

    // Fills a data row from a video of the list answer and starts its thumbnail.
    void setVideo(const VideoRecord &video);
    // The header row's column titles.
    void setHeaderTexts();

    QString vid() const { return m_vid; }
    QString title() const { return m_title; }
    QString tag() const { return m_tag; }
    QString describ() const { return m_describ; }
    QString playerWidth() const { return m_playerwidth; }
    QString playerHeight() const { return m_playerheight; }
    // The thumbnail download is still running.
    bool isThumbnailPending() const { return !m_thumbnailThread.isNull(); }
    bool isHeader() const { return m_isHeader; }

signals:
    void copyCode();
    void delVideo();

public slots:
    void videoOperationBtnSlot();
    void setVideoBtnSlot();
    void VideoDel();
    void DelThreadResult(QString text);
    void modifyInfo(QString title, QString tag, QString describ, QString imagePath);
    void finishedSlot(QByteArray imgData);

private:
    // Shows a notice with this row as parent. False when the row was
    // destroyed while the notice was open.
    bool notify(const QString &text);
    void startThumbnail(const QString &url);

    Ui::ManagerWidget *m_ui;
    AccountRecord *m_account; // not owned
    bool m_isHeader;
    QString m_playerheight;
    QString m_playerwidth;
    QString m_title;
    QString m_tag;
    QString m_vid;
    QString m_describ;
    QString m_uid;       // copied from the account when a deletion starts
    QString m_secretKey; // likewise
    QPointer<downloadPicThread> m_thumbnailThread;
    QPointer<GetJsonThread> m_delThread;
};
