#include "library/categorytree.h"

#include "app/messageinfo.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/workers.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLabel>
#include <QMovie>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtDebug>

#include <array>
#include <cmath>

namespace {

QStandardItem *makeItem(const QIcon &icon, const QString &text, const QString &cataid)
{
    auto *item = new QStandardItem(icon, text);
    item->setData(cataid, kCategoryIdRole);
    item->setEditable(false);
    return item;
}

// The same picture for a selected item: the view would tint it otherwise.
QIcon folderIcon(const QString &path)
{
    QIcon icon;
    const QPixmap pixmap(path);
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Selected);
    return icon;
}

} // namespace

QString categoryMessageText(CategoryBuildStatus status)
{
    switch (status) {
    case CategoryBuildStatus::TransferFailed:
    case CategoryBuildStatus::NotJson:
    case CategoryBuildStatus::Rejected:
        return QObject::tr("无法获取视频分类\r\n");
    case CategoryBuildStatus::TimeRejected:
        return QObject::tr("无法获取视频分类\r\n校验时间戳失败，请检查您的系统时间");
    case CategoryBuildStatus::Denied:
        return QObject::tr("您没有目录权限，无法使用客户端");
    case CategoryBuildStatus::Built:
    case CategoryBuildStatus::NotObject:
        break;
    }
    return QString();
}

QString categoryIdText(const QJsonValue &value)
{
    const double d = value.toDouble();
    // Out-of-range or non-finite numbers cannot be truncated safely: treat as 0.
    if (!std::isfinite(d) || d >= 9.2233720368547758e18 || d <= -9.2233720368547758e18)
        return QStringLiteral("0");
    return QString::number(static_cast<qint64>(d));
}

CategoryBuildResult buildCategoryModel(QStandardItemModel *model, const QString &answer,
                                       const QMap<QString, QIcon> &icons,
                                       const std::function<bool()> &stop)
{
    CategoryBuildResult result;
    if (answer == QLatin1String("error")) {
        result.status = CategoryBuildStatus::TransferFailed;
        return result;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        result.status = CategoryBuildStatus::NotJson;
        return result;
    }
    if (!doc.isObject()) {
        result.status = CategoryBuildStatus::NotObject;
        return result;
    }
    const QJsonObject object = doc.object();
    const int code = object.value(QLatin1String("code")).toInt();
    const QString message = object.value(QLatin1String("message")).toString();
    if (code != 200) {
        model->clear();
        result.status = message.contains(QLatin1String("ptime")) ? CategoryBuildStatus::TimeRejected
                                                                  : CategoryBuildStatus::Rejected;
        return result;
    }

    const QJsonObject data = object.value(QLatin1String("data")).toObject();
    const QString userLevel = QString::number(data.value(QLatin1String("userLevel")).toInt());
    const QString accountId = categoryIdText(data.value(QLatin1String("cataid")));
    if (userLevel == QLatin1String("4") && accountId == QLatin1String("0")) {
        result.status = CategoryBuildStatus::Denied;
        return result;
    }
    result.status = CategoryBuildStatus::Built;

    const QIcon rootIcon = icons.value(QLatin1String(kTreeItemRoot));
    const QIcon childIcon = icons.value(QLatin1String(kTreeItemChild));
    std::array<QStandardItem *, kCategoryLevels> levels{};
    const bool wholeLibrary = accountId == QLatin1String("1") || accountId == QLatin1String("0");
    if (wholeLibrary) {
        QStandardItem *root = makeItem(rootIcon, QObject::tr("默认分类"), QStringLiteral("1"));
        model->appendRow(root);
        levels[0] = root;
    }

    const QJsonArray list = data.value(QLatin1String("cataList")).toArray();
    bool first = true;
    for (const QJsonValue &value : list) {
        if (stop && stop())
            break;
        const QJsonObject element = value.toObject();
        const QString parentId = categoryIdText(element.value(QLatin1String("parentid")));
        const QString tree = element.value(QLatin1String("catatree")).toString();
        const QString name = element.value(QLatin1String("cataname")).toString();
        const QString cataid = categoryIdText(element.value(QLatin1String("cataid")));
        const int depth = tree.count(QLatin1Char(','));
        const bool isSubTreeTop = !wholeLibrary && first;
        first = false;

        if (depth >= kCategoryLevels) {
            ++result.dropped; // no slot for it, nor for anything below it
            continue;
        }
        if (isSubTreeTop) {
            QStandardItem *top = makeItem(rootIcon, name, cataid);
            model->appendRow(top);
            levels[static_cast<size_t>(depth)] = top;
            continue;
        }
        QStandardItem *parent = depth >= 1 ? levels[static_cast<size_t>(depth - 1)] : nullptr;
        if (!parent || parent->data(kCategoryIdRole).toString() != parentId) {
            ++result.dropped;
            continue;
        }
        parent->setIcon(rootIcon);
        QStandardItem *child = makeItem(childIcon, name, cataid);
        parent->appendRow(child);
        levels[static_cast<size_t>(depth)] = child;
    }
    return result;
}

