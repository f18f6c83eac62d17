#pragma once

// A stand-in for the main window around the video pages, and the service
// data the page tests run against.

#include "account/accountrecord.h"
#include "devservice/devservice.h"
#include "library/categorytree.h"
#include "library/videopagehost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardItemModel>
#include <QStringList>
#include <QWidget>

class FakeVideoHost final : public VideoPageHost
{
public:
    FakeVideoHost()
    {
        record.email = QStringLiteral("six@zavix.test");
        record.uid = QStringLiteral("1001");
        record.userId = QStringLiteral("1001");
        record.secretKey = QStringLiteral("SK-1001");
        record.userLevel = QStringLiteral("6");
        window.resize(1000, 700);
        auto *root = new QStandardItem(QStringLiteral("默认分类"));
        root->setData(QStringLiteral("1"), kCategoryIdRole);
        auto *child = new QStandardItem(QStringLiteral("课程"));
        child->setData(QStringLiteral("5"), kCategoryIdRole);
        root->appendRow(child);
        model.appendRow(root);
        currentId = QStringLiteral("1");
    }

    AccountRecord *account() const override { return const_cast<AccountRecord *>(&record); }
    QStandardItemModel *categoryModel() const override { return const_cast<QStandardItemModel *>(&model); }
    QString currentCategoryId() const override { return currentId; }
    void showCategoryOnManagePage(const QString &cataid) override
    {
        shownCategories.append(cataid);
        currentId = cataid;
    }
    bool isClosingDown() const override { return closing; }
    QWidget *dialogParent() override { return &window; }

    AccountRecord record;
    QStandardItemModel model;
    QString currentId;
    QStringList shownCategories;
    bool closing = false;
    QWidget window;
};

// Two accounts (level 6 and level 1) with a few videos.
inline QByteArray videoSeed()
{
    const char *seed = R"({
      "accounts": [
        {"userId": "1001", "email": "six@zavix.test", "password": "pw", "secretKey": "SK-1001",
         "userLevel": 6, "cataid": 1},
        {"userId": "1002", "email": "one@zavix.test", "password": "pw", "secretKey": "SK-1002",
         "userLevel": 1, "cataid": 1}
      ],
      "categories": [
        {"cataid": 5, "parentid": 1, "cataname": "课程", "owner": "1001"}
      ],
      "videos": [
        {"vid": "vidA", "owner": "1001", "cataid": 1, "title": "Alpha", "tag": "t1", "describ": "d1",
         "ageMinutes": 5},
        {"vid": "vidB", "owner": "1001", "cataid": 5, "title": "Beta", "ageMinutes": 4},
        {"vid": "vidU", "owner": "1001", "cataid": 1, "title": "Uploading", "status": "5", "ageMinutes": 3},
        {"vid": "vidL", "owner": "1002", "cataid": 1, "title": "Low level", "ageMinutes": 2}
      ]
    })";
    return QByteArray(seed);
}

// A list answer with the given total text and videos.
inline QByteArray listAnswer(const QString &total, const QJsonArray &videos, const QString &status = "200")
{
    QJsonObject o;
    o.insert(QStringLiteral("code"), 200);
    o.insert(QStringLiteral("status"), status);
    o.insert(QStringLiteral("message"), total);
    o.insert(QStringLiteral("data"), videos);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline QJsonObject videoJson(const QString &vid, const QString &title, const QString &status = "61",
                             const QString &ptime = "1553673909123", const QString &image = QString())
{
    QJsonObject o;
    o.insert(QStringLiteral("vid"), vid);
    o.insert(QStringLiteral("title"), title);
    o.insert(QStringLiteral("duration"), QStringLiteral("00:01:30"));
    o.insert(QStringLiteral("times"), QStringLiteral("12"));
    o.insert(QStringLiteral("playerwidth"), QStringLiteral("600"));
    o.insert(QStringLiteral("playerheight"), QStringLiteral("400"));
    o.insert(QStringLiteral("status"), status);
    o.insert(QStringLiteral("first_image"), image);
    o.insert(QStringLiteral("ptime"), ptime);
    o.insert(QStringLiteral("cataid"), QStringLiteral("5"));
    o.insert(QStringLiteral("cataname"), QStringLiteral("课程"));
    return o;
}
