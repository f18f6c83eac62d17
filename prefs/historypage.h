#pragma once

#include "prefs/historyrecord.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

namespace Ui {
class HistoryPage;
}
class HistoryWidget;
class QListWidget;
struct UploadTask;

// The history page: the finished uploads, newest first, at most 500 added in
// a run (a larger file is loaded whole), kept in historyInfo.json.
class HistoryPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(HistoryPage)

public:
    explicit HistoryPage(QWidget *parent = nullptr);
    ~HistoryPage() override;

    void setHistoryPath(const QString &path) { m_path = path; }
    QString historyPath() const { return m_path; }
    // Opens a category on the manage page; false when the tree has no such
    // category (the opener then has shown its notice).
    void setCategoryOpener(std::function<bool(const QString &cataid)> opener)
    {
        m_categoryOpener = std::move(opener);
    }
    // Parent of the page's questions; the page's window by default.
    void setDialogParent(QWidget *parent) { m_dialogParent = parent; }

    // A row finished: its entry goes on top (the oldest leaves beyond 500).
    void addHistoryEntry(const UploadTask &task, bool secondPass);
    void addEntry(const HistoryEntry &entry);

    void loadHistoryData();
    bool saveHistoryData();

    int rowCount() const;
    HistoryWidget *row(int index) const;
    QList<HistoryEntry> entries() const;
    QListWidget *listWidget() const;
    HistoryWidget *headerRow() const;

public slots:
    void on_clearHistoryBtn_clicked();
    void openCataHistorySlot();

private:
    HistoryWidget *appendRow(const HistoryEntry &entry, int position);
    void showCount(int rows);
    void clearRows();

    Ui::HistoryPage *m_ui;
    QString m_path;
    QWidget *m_dialogParent = nullptr;
    std::function<bool(const QString &)> m_categoryOpener;
};
