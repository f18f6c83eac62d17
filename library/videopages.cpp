#include "library/videopages.h"

#include "app/shell/pagehooks.h"
#include "library/categorytree.h"
#include "library/videomanagepage.h"
#include "library/videopagehost.h"
#include "library/videosearchpage.h"

#include <QObject>

namespace {

// The video pages' view of the main window.
class ShellVideoPageHost final : public QObject, public VideoPageHost
{
public:
    ShellVideoPageHost(ShellServices *services, QObject *parent)
        : QObject(parent)
        , m_services(services)
    {
    }

    AccountRecord *account() const override { return m_services->account(); }
    QStandardItemModel *categoryModel() const override
    {
        CategoryTree *tree = m_services->categoryTree();
        return tree ? tree->model() : nullptr;
    }
    QString currentCategoryId() const override
    {
        CategoryTree *tree = m_services->categoryTree();
        return tree ? tree->currentId() : QString();
    }
    void showCategoryOnManagePage(const QString &cataid) override
    {
        m_services->showPage(ShellPage::Manage);
        if (CategoryTree *tree = m_services->categoryTree())
            tree->selectById(cataid);
    }
    bool isClosingDown() const override { return m_services->isClosingDown(); }
    QWidget *dialogParent() override { return m_services->dialogParent(); }

private:
    Q_DISABLE_COPY(ShellVideoPageHost)
    ShellServices *m_services;
};

} // namespace

VideoPages createVideoPages(ShellServices *services, ShellHooks &hooks, QWidget *parent)
{
    auto *host = new ShellVideoPageHost(services, parent);
    VideoPages pages;
    pages.manage = new VideoManagePage(host, parent);
    pages.manage->setObjectName(QStringLiteral("videoManagePage"));
    pages.search = new VideoSearchPage(host, parent);
    pages.search->setObjectName(QStringLiteral("videoSearchPage"));

    VideoManagePage *manage = pages.manage;
    QObject::connect(pages.search, &VideoSearchPage::openCategoryRequested, manage,
                     [manage](const QString &cataid) { manage->openCategory(cataid); });
    hooks.enterManagePage = [manage](const CategoryRef &) { manage->enterPage(); };
    hooks.categoryClickedOnManagePage = [manage](const CategoryRef &) { manage->categoryClicked(); };
    return pages;
}
