// The category model built from the service's answer, the search in it and
// the controller's handling of answers (current category, buttons, loading).

#include "library/categorytree.h"

#include <QApplication>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

namespace {

struct Element
{
    double cataid;
    double parentid;
    QString name;
    QString tree;
};

QString answerFor(double accountId, int userLevel, const QList<Element> &elements)
{
    QJsonArray list;
    for (const Element &e : elements) {
        list.append(QJsonObject{{"cataid", e.cataid}, {"parentid", e.parentid}, {"cataname", e.name},
                                {"catatree", e.tree}});
    }
    const QJsonObject data{{"userLevel", userLevel}, {"cataid", accountId}, {"cataList", list}};
    const QJsonObject answer{{"code", 200}, {"status", "success"}, {"message", ""}, {"data", data}};
    return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

// "name(id)[child,child]" for every top-level row, joined by ";".
QString describe(QStandardItem *item)
{
    QString text = item->text() + QLatin1Char('(') + item->data(kCategoryIdRole).toString() + QLatin1Char(')');
    if (item->rowCount() > 0) {
        QStringList children;
        for (int r = 0; r < item->rowCount(); ++r)
            children << describe(item->child(r));
        text += QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return text;
}

QString describe(const QStandardItemModel &model)
{
    QStringList rows;
    for (int r = 0; r < model.rowCount(); ++r)
        rows << describe(model.item(r, 0));
    return rows.join(QLatin1Char(';'));
}

QMap<QString, QIcon> testIcons()
{
    QPixmap closed(8, 8);
    closed.fill(Qt::blue);
    QPixmap open(8, 8);
    open.fill(Qt::green);
    return {{QString::fromLatin1(kTreeItemRoot), QIcon(closed)}, {QString::fromLatin1(kTreeItemChild), QIcon(open)}};
}

QString deepTree(int depth)
{
    QString t = QStringLiteral("1");
    for (int i = 0; i < depth; ++i)
        t += QStringLiteral(",x");
    return t;
}

} // namespace

Q_DECLARE_METATYPE(CategoryBuildStatus)

class TestCategoryTree final : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void leafAndParentIcons();
    void stopEndsWalkEarly();
    void findCategoryItemSearchesDepthFirst();
    void messageTexts_data();
    void messageTexts();

    void answerMakesFirstItemCurrent();
    void rebuildAlignsCurrentItemWithFirstItem();
    void failedAnswerLeavesTreeEmptyAndButtonsEnabled();
    void answerDuringRebuildIsDropped();
    void appendGoesUnderCurrentOrFirst();
    void appendDiscardedWhileLoading();
    void selectByIdSetsIdNameAndItem();
};

void TestCategoryTree::build_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<CategoryBuildStatus>("status");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<int>("dropped");