CategoryBuildResult buildCategoryTree(QTreeView *view, QStandardItemModel *model, const QString &answer,
                                      const QMap<QString, QIcon> &icons, const std::function<bool()> &stop)
{
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->hide();
    if (view->model() != model)
        view->setModel(model);
    return buildCategoryModel(model, answer, icons, stop);
}

QModelIndex findCategoryItem(QStandardItem *start, const QString &cataid)
{
    if (!start)
        return QModelIndex();
    if (start->data(kCategoryIdRole).toString() == cataid)
        return start->index();
    for (int row = 0; row < start->rowCount(); ++row) {
        const QModelIndex found = findCategoryItem(start->child(row), cataid);
        if (found.isValid())
            return found;
    }
    return QModelIndex();
}

// ---------------------------------------------------------------------------

CategoryTree::CategoryTree(const CategoryTreeWidgets &widgets, QString uid, QString secretKey, QObject *parent)
    : QObject(parent)
    , m_widgets(widgets)
    , m_uid(std::move(uid))
    , m_secretKey(std::move(secretKey))
{
    m_model = new QStandardItemModel(m_widgets.view);
    m_icons.insert(QLatin1String(kTreeItemRoot), folderIcon(QStringLiteral(":/res/Resources/icon-folder-close.png")));
    m_icons.insert(QLatin1String(kTreeItemChild), folderIcon(QStringLiteral(":/res/Resources/icon-folder-open.png")));
    m_movie = new QMovie(QStringLiteral(":/res/Resources/loading.gif"), QByteArray(), this);
    if (m_widgets.movieLabel)
        m_widgets.movieLabel->setMovie(m_movie);
    m_widgets.view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_widgets.view->setContextMenuPolicy(Qt::NoContextMenu);
    m_widgets.view->header()->hide();
    m_widgets.view->setModel(m_model);
}

CategoryTree::~CategoryTree()
{
    reapWorker(m_request);
}

void CategoryTree::finishRequest()
{
    reapWorker(m_request);
}

CategoryRef CategoryTree::effectiveCurrent() const
{
    if (!m_currentId.isEmpty())
        return current();
    if (QStandardItem *first = m_model->item(0, 0))
        return {first->data(kCategoryIdRole).toString(), first->text()};
    return {};
}

bool CategoryTree::hasCategories() const
{
    return m_model->rowCount() > 0;
}

bool CategoryTree::isLoadingShown() const
{
    return m_widgets.loadingFrame && !m_widgets.loadingFrame->isHidden();
}

