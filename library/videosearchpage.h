#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "library/embedcode.h"

class GetJsonThread;
class QListWidgetItem;
class QMovie;
class SearchWidget;
class VideoPageHost;

namespace Ui {
class VideoSearchPage;
}

// The search page: videos of the whole library whose title matches a
// keyword, twenty per page, sorted by time or by name.
class VideoSearchPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(VideoSearchPage)

public:
    VideoSearchPage(VideoPageHost *host, QWidget *parent = nullptr);
    ~VideoSearchPage() override;

    // Searches the keyword of searchEdit on the page the page list selects.
    void requestSearch();

    bool isLoading() const { return m_searchLoading; }
    embedcode::CopiedCode lastCopy() const { return m_lastCopy; }

signals:
    // A result row asked to show its category on the manage page.
    void openCategoryRequested(QString cataid);

public slots:
    void searchThreadResultSlot(QString catajs);
    void searchCopyCodeSlot();
    void openCataSearchSlot();

    void on_searchBtn_clicked();
    void on_searchEdit_returnPressed();
    void on_searchPageList_itemClicked(QListWidgetItem *item);
    void on_searchLeftPageBtn_clicked();
    void on_searchRightPageBtn_clicked();
    void on_sProceedPageBtn_clicked();
    void on_sortComboBox_currentIndexChanged(int index);
    void on_reviewCodeBtnS_clicked();

private:
    void showMessage(const QString &text);
    void setSortingEnabled(bool on);
    void addRow(const struct VideoRecord &video);
    void makeCurrent(QWidget *row);

    Ui::VideoSearchPage *m_ui;
    VideoPageHost *m_host;
    SearchWidget *m_header = nullptr;
    QMovie *m_movie = nullptr;
    bool m_searchLoading = false;
    QPointer<GetJsonThread> m_searchThread;
    embedcode::CopiedCode m_lastCopy;
};
