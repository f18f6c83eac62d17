// Renders the main window's five pages and the add-category dialog to PNG
// files (offscreen), styled with the application style sheet, for review:
//     render_mainwindow <output folder>

#include "account/accountrecord.h"
#include "app/shell/zavixuploadclient.h"
#include "library/addcatadialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

namespace {

QString styleSheet()
{
    QFile file(QStringLiteral(":/qss/zavixUploadClient.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool save(QWidget *widget, const QString &folder, const QString &name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << " (" << widget->width() << "x"
                        << widget->height() << ")\n";
    return ok;
}

AccountRecord demoAccount()
{
    AccountRecord a;
    a.email = QStringLiteral("demo@zavix.example");
    a.uid = QStringLiteral("1001");
    a.userId = QStringLiteral("1001");
    a.remainSpace = QStringLiteral("86.25");
    a.packageType = QStringLiteral("企业版");
    a.secretKey = QStringLiteral("demo-key");
    a.leftDay = 218;
    a.uploadType = QStringLiteral("0");
    a.userLevel = QStringLiteral("1");
    a.cataJson = QStringLiteral(
        R"({"code":200,"status":"success","message":"","data":{"userLevel":1,"cataid":1,"cataList":[)"
        R"({"cataid":11,"parentid":1,"cataname":"公开课","catatree":"1,11"},)"
        R"({"cataid":12,"parentid":11,"cataname":"2019 春季","catatree":"1,11,12"},)"
        R"({"cataid":13,"parentid":11,"cataname":"2019 秋季","catatree":"1,11,13"},)"
        R"({"cataid":21,"parentid":1,"cataname":"产品演示","catatree":"1,21"},)"
        R"({"cataid":31,"parentid":1,"cataname":"内部培训","catatree":"1,31"}]}})");
    return a;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep every request of the pages on this machine (nothing answers there).
    if (qEnvironmentVariableIsEmpty("ZAVIX_SERVICE_URL"))
        qputenv("ZAVIX_SERVICE_URL", "http://127.0.0.1:9");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("ui-review");
    if (!QDir().mkpath(out))
        return 1;
    const QString outAbs = QDir(out).absolutePath();
    app.setStyleSheet(styleSheet());

    // The window makes its user data folder below the working folder.
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    AccountRecord account = demoAccount();
    ZavixUploadClient window(&account);
    window.setRestartAction([] {});
    window.setUrlOpener([](const QUrl &) {});
    window.show();
    QApplication::processEvents(); // the queued first tree
    if (auto *tree = window.findChild<QTreeView *>(QStringLiteral("managerTreeView")))
        tree->expandAll();

    bool ok = true;
    const QList<QPair<const char *, const char *>> pages = {
        {"leftUploadBtn", "mainwindow-upload"},   {"leftManagerBtn", "mainwindow-manage"},
        {"leftSearchBtn", "mainwindow-search"},   {"leftHistoryBtn", "mainwindow-history"},
        {"settingBtn", "mainwindow-settings"},
    };
    for (const auto &page : pages) {
        if (auto *button = window.findChild<QAbstractButton *>(QString::fromLatin1(page.first)))
            button->click();
        ok &= save(&window, outAbs, QString::fromLatin1(page.second));
    }

    auto *dialog = new AddCataDialog(&window, account.uid, account.secretKey, QStringLiteral("11"),
                                     QStringLiteral("公开课"));
    dialog->findChild<QLineEdit *>(QStringLiteral("addCataEdit"))->setText(QStringLiteral("2020 春季"));
    dialog->show();
    ok &= save(dialog, outAbs, QStringLiteral("addcata-dialog"));
    dialog->close();

    window.hide();
    return ok ? 0 : 1;
}
