#pragma once

#include <QIcon>
#include <QMap>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QMovie;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class GetJsonThread;

// A category as the other pages see it.
struct CategoryRef
{
    QString cataid;
    QString name;
};

// Role under which every item keeps its category id (decimal text).
constexpr int kCategoryIdRole = Qt::UserRole + 1;
// Depths 0 to 49 can be placed; deeper elements are dropped.
constexpr int kCategoryLevels = 50;

// Keys of the icon table.
inline const char kTreeItemRoot[] = "treeItem_root";   // closed folder
inline const char kTreeItemChild[] = "treeItem_child"; // open folder (leaves)

enum class CategoryBuildStatus {
    Built,          // the tree was built (maybe with dropped elements)
    TransferFailed, // the answer is "error"
    NotJson,
    NotObject,      // valid JSON but no object: nothing shown
    TimeRejected,   // code not 200, message mentions ptime
    Rejected,       // code not 200 otherwise
    Denied,         // userLevel 4 with account id 0
};

struct CategoryBuildResult
{
    CategoryBuildStatus status = CategoryBuildStatus::NotObject;
    int dropped = 0; // elements of cataList that found no place
    bool accepted() const { return status == CategoryBuildStatus::Built || status == CategoryBuildStatus::Denied; }
};

// The text shown to the user for a build result, empty when nothing is shown.
QString categoryMessageText(CategoryBuildStatus status);

// An id of the answer: a JSON number read as double, truncated to 64 bits, in decimal.
QString categoryIdText(const QJsonValue &value);

// Fills `model` (expected empty) from the category answer. `icons` is the icon
// table ("treeItem_root", "treeItem_child"); `stop` ends the walk early when it
// returns true.
CategoryBuildResult buildCategoryModel(QStandardItemModel *model, const QString &answer,
                                       const QMap<QString, QIcon> &icons,
                                       const std::function<bool()> &stop = {});

// Prepares the view (no editing, no header, the model) and builds the model.
CategoryBuildResult buildCategoryTree(QTreeView *view, QStandardItemModel *model, const QString &answer,
                                      const QMap<QString, QIcon> &icons,
                                      const std::function<bool()> &stop = {});

// Depth-first search from `start` (itself first, then its children in row
// order) for the item whose id is `cataid`. Invalid when none or start is null.
QModelIndex findCategoryItem(QStandardItem *start, const QString &cataid);

// The widgets of the tree column that the controller drives.
struct CategoryTreeWidgets
{
    QTreeView *view = nullptr;
    QWidget *loadingFrame = nullptr;
    QLabel *movieLabel = nullptr;
    QAbstractButton *addButton = nullptr;
    QAbstractButton *refreshButton = nullptr;
};

// The category tree of the main window: its model, the current category, the
// refresh request and the rebuild from an answer.
class CategoryTree final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CategoryTree)

public:
    CategoryTree(const CategoryTreeWidgets &widgets, QString uid, QString secretKey,
                 QObject *parent = nullptr);
    ~CategoryTree() override;

    QStandardItemModel *model() const { return m_model; }
    QTreeView *view() const { return m_widgets.view; }
    const QMap<QString, QIcon> &icons() const { return m_icons; }

    // The current category (empty before the first build).
    CategoryRef current() const { return {m_currentId, m_currentName}; }
    QString currentId() const { return m_currentId; }
    QString currentName() const { return m_currentName; }
    QStandardItem *currentItem() const { return m_currentItem; }

    // The category a new upload or a new category goes under: the current one
    // when its id is set, otherwise the first top-level item.
    CategoryRef effectiveCurrent() const;

    bool hasCategories() const;
    bool isLoadingShown() const; // loading frame visible

    // Shows the messages of a rebuild; by default a modal MessageInfo on `parent`.
    void setMessageParent(QWidget *parent) { m_messageParent = parent; }
    void setMessageSink(std::function<void(const QString &)> sink) { m_messageSink = std::move(sink); }
    // Asked during a build; a true answer ends the walk early.
    void setStopPredicate(std::function<bool()> stop) { m_stop = std::move(stop); }

    // Refresh: loading frame, both buttons disabled, request in a worker thread.
    void refresh();
    // Rebuild from an answer text (or "error").
    void applyAnswer(const QString &answer);
    // A click: the item at index becomes the current category.
    void selectIndex(const QModelIndex &index);
    // Makes the category with this id current (tree selection, id, name and item).
    bool selectById(const QString &cataid);
    // Appends a category made by the add dialog under the current item (or the
    // first top-level item). False when it was discarded (refresh running, no tree).
    bool appendCategory(const QString &name, const QString &cataid);

    // Waits for a running category request and deletes it (window destruction).
    void finishRequest();

    // The request URL of the category list (for tests and the log).
    QString requestUrl() const;

signals:
    // After every processed answer; accepted when the service answered code 200.
    void rebuilt(bool accepted);
    void currentChanged(const CategoryRef &current);

private:
    void showLoading(bool on);
    void setButtonsEnabled(bool on);
    void showMessage(const QString &text);
    void disposeRequest();
    void requestCategories();

    CategoryTreeWidgets m_widgets;
    QString m_uid;
    QString m_secretKey;
    QStandardItemModel *m_model = nullptr;
    QMap<QString, QIcon> m_icons;
    QMovie *m_movie = nullptr;
    QString m_currentId;
    QString m_currentName;
    QStandardItem *m_currentItem = nullptr;
    bool m_treeLoading = false;
    QPointer<GetJsonThread> m_request;
    QPointer<QWidget> m_messageParent;
    std::function<void(const QString &)> m_messageSink;
    std::function<bool()> m_stop;
};
