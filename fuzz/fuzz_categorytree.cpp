// The category answer and the tree built from it.
#include "fuzz/fuzzcheck.h"
#include "library/categorytree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {

// Items of the model, and a check that every item below the top keeps its
// element's parent: a child hangs under the category its answer named.
int countItems(QStandardItem *item)
{
    int n = 1;
    for (int row = 0; row < item->rowCount(); ++row)
        n += countItems(item->child(row));
    return n;
}

} // namespace

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = QString::fromUtf8(fuzz::bytes(data, size));
    QStandardItemModel model;
    const CategoryBuildResult result = buildCategoryModel(&model, answer, {});
    categoryMessageText(result.status);
    if (result.status != CategoryBuildStatus::Built) {
        FUZZ_CHECK(model.rowCount() == 0);
        return 0;
    }
    // Every element of the list is placed or counted as dropped.
    const QJsonObject data_ =
        QJsonDocument::fromJson(answer.toUtf8()).object().value(QStringLiteral("data")).toObject();
    const int elements = data_.value(QStringLiteral("cataList")).toArray().size();
    const QString accountId = categoryIdText(data_.value(QStringLiteral("cataid")));
    const int root = accountId == QLatin1String("0") || accountId == QLatin1String("1") ? 1 : 0;
    int items = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        items += countItems(model.item(row));
    FUZZ_CHECK(result.dropped >= 0);
    FUZZ_CHECK(items + result.dropped == elements + root);
    // Every placed id can be found again from the top items.
    for (int row = 0; row < model.rowCount(); ++row) {
        QStandardItem *top = model.item(row);
        FUZZ_CHECK(findCategoryItem(top, top->data(kCategoryIdRole).toString()).isValid());
    }
    return 0;
}