QString CategoryTree::requestUrl() const
{
    const QString ptime = QString::number(currentPtime());
    const QString sign = signParams(QStringLiteral("ptime=") + ptime + m_secretKey);
    return hosts::apiHost() + QStringLiteral("/v2/video/") + m_uid + QStringLiteral("/cata?ptime=") + ptime
        + QStringLiteral("&sign=") + sign;
}

void CategoryTree::refresh()
{
    showLoading(true);
    setButtonsEnabled(false);
    requestCategories();
}

void CategoryTree::requestCategories()
{
    const QString url = requestUrl();
    const bool issued = issueWorker(
        m_request, [&url] { return new GetJsonThread(url); }, this, &CategoryTree::applyAnswer);
    if (!issued) {
        // An earlier thread was only cleaned up; nothing will answer this
        // refresh, so do not leave the column waiting.
        showLoading(false);
        setButtonsEnabled(true);
    }
}

void CategoryTree::applyAnswer(const QString &answer)
{
    if (m_treeLoading) {
        // A rebuild is under way further up the stack (behind one of its
        // messages): this answer is dropped.
        setButtonsEnabled(true);
        return;
    }
    m_currentItem = nullptr;
    m_model->clear();
    showLoading(true);
    m_treeLoading = true;
    m_movie->start();

    const CategoryBuildResult result = buildCategoryTree(m_widgets.view, m_model, answer, m_icons, m_stop);
    const QString message = categoryMessageText(result.status);
    if (!message.isEmpty())
        showMessage(message);
    if (result.dropped > 0)
        qWarning() << "category tree: dropped elements" << result.dropped;

    m_movie->stop();
    showLoading(false);
    m_treeLoading = false;
    m_widgets.view->expand(m_model->index(0, 0));

    reapWorker(m_request);
    if (m_model->rowCount() > 0) {
        QStandardItem *first = m_model->item(0, 0);
        m_currentId = first->data(kCategoryIdRole).toString();
        m_currentName = first->text();
        // Keep the item in step with the id and name, so that a new category
        // goes where the user sees the current category.
        m_currentItem = first;
        m_widgets.view->setCurrentIndex(first->index());
    } else {
        m_currentId.clear();
        m_currentName.clear();
        m_currentItem = nullptr;
    }
    setButtonsEnabled(true);
    emit rebuilt(result.accepted());
    emit currentChanged(current());
}

void CategoryTree::selectIndex(const QModelIndex &index)
{
    QStandardItem *item = m_model->itemFromIndex(index);
    if (!item)
        return;
    m_currentName = index.data(Qt::DisplayRole).toString();
    m_currentItem = item;
    m_currentId = item->data(kCategoryIdRole).toString();
    emit currentChanged(current());
}

bool CategoryTree::selectById(const QString &cataid)
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex found = findCategoryItem(m_model->item(row, 0), cataid);
        if (found.isValid()) {
            m_widgets.view->setCurrentIndex(found);
            selectIndex(found);
            return true;
        }
    }
    return false;
}

bool CategoryTree::appendCategory(const QString &name, const QString &cataid)
{
    if (isLoadingShown())
        return false;
    QStandardItem *parent = m_currentItem ? m_currentItem : m_model->item(0, 0);
    if (!parent)
        return false;
    parent->appendRow(makeItem(m_icons.value(QLatin1String(kTreeItemChild)), name, cataid));
    return true;
}

void CategoryTree::showLoading(bool on)
{
    if (m_widgets.loadingFrame)
        m_widgets.loadingFrame->setVisible(on);
}

void CategoryTree::setButtonsEnabled(bool on)
{
    if (m_widgets.addButton)
        m_widgets.addButton->setEnabled(on);
    if (m_widgets.refreshButton)
        m_widgets.refreshButton->setEnabled(on);
}

void CategoryTree::showMessage(const QString &text)
{
    if (m_messageSink) {
        m_messageSink(text);
        return;
    }
    auto *box = new MessageInfo(m_messageParent, tr("提示"), text, tr("确定"), QString());
    box->exec();
    delete box;
}
