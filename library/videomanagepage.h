#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "library/embedcode.h"

class GetJsonThread;
class ManagerWidget;
class QListWidgetItem;
class QMovie;
class VideoPageHost;

namespace Ui {
class VideoManagePage;
}

// The manage page: the videos of the current category, twenty per page,
// with paging, embed code, deletion and editing through the rows.
class VideoManagePage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(VideoManagePage)

public:
    VideoManagePage(VideoPageHost *host, QWidget *parent = nullptr);
    ~VideoManagePage() override;

    // The navigation switched to this page: lists the current category
    // unless a request is loading or its videos are already shown.
    void enterPage();
    // The tree was clicked while this page is shown.
    void categoryClicked();
    // Shows the category with this id on this page (from a search result or a
    // history row). False (after the notice) when the tree has no such category.
    bool openCategory(const QString &cataid);

    // Requests the page of the current category that the page list selects.
    void requestVideoList();

    bool isLoading() const { return m_listLoading; }
    QString categoryFlag() const { return m_cataflag; }
    QString lastListedCategoryId() const { return m_lastListedCataId; }
    embedcode::CopiedCode lastCopy() const { return m_lastCopy; }

public slots:
    void managerThreadResultSlot(QString catajs);
    void manageCopyCodeSlot();
    void delListVideoSlot();

    void on_pageIndexList_itemClicked(QListWidgetItem *item);
    void on_leftPageBtn_clicked();
    void on_rightPageBtn_clicked();
    void on_proceedPageBtn_clicked();
    void on_refreshBtn_clicked();
    void on_containSubCataBtn_clicked();
    void on_notContainSubBtn_clicked();
    void on_reviewCodeBtnM_clicked();

private:
    bool treeIsEmpty();
    void reloadFromFirstPage();
    void showMessage(const QString &text);
    void setPagingEnabled(bool on);
    void addRow(const struct VideoRecord &video);

    Ui::VideoManagePage *m_ui;
    VideoPageHost *m_host;
    ManagerWidget *m_header = nullptr;
    QMovie *m_movie = nullptr;
    QString m_cataflag = QStringLiteral("0");
    QString m_lastListedCataId;
    bool m_listLoading = false;
    QPointer<GetJsonThread> m_listThread;
    embedcode::CopiedCode m_lastCopy;
};