    using S = CategoryBuildStatus;
    QTest::newRow("whole library, empty list") << answerFor(1, 1, {}) << S::Built << "默认分类(1)" << 0;
    QTest::newRow("account id 0 is whole library too") << answerFor(0, 2, {}) << S::Built << "默认分类(1)" << 0;
    QTest::newRow("chain of two")
        << answerFor(1, 1, {{5, 1, "first", "1,5"}, {9, 5, "second", "1,5,9"}}) << S::Built
        << "默认分类(1)[first(5)[second(9)]]" << 0;
    QTest::newRow("parent mismatch drops the element")
        << answerFor(1, 1, {{5, 1, "first", "1,5"}, {9, 6, "second", "1,5,9"}}) << S::Built
        << "默认分类(1)[first(5)]" << 1;
    QTest::newRow("descendants of a dropped element go too")
        << answerFor(1, 1,
                     {{5, 1, "a", "1,5"}, {9, 6, "b", "1,5,9"}, {11, 9, "c", "1,5,9,11"}, {12, 1, "d", "1,12"}})
        << S::Built << "默认分类(1)[a(5),d(12)]" << 2;
    QTest::newRow("siblings keep the answer's order")
        << answerFor(1, 1, {{7, 1, "zeta", "1,7"}, {3, 1, "alpha", "1,3"}, {4, 3, "beta", "1,3,4"}})
        << S::Built << "默认分类(1)[zeta(7),alpha(3)[beta(4)]]" << 0;
    QTest::newRow("child attaches only to the latest item one level up")
        << answerFor(1, 1, {{5, 1, "a", "1,5"}, {6, 1, "b", "1,6"}, {7, 5, "late child of a", "1,5,7"}})
        << S::Built << "默认分类(1)[a(5),b(6)]" << 1;
    QTest::newRow("depth 0 in whole library is dropped")
        << answerFor(1, 1, {{5, 1, "a", "1"}}) << S::Built << "默认分类(1)" << 1;
    QTest::newRow("sub-tree account")
        << answerFor(20, 2, {{20, 1, "mine", "1,20"}, {21, 20, "x", "1,20,21"}, {22, 20, "y", "1,20,22"}})
        << S::Built << "mine(20)[x(21),y(22)]" << 0;
    QTest::newRow("sub-tree: a second top element is dropped")
        << answerFor(20, 2, {{20, 1, "mine", "1,20"}, {30, 1, "other", "1,30"}}) << S::Built << "mine(20)" << 1;
    QTest::newRow("sub-tree: empty list")
        << answerFor(20, 2, {}) << S::Built << "" << 0;
    QTest::newRow("depth 49 is placed, depth 50 is dropped")
        << answerFor(20, 2, {{20, 1, "top", deepTree(48)}, {21, 20, "deep", deepTree(49)},
                             {22, 21, "too deep", deepTree(50)}})
        << S::Built << "top(20)[deep(21)]" << 1;
    QTest::newRow("sub-tree top deeper than 49 is dropped, so are its children")
        << answerFor(20, 2, {{20, 1, "top", deepTree(60)}, {21, 20, "c", deepTree(61)}})
        << S::Built << "" << 2;
    QTest::newRow("ids read as doubles and truncated")
        << answerFor(1, 1, {{12345678901.0, 1, "big", "1,12345678901"}, {7.9, 12345678901.0, "c", "1,1,7"}})
        << S::Built << "默认分类(1)[big(12345678901)[c(7)]]" << 0;
    QTest::newRow("level 4 with account id 0 is denied") << answerFor(0, 4, {{5, 1, "a", "1,5"}}) << S::Denied << ""
                                                         << 0;
    QTest::newRow("level 4 with account id 1 is not denied")
        << answerFor(1, 4, {{5, 1, "a", "1,5"}}) << S::Built << "默认分类(1)[a(5)]" << 0;
    QTest::newRow("transfer failure") << "error" << S::TransferFailed << "" << 0;
    QTest::newRow("not JSON") << "<html>busy</html>" << S::NotJson << "" << 0;
    QTest::newRow("JSON but not an object") << "[1,2]" << S::NotObject << "" << 0;
    QTest::newRow("time stamp too old")
        << R"({"code":400,"status":"fail","message":"ptime is too old.","data":{}})" << S::TimeRejected << "" << 0;
    QTest::newRow("other rejection")
        << R"({"code":403,"status":"fail","message":"sign error","data":{}})" << S::Rejected << "" << 0;
}

void TestCategoryTree::build()
{
    QFETCH(QString, answer);
    QFETCH(CategoryBuildStatus, status);
    QFETCH(QString, tree);
    QFETCH(int, dropped);

    QStandardItemModel model;
    const CategoryBuildResult result = buildCategoryModel(&model, answer, testIcons());
    QCOMPARE(result.status, status);
    QCOMPARE(describe(model), tree);
    QCOMPARE(result.dropped, dropped);
}

void TestCategoryTree::leafAndParentIcons()
{
    const auto icons = testIcons();
    QStandardItemModel model;
    buildCategoryModel(&model, answerFor(1, 1, {{5, 1, "a", "1,5"}, {9, 5, "b", "1,5,9"}, {6, 1, "c", "1,6"}}),
                       icons);
    const qint64 closed = icons.value(kTreeItemRoot).cacheKey();
    const qint64 open = icons.value(kTreeItemChild).cacheKey();
    QStandardItem *root = model.item(0, 0);
    QCOMPARE(root->icon().cacheKey(), closed);
    QCOMPARE(root->child(0)->icon().cacheKey(), closed);           // "a" received a child
    QCOMPARE(root->child(0)->child(0)->icon().cacheKey(), open);   // leaf
    QCOMPARE(root->child(1)->icon().cacheKey(), open);             // leaf
    QVERIFY(!root->isEditable());
}

