#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>

#include "app/shell/framelessgeometry.h"
#include "app/shell/pagehooks.h"

namespace Ui {
class MainWindow;
}
class QButtonGroup;
class QModelIndex;
class QTimer;
class QUrl;
struct AccountRecord;
class CategoryTree;

// The program's main window: frameless, with its own title area, the
// navigation column, the category tree and the five pages.
class ZavixUploadClient final : public QMainWindow, public ShellServices
{
    Q_OBJECT
    Q_DISABLE_COPY(ZavixUploadClient)

public:
    explicit ZavixUploadClient(AccountRecord *account, QWidget *parent = nullptr);
    ~ZavixUploadClient() override;

    // ShellServices
    AccountRecord *account() const override { return m_account; }
    QString userDataFolder() const override { return m_userDataFolder; }
    CategoryTree *categoryTree() const override { return m_categories; }
    QTimer *statusTimer() const override { return m_statusTimer; }
    void showPage(ShellPage page) override;
    bool isClosingDown() const override { return m_alreadyClosing; }
    QWidget *dialogParent() override { return this; }

    // The pages fill these in hostPages() (or tests do).
    ShellHooks &hooks() { return m_hooks; }

    // Called by the destruction after a log-out. By default it starts the
    // program again as a detached process; tests replace it.
    void setRestartAction(std::function<void()> action) { m_restartAction = std::move(action); }
    // Opens the vendor's pages; by default in the browser. Tests replace it.
    void setUrlOpener(std::function<void(const QUrl &)> opener) { m_urlOpener = std::move(opener); }

    bool isChangingAccount() const { return m_changeAccount; }
    bool isUploadChannelWcs() const { return m_uploadTypeWcs; }

    // The texts of the package information dialog.
    static QString packageInfoText(const QString &name, const QString &remainSpace, int leftDay);

public slots:
    void cataThreadResultSlot(QString catajs);

    void on_minimizeBtn_clicked();
    void on_maxCBX_clicked(bool checked);
    void on_closeBtn_clicked();
    void on_accountOperaBtn_clicked();
    void packageInfoSlot();
    void techSupportSlot();
    void changeAccountSlot();
    void on_renewBtn_clicked();
    void on_zavixNetAdressBtn_clicked();
    void on_leftUploadBtn_clicked();
    void on_leftManagerBtn_clicked();
    void on_leftSearchBtn_clicked();
    void on_leftHistoryBtn_clicked();
    void on_settingBtn_clicked();

    void on_mRefreshCataBtn_clicked();
    void on_managerTreeView_clicked(const QModelIndex &index);
    void on_managerTreeView_expanded(const QModelIndex &index);
    void on_mAddCataBtn_clicked();
    void mAddCataBtnSlot(QString cataname, QString cataid);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // ---- Page contents -----------------------------------------------------
    // Each page area adds its widget into its page here and fills m_hooks.
    void hostPages();
    void hostInPage(QWidget *page, QWidget *content);

    void setupAccountArea();
    void switchPage(ShellPage page, bool showTree);
    bool confirmLeavingUploads();
    void saveStateForExit();
    void showNotice(const QString &text);
    void restoreNormalSize();
    QRect currentDragArea() const;
    void updateHandles();

    Ui::MainWindow *m_ui;
    AccountRecord *m_account;
    QString m_email;
    QString m_uid;
    QString m_userId;
    QString m_secretKey;
    QString m_remainSpace;
    int m_leftDay = 0;
    QString m_cataJson;
    bool m_uploadTypeWcs = false;
    QString m_userDataFolder;

    bool m_changeAccount = false;
    bool m_alreadyClosing = false;

    // Frameless-window state.
    bool m_dragging = false;
    bool m_firstMove = false;
    QPoint m_pressInWindow;
    bool m_resizing = false;
    int m_handle = frameless::NoHandle;
    QPoint m_pressGlobal;
    QPoint m_currentGlobal;
    QRect m_pressGeometry;
    frameless::HandleRects m_handles{};

    QTimer *m_statusTimer = nullptr;
    QButtonGroup *m_navGroup = nullptr;
    CategoryTree *m_categories = nullptr;
    ShellHooks m_hooks;
    std::function<void()> m_restartAction;
    std::function<void(const QUrl &)> m_urlOpener;
};
