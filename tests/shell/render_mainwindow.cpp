// Renders the main window's five pages and the add-category dialog to PNG
// files (offscreen), styled with the application style sheet, for review:
//     render_mainwindow <output folder>

#include "account/accountrecord.h"
#include "app/shell/zavixuploadclient.h"
#include "devservice/devservice.h"
#include "library/addcatadialog.h"
#include "net/api.h"
#include "net/servicehosts.h"
#include "net/transfer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
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

// The OSS demo account of the local service, with the category answer a
// login would have fetched.
AccountRecord demoAccount()
{
    AccountRecord a;
    a.email = QStringLiteral("oss@zavix.test");
    a.uid = QStringLiteral("10001");
    a.userId = QStringLiteral("10001");
    a.remainSpace = QStringLiteral("50.00");
    a.packageType = QStringLiteral("企业版");
    a.secretKey = QStringLiteral("sk-oss-5f2c9d1a");
    a.leftDay = 365;
    a.uploadType = QStringLiteral("0");
    a.userLevel = QStringLiteral("6");
    const QString ptime = QString::number(currentPtime());
    const QString url = hosts::apiHost() + QStringLiteral("/v2/video/") + a.uid + QStringLiteral("/cata?ptime=")
        + ptime + QStringLiteral("&sign=") + signParams(QStringLiteral("ptime=") + ptime + a.secretKey);
    const TransferResult answer = jsonGet(url.toUtf8());
    a.cataJson = answer.ok ? QString::fromUtf8(answer.body) : QStringLiteral("error");
    return a;
}

// Closes whatever modal message a page may raise while nobody looks.
void dismissModalsForever()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !qobject_cast<AddCataDialog *>(modal)) {
            QTextStream(stdout) << "closed a message: " << modal->objectName() << "\n";
            modal->close();
        }
    });
    timer->start(50);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The pages talk to the local service, seeded with the demo data.
    devsvc::DevService service;
    service.seedFromFile(devsvc::DevService::demoSeedPath());
    if (!service.start()) {
        QTextStream(stderr) << "cannot start the local service: " << service.errorString() << "\n";
        return 1;
    }
    qputenv("ZAVIX_SERVICE_URL", service.baseUrl().toUtf8());
    dismissModalsForever();
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
    // The queued first tree and the pages' first answers.
    for (int i = 0; i < 40; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(25);
    }
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
        for (int i = 0; i < 20; ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(25);
        }
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
