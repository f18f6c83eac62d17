#pragma once

#include <QPoint>
#include <QStringList>

#include <functional>
#include <QWidget>

namespace Ui {
class UploadPage;
}
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMovie;
class ShellServices;
struct ShellHooks;
class UploadQueue;
class UploadWidget;
struct UploadCategory;

// The upload page of the main window: the file choice, the queue list with
// its header row, the status line and the optimisation tip line.
class UploadPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(UploadPage)

public:
    // services may be null (tests configure the queue directly then).
    explicit UploadPage(ShellServices *services, QWidget *parent = nullptr);
    ~UploadPage() override;

    UploadQueue *queue() const { return m_queue; }
    // The header row above the list (uploadTWidget).
    UploadWidget *headerRow() const;
    // Hands the close, save and drop hooks to the main window.
    void fillHooks(ShellHooks &hooks);

    // The tip line follows the optimisation setting.
    void setLupingTip(bool on);
    QString lupingTipText() const;

    // Drop handling with positions in main-window coordinates. The drop zone
    // starts at dropOrigin and has the size of uploadLblWidget.
    void dragEnter(QDragEnterEvent *event);
    void dragMove(QDragMoveEvent *event);
    void drop(QDropEvent *event);
    void setDropOrigin(const QPoint &origin) { m_dropOrigin = origin; }
    QRect dropZone() const;

    // The empty state of a fresh window: status line reset, no slots in use,
    // the 1-second status tick started.
    void startQueue();

    // The file dialog; tests replace it.
    void setFileChooser(std::function<QStringList(QWidget *, const QString &folder,
                                                  const QString &filter)> chooser);

signals:
    void settingsRequested();

public slots:
    void on_uploadVideoBtn_clicked();
    void on_allStartBtn_clicked();
    void on_clearListBtn_clicked();
    void on_settingTipBtn_clicked();

private:
    bool hasCategories() const;
    UploadCategory currentCategory() const;
    void showNoCategoryMessage();

    Ui::UploadPage *m_ui;
    ShellServices *m_services;
    UploadQueue *m_queue = nullptr;
    QMovie *m_loadingMovie = nullptr;
    QPoint m_dropOrigin{262, 144};
    std::function<QStringList(QWidget *, const QString &, const QString &)> m_fileChooser;
};
