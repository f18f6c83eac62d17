#include "app/startup.h"

#include "app/log.h"
#include "net/servicehosts.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTranslator>

QString loadStyleSheet(const QString &name)
{
    QFile file(QStringLiteral(":/qss/%1").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes);
}

bool loadQtTranslation(QTranslator &translator)
{
    // qt_zh_CN.qm only names the catalogs of Qt's modules (qtbase and
    // others), which the build ships next to it; should one of them be
    // missing, the load fails and qtbase's texts at least still come.
    return translator.load(QStringLiteral(":/qm/qm/qt_zh_CN.qm"))
        || translator.load(QStringLiteral(":/qm/qm/qtbase_zh_CN.qm"));
}

namespace {

void run(const std::function<void()> &step)
{
    if (step)
        step();
}

} // namespace

int runClient(QApplication &app, const StartupHooks &hooks)
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    // Installed whether or not the translation could be loaded; it lives
    // for the whole run, which ends inside this function.
    QTranslator translator;
    loadQtTranslation(translator);
    app.installTranslator(&translator);

    const bool restarted = app.arguments().contains(platform::restartedFlag());
    if (!platform::checkSingleInstance(restarted ? platform::kRestartWaitMs : 0))
        return 0;

    openLog();
    qInstallMessageHandler(logMessageHandler);
    // After the log, so that an unusable host in the file is reported there.
    hosts::loadServiceConfig();

    run(hooks.buildLogin);
    app.setStyleSheet(loadStyleSheet(QStringLiteral("zavixUploadClient.qss")));

    const QString update = hooks.updateCheck ? hooks.updateCheck() : QStringLiteral("notUpdate");
    if (update == QLatin1String("update") || update == QLatin1String("error"))
        return 0;

    if (!hooks.runLogin) {
        qWarning() << "no login dialog in this build";
        closeLog();
        return 0;
    }
    if (!hooks.runLogin()) {
        closeLog();
        return 0;
    }

    run(hooks.initializeSdk);
    run(hooks.showMainWindow);
    run(hooks.loadState);

    const int code = app.exec();

    run(hooks.shutdownSdk);
    run(hooks.destroyMainWindow);
    closeLog();
    return code;
}