void TestCategoryTree::stopEndsWalkEarly()
{
    QStandardItemModel model;
    int asked = 0;
    buildCategoryModel(&model, answerFor(1, 1, {{5, 1, "a", "1,5"}, {6, 1, "b", "1,6"}, {7, 1, "c", "1,7"}}),
                       testIcons(), [&asked] { return ++asked > 1; });
    QCOMPARE(describe(model), QStringLiteral("默认分类(1)[a(5)]"));
}

void TestCategoryTree::findCategoryItemSearchesDepthFirst()
{
    QStandardItemModel model;
    buildCategoryModel(&model,
                       answerFor(1, 1, {{5, 1, "a", "1,5"}, {9, 5, "deep", "1,5,9"}, {6, 1, "b", "1,6"}}),
                       testIcons());
    QStandardItem *root = model.item(0, 0);
    QCOMPARE(findCategoryItem(root, "1"), root->index());
    QCOMPARE(findCategoryItem(root, "9").data().toString(), QStringLiteral("deep"));
    QCOMPARE(findCategoryItem(root, "6").data().toString(), QStringLiteral("b"));
    QVERIFY(!findCategoryItem(root, "42").isValid());
    QVERIFY(!findCategoryItem(nullptr, "1").isValid());
    // The first match in depth-first order wins.
    root->child(1)->setData("9", kCategoryIdRole);
    QCOMPARE(findCategoryItem(root, "9").data().toString(), QStringLiteral("deep"));
}

void TestCategoryTree::messageTexts_data()
{
    QTest::addColumn<CategoryBuildStatus>("status");
    QTest::addColumn<QString>("text");
    using S = CategoryBuildStatus;
    QTest::newRow("built") << S::Built << "";
    QTest::newRow("not an object") << S::NotObject << "";
    QTest::newRow("transfer") << S::TransferFailed << "无法获取视频分类\r\n";
    QTest::newRow("parse") << S::NotJson << "无法获取视频分类\r\n";
    QTest::newRow("rejected") << S::Rejected << "无法获取视频分类\r\n";
    QTest::newRow("time") << S::TimeRejected << "无法获取视频分类\r\n校验时间戳失败，请检查您的系统时间";
    QTest::newRow("denied") << S::Denied << "您没有目录权限，无法使用客户端";
}

void TestCategoryTree::messageTexts()
{
    QFETCH(CategoryBuildStatus, status);
    QFETCH(QString, text);
    QCOMPARE(categoryMessageText(status), text);
}

// ---- the controller -------------------------------------------------------------

namespace {

struct Column
{
    QWidget window;
    QTreeView *view = new QTreeView(&window);
    QFrame *loading = new QFrame(&window);
    QLabel *movie = new QLabel(loading);
    QPushButton *add = new QPushButton(&window);
    QPushButton *refresh = new QPushButton(&window);
    QStringList messages;
    CategoryTree tree{{view, loading, movie, add, refresh}, QStringLiteral("100"), QStringLiteral("key")};

    Column()
    {
        loading->hide();
        tree.setMessageSink([this](const QString &text) { messages << text; });
    }
};

const QList<Element> kTwoLevels = {{5, 1, "a", "1,5"}, {9, 5, "b", "1,5,9"}, {6, 1, "c", "1,6"}};

} // namespace

