#include "prefs/settingshost.h"

#include "app/shell/pagehooks.h"
#include "prefs/settingswidget.h"
#include "upload/uploadchannel.h"
#include "upload/uploadpage.h"

#include <QMetaObject>
#include <QPointer>

UploadPages createUploadPages(ShellServices *services, ShellHooks &hooks, QWidget *parent)
{
    installProgramChannels();
    UploadPages pages;
    pages.upload = new UploadPage(services, parent);
    pages.settings = new SettingsWidget(services, pages.upload, parent);
    pages.upload->fillHooks(hooks);
    pages.settings->fillHooks(hooks);

    QPointer<UploadPage> upload = pages.upload;
    QPointer<SettingsWidget> settings = pages.settings;
    QMetaObject::invokeMethod(
        pages.settings,
        [upload, settings]() {
            if (settings)
                settings->loadSettings();
            if (upload)
                upload->startQueue();
        },
        Qt::QueuedConnection);
    return pages;
}
