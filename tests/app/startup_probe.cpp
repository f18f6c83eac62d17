// A stand-in program for the startup tests: runs the real startup sequence
// with steps that only log their names. ZAVIX_PROBE_MODE picks the outcome:
//   cancel  - the login is not accepted
//   login   - the login is accepted; the event loop ends with code 7
//   update  - the update check answers "update" ("error" likewise)
//   hold    - only takes the single-instance claim, prints "holding" and
//             keeps it for ZAVIX_PROBE_HOLD_MS milliseconds

#include "app/startup.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

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
    hooks.buildLogin = [] { qDebug() << "step buildLogin cwd" << QDir::currentPath(); };
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
