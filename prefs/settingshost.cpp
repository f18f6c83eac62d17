#include "prefs/settingshost.h"

#include "app/shell/pagehooks.h"
#include "prefs/settingswidget.h"
#include "upload/nettestpanel.h"
#include "upload/uploadchannel.h"
#include "upload/uploadpage.h"

#include <QLayout>
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

    // The speed test button and the network-test record live on the settings page.
    auto *netTest = new NetTestPanel(services, pages.settings->netTestHost());
    if (QLayout *layout = pages.settings->netTestHost()->layout())
        layout->addWidget(netTest);
    netTest->fillHooks(hooks);

    QPointer<UploadPage> upload = pages.upload;
    QPointer<SettingsWidget> settings = pages.settings;
    QPointer<NetTestPanel> netParams = netTest;
    QMetaObject::invokeMethod(
        pages.settings,
        [upload, settings, netParams]() {
            if (settings)
                settings->loadSettings();
            if (upload)
                upload->startQueue();
            if (netParams)
                netParams->loadNetParams();
        },
        Qt::QueuedConnection);
    return pages;
}
