#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class downloadPicThread;
struct VideoRecord;

namespace Ui {
class SearchWidget;
}

// One row of the search page's result list (the header row is an instance
// too): shows a video with its category, copies its embed code and opens its
// category on the manage page.
class SearchWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(SearchWidget)

public:
    explicit SearchWidget(QWidget *parent);
    ~SearchWidget() override;

    void setVideo(const VideoRecord &video);
    void setHeaderTexts();

    QString vid() const { return m_vid; }
    QString title() const { return m_title; }
    QString cataid() const { return m_cataid; }
    QString playerWidth() const { return m_playerwidth; }
    QString playerHeight() const { return m_playerheight; }
    // The thumbnail download is still running.
    bool isThumbnailPending() const { return !m_thumbnailThread.isNull(); }

signals:
    void copyCode();
    void openCata();

public slots:
    void videoOperationBtnSlot();
    void cataBtnClickedSlot();
    void finishedSlot(QByteArray imgData);

private:
    Ui::SearchWidget *m_ui;
    QString m_playerheight;
    QString m_playerwidth;
    QString m_title;
    QString m_vid;
    QString m_cataid;
    QPointer<downloadPicThread> m_thumbnailThread;
};