void TestCategoryTree::answerMakesFirstItemCurrent()
{
    Column c;
    QSignalSpy rebuilt(&c.tree, &CategoryTree::rebuilt);
    c.tree.applyAnswer(answerFor(1, 1, {}));
    QCOMPARE(c.tree.currentId(), QStringLiteral("1"));
    QCOMPARE(c.tree.currentName(), QStringLiteral("默认分类"));
    QCOMPARE(c.tree.currentItem(), c.tree.model()->item(0, 0));
    QVERIFY(c.messages.isEmpty());
    QCOMPARE(rebuilt.count(), 1);
    QCOMPARE(rebuilt.at(0).at(0).toBool(), true);
    QVERIFY(c.loading->isHidden());
    QCOMPARE(c.view->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestCategoryTree::rebuildAlignsCurrentItemWithFirstItem()
{
    Column c;
    c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    QVERIFY(c.tree.selectById("9"));
    QCOMPARE(c.tree.currentName(), QStringLiteral("b"));

    c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    // Id, name and item all point at the first top-level item again.
    QCOMPARE(c.tree.currentId(), QStringLiteral("1"));
    QCOMPARE(c.tree.currentName(), QStringLiteral("默认分类"));
    QCOMPARE(c.tree.currentItem(), c.tree.model()->item(0, 0));
    QVERIFY(c.tree.appendCategory("new", "77"));
    QCOMPARE(c.tree.model()->item(0, 0)->rowCount(), 3);
    QCOMPARE(c.tree.model()->item(0, 0)->child(2)->data(kCategoryIdRole).toString(), QStringLiteral("77"));
}

void TestCategoryTree::failedAnswerLeavesTreeEmptyAndButtonsEnabled()
{
    Column c;
    c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    c.add->setEnabled(false);
    c.refresh->setEnabled(false);
    QSignalSpy rebuilt(&c.tree, &CategoryTree::rebuilt);
    c.tree.applyAnswer(QStringLiteral(R"({"code":400,"message":"ptime is too old.","data":{}})"));
    QCOMPARE(c.tree.model()->rowCount(), 0);
    QVERIFY(c.tree.currentId().isEmpty());
    QVERIFY(!c.tree.currentItem());
    QCOMPARE(c.messages, QStringList{"无法获取视频分类\r\n校验时间戳失败，请检查您的系统时间"});
    QVERIFY(c.add->isEnabled());
    QVERIFY(c.refresh->isEnabled());
    QCOMPARE(rebuilt.at(0).at(0).toBool(), false);
    QVERIFY(!c.tree.appendCategory("x", "1"));
}

void TestCategoryTree::answerDuringRebuildIsDropped()
{
    Column c;
    // A second answer arriving while the first one's message is open.
    bool nested = false;
    c.tree.setMessageSink([&](const QString &) {
        if (nested)
            return;
        nested = true;
        c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    });
    c.tree.applyAnswer(QStringLiteral("error"));
    QVERIFY(nested);
    QCOMPARE(c.tree.model()->rowCount(), 0); // the nested answer did not build
    QVERIFY(c.add->isEnabled());
}

void TestCategoryTree::appendGoesUnderCurrentOrFirst()
{
    Column c;
    c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    const QModelIndex a = findCategoryItem(c.tree.model()->item(0, 0), "5");
    c.tree.selectIndex(a);
    QCOMPARE(c.tree.current().cataid, QStringLiteral("5"));
    QVERIFY(c.tree.appendCategory("新的 目录", "88"));
    QStandardItem *itemA = c.tree.model()->itemFromIndex(a);
    QCOMPARE(itemA->rowCount(), 2);
    QCOMPARE(itemA->child(1)->text(), QStringLiteral("新的 目录"));
    QCOMPARE(itemA->child(1)->data(kCategoryIdRole).toString(), QStringLiteral("88"));
}

void TestCategoryTree::appendDiscardedWhileLoading()
{
    Column c;
    c.tree.applyAnswer(answerFor(1, 1, {}));
    c.loading->show();
    QVERIFY(!c.tree.appendCategory("x", "2"));
    QCOMPARE(c.tree.model()->item(0, 0)->rowCount(), 0);
}

void TestCategoryTree::selectByIdSetsIdNameAndItem()
{
    Column c;
    c.tree.applyAnswer(answerFor(1, 1, kTwoLevels));
    QVERIFY(c.tree.selectById("6"));
    QCOMPARE(c.tree.currentName(), QStringLiteral("c"));
    QCOMPARE(c.tree.currentItem()->data(kCategoryIdRole).toString(), QStringLiteral("6"));
    QCOMPARE(c.view->currentIndex().data().toString(), QStringLiteral("c"));
    QVERIFY(!c.tree.selectById("404"));
    QCOMPARE(c.tree.currentId(), QStringLiteral("6"));
}

QTEST_MAIN(TestCategoryTree)
#include "tst_categorytree.moc"
