#include "prefs/settingshost.h"

#include "app/shell/pagehooks.h"
#include "prefs/settingswidget.h"
#include "upload/nettestpanel.h"
#include "upload/uploadchannel.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/uploadrecord.h"
#include "upload/uploadwidget.h"

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

    // The record file of the queue: restored at start, written at the end
    // and kept up to date while the window runs.
    QPointer<UploadRecordKeeper> records;
    if (services) {
        records = new UploadRecordKeeper(pages.upload->queue(),
                                         services->userDataFolder() + uploadrecord::fileName(),
                                         pages.upload);
        records->setHeaderRow(pages.upload->headerRow());
        pages.upload->queue()->setRecordSaver([records]() {
            if (records)
                records->saveUploadData();
        });
    }

    QPointer<UploadPage> upload = pages.upload;
    QPointer<SettingsWidget> settings = pages.settings;
    QPointer<NetTestPanel> netParams = netTest;
    ShellHooks *startHooks = &hooks; // the main window's, which outlives its pages
    QMetaObject::invokeMethod(
        pages.settings,
        [upload, settings, netParams, records, services, startHooks]() {
            if (settings)
                settings->loadSettings();
            if (records && settings)
                records->loadUploadData(settings->settings().autoStart, services->statusTimer());
            else if (upload)
                upload->startQueue();
            if (startHooks->loadHistory)
                startHooks->loadHistory();
            if (netParams)
                netParams->loadNetParams();
        },
        Qt::QueuedConnection);
    return pages;
}
