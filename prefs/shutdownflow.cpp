#include "prefs/shutdownflow.h"

#include "app/shell/pagehooks.h"
#include "platform/shutdown.h"
#include "prefs/shutdowndialog.h"
#include "upload/uploadqueue.h"

#include <QDebug>
#include <QPointer>
#include <QWidget>

AutoShutDown defaultAutoShutDown()
{
    AutoShutDown steps;
    steps.ask = [](QWidget *parent) {
        auto *dialog = new shutDownDialog(parent); // deletes itself when it closes
        return dialog->exec() == QDialog::Accepted;
    };
    steps.powerOff = [](QWidget *parent) { platform::startShutdown(parent); };
    return steps;
}

bool runAutoShutDown(QWidget *parent, const ShellHooks &hooks, const AutoShutDown &steps)
{
    if (!steps.ask || !steps.ask(parent))
        return false;
    qDebug() << "auto shut down accepted";
    if (hooks.saveUploadRecordsAndClear)
        hooks.saveUploadRecordsAndClear();
    if (hooks.saveHistory)
        hooks.saveHistory();
    if (hooks.saveSettings)
        hooks.saveSettings();
    if (hooks.saveNetParams)
        hooks.saveNetParams();
    if (steps.powerOff)
        steps.powerOff(parent);
    return true;
}

void installAutoShutDown(UploadQueue *queue, QWidget *parent, const ShellHooks &hooks,
                         AutoShutDown steps)
{
    if (!queue)
        return;
    QPointer<QWidget> owner = parent;
    const ShellHooks *shellHooks = &hooks;
    queue->setShutDownHandler([owner, shellHooks, steps]() {
        if (owner)
            runAutoShutDown(owner.data(), *shellHooks, steps);
    });
}
