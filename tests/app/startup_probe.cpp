// A stand-in program for the startup tests: runs the real startup sequence
// with steps that only log their names. ZAVIX_PROBE_MODE picks the outcome:
//   cancel  - the login is not accepted
//   login   - the login is accepted; the event loop ends with code 7
//   update  - the update check answers "update" ("error" likewise)
//   hold    - only takes the single-instance claim, prints "holding" and
//             keeps it for ZAVIX_PROBE_HOLD_MS milliseconds
//   hosts   - like cancel; first prints "host <key> <base URL>" for every
//             service host kind as the run sees them
//   qttexts - like cancel; first prints "qttext <name> <text>" for texts of
//             Qt's own widgets under the installed translation

#include "app/startup.h"
#include "net/servicehosts.h"
#include "platform/platform.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

void print(const char *tag, const QString &name, const QString &text)
{
    std::printf("%s %s %s\n", tag, name.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stdout);
}

void printHosts()
{
    for (int i = 0; i < hosts::kKindCount; ++i) {
        const auto kind = static_cast<hosts::Kind>(i);
        print("host", hosts::configKey(kind), hosts::host(kind));
    }
    print("host", QStringLiteral("uploadHostName"), hosts::uploadHostName());
}

void printQtTexts()
{
    QTranslator meta;
    print("qttext", QStringLiteral("metaCatalogLoads"),
          meta.load(QStringLiteral(":/qm/qm/qt_zh_CN.qm")) ? QStringLiteral("yes") : QStringLiteral("no"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    print("qttext", QStringLiteral("lookIn"), dialog.labelText(QFileDialog::LookIn));
    print("qttext", QStringLiteral("fileName"), dialog.labelText(QFileDialog::FileName));
    print("qttext", QStringLiteral("fileType"), dialog.labelText(QFileDialog::FileType));
    print("qttext", QStringLiteral("accept"), dialog.labelText(QFileDialog::Accept));
    print("qttext", QStringLiteral("reject"), dialog.labelText(QFileDialog::Reject));
    QLineEdit edit;
    edit.setText(QStringLiteral("x"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            print("qttext", QStringLiteral("menu"), action->text().section(QLatin1Char('\t'), 0, 0));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = qgetenv("ZAVIX_PROBE_MODE");
    if (mode == "hold") {
        QCoreApplication core(argc, argv);
        if (!platform::checkSingleInstance())
            return 3;
        std::puts("holding");
        std::fflush(stdout);
        QThread::msleep(qgetenv("ZAVIX_PROBE_HOLD_MS").toULong());
        return 0;
    }

    QApplication app(argc, argv);
    StartupHooks hooks;
    hooks.buildLogin = [mode] {
        qDebug() << "step buildLogin cwd" << QDir::currentPath();
        if (mode == "hosts")
            printHosts();
        else if (mode == "qttexts")
            printQtTexts();
    };
    hooks.updateCheck = [&app, mode] {
        qDebug() << "step updateCheck style" << !app.styleSheet().isEmpty();
        if (mode == "update" || mode == "error")
            return QString::fromLatin1(mode);
        return QStringLiteral("notUpdate");
    };
    hooks.runLogin = [mode] {
        qDebug() << "step runLogin";
        return mode == "login";
    };
    hooks.initializeSdk = [] { qDebug() << "step initializeSdk"; };
    hooks.showMainWindow = [] {
        qDebug() << "step showMainWindow";
        QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
    };
    hooks.loadState = [] { qDebug() << "step loadState"; };
    hooks.shutdownSdk = [] { qDebug() << "step shutdownSdk"; };
    hooks.destroyMainWindow = [] { qDebug() << "step destroyMainWindow"; };
    const int code = runClient(app, hooks);
    qDebug() << "probe end";
    return code;
}
