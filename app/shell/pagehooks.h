#pragma once

#include <QString>

#include <functional>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QTimer;
class QWidget;
class CategoryTree;
struct AccountRecord;
struct CategoryRef;

// The five pages of the main window, in the order of its stacked widget.
enum class ShellPage : int { Upload = 0, Manage = 1, Search = 2, History = 3, Settings = 4 };

// What the main window offers to the page widgets it hosts. The main window
// implements it; pages keep the pointer for as long as they live (they are
// children of the window, so the window outlives them).
class ShellServices
{
public:
    virtual ~ShellServices() = default;

    virtual AccountRecord *account() const = 0;
    // QDir::currentPath() + "/users/" + md5(e-mail) + "/", created at start.
    virtual QString userDataFolder() const = 0;
    // The category tree: current category, its model (ids under Qt::UserRole + 1).
    virtual CategoryTree *categoryTree() const = 0;
    // The status timer of the upload queue (not started; the queue connects and starts it).
    virtual QTimer *statusTimer() const = 0;
    // Switches the page like the navigation column does (checks the navigation
    // button, shows or hides the category tree). Showing the manage page this
    // way does not call ShellHooks::enterManagePage.
    virtual void showPage(ShellPage page) = 0;
    // True once the window has accepted its close (long loops stop early then).
    virtual bool isClosingDown() const = 0;
    // Parent for the pages' message dialogs.
    virtual QWidget *dialogParent() = 0;
};

// What the pages hand back to the main window. Every member may stay empty;
// an empty member means "nothing to do" (or the stated default).
struct ShellHooks
{
    // Close and log-out path.
    std::function<bool()> isUploadListEmpty;        // empty member: true
    std::function<bool()> isFillingUploadList;      // adding files or loading records; empty: false
    std::function<void()> saveUploadRecordsAndClear; // writes uploadInfo.json, empties the list
    std::function<void()> saveHistory;
    std::function<void()> saveSettings;
    std::function<void()> saveNetParams;
    // Start-up: the history is loaded after the upload queue was restored.
    std::function<void()> loadHistory;
    // Destruction: ask every running row to stop.
    std::function<void()> stopRunningUploads;

    // Navigation into the manage page (leftManagerBtn): the page decides
    // whether the videos of the current category must be requested.
    std::function<void(const CategoryRef &current)> enterManagePage;
    // A click in the category tree while the manage page is shown.
    std::function<void(const CategoryRef &current)> categoryClickedOnManagePage;

    // A category answer was processed; ok when the service accepted it
    // (the upload page enables its buttons then).
    std::function<void(bool ok)> categoriesBuilt;

    // Drag and drop onto the main window (the upload queue decides).
    std::function<void(QDragEnterEvent *)> dragEnter;
    std::function<void(QDragMoveEvent *)> dragMove;
    std::function<void(QDropEvent *)> drop;
};
