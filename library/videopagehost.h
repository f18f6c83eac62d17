#pragma once

#include <QString>

class QStandardItemModel;
class QWidget;
struct AccountRecord;

// What the manage and search pages need from the window that hosts them.
class VideoPageHost
{
public:
    virtual ~VideoPageHost() = default;

    virtual AccountRecord *account() const = 0;
    // The category tree's model (ids under Qt::UserRole + 1).
    virtual QStandardItemModel *categoryModel() const = 0;
    // The id of the category chosen in the tree (may be empty).
    virtual QString currentCategoryId() const = 0;
    // Makes the category current in the tree and shows the manage page with
    // the tree column (without the page's own entry rule).
    virtual void showCategoryOnManagePage(const QString &cataid) = 0;
    // True once the window has accepted its close; long loops stop then.
    virtual bool isClosingDown() const = 0;
    // Parent of the pages' notices and of the code review dialog.
    virtual QWidget *dialogParent() = 0;
};
