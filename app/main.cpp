#include "account/zavixlogin.h"
#include "app/shell/zavixuploadclient.h"
#include "app/startup.h"
#include "crashdump/productnote.h"
#include "net/closingflag.h"
#include "net/releasedthreads.h"
#include "net/threadstart.h"
#include "oss/OssClient.h"
#include "platform/platform.h"
#include "prefs/updatecheck.h"
#include "upload/retiredthreads.h"
#include "vexdumpw.h"
#include "zavixproduct.h"

#include <QApplication>
#include <QDialog>
#include <QString>

#include <memory>

// The crash reporter's product name and version (on Windows the version
// resource holds them).
VEXDUMPW_PRODUCT_NOTE(ZAVIX_PRODUCT_NAME, ZAVIX_PRODUCT_VERSION);

int main(int argc, char *argv[])
{
    // A crash from here on leaves a dump in the per-user crash folder.
    const QString crashFolder = platform::crashFolder();
    platform::makeFolderPath(crashFolder);
    const QByteArray crashFolderAnsi = crashFolder.toLocal8Bit();
    CreateExceptionDumpForRemote(crashFolderAnsi.constData(), 0);
    // Every thread the program starts prepares itself for the dump library.
    setThreadStartHook(&CreateExceptionDumpForThread);

    QApplication::addLibraryPath(QStringLiteral("."));
    QApplication app(argc, argv);

    // The login dialog lives until main returns: the main window reads its
    // account record for the whole run.
    std::unique_ptr<ZavixLogin> login;
    std::unique_ptr<ZavixUploadClient> window;

    StartupHooks hooks;
    hooks.buildLogin = [&login] { login = std::make_unique<ZavixLogin>(); };

    // Update check, with the login dialog as parent of its dialogs.
    hooks.updateCheck = [&login] { return checkForUpdate(login.get()); };

    hooks.runLogin = [&login] { return login && login->exec() == QDialog::Accepted; };
    hooks.initializeSdk = [] { AlibabaCloud::OSS::InitializeSdk(); };
    hooks.showMainWindow = [&window, &login] {
        window = std::make_unique<ZavixUploadClient>(login->account());
        window->show();
    };

    // The per-account state (settings, unfinished uploads, history,
    // network-test values, in this order) is loaded by the pages that own it,
    // on the first turn of the event loop after the window is shown; so
    // loadState stays unset here.

    hooks.shutdownSdk = [] {
        // Upload threads of rows that went away were told to stop when the
        // window closed (their requests end within about a second); they
        // end before the transfer library is shut down.
        retiredthreads::finishAll(5000);
        AlibabaCloud::OSS::ShutdownSdk();
    };
    hooks.destroyMainWindow = [&window] { window.reset(); };

    const int code = runClient(app, hooks);

    // Threads that nobody waits for any more (a request of a closed dialog,
    // an abandoned login) end at their next chunk once the closing flag is
    // set; give them a moment before the process ends.
    window.reset();
    login.reset();
    setClosing();
    finishReleasedThreads(3000);
    return code;
}
