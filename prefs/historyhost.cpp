#include "prefs/historyhost.h"

#include "app/shell/pagehooks.h"
#include "upload/uploadqueue.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>

namespace {

// The video pages' counters start at zero when the history is loaded.
void resetVideoCounters(QWidget *window)
{
    if (!window)
        return;
    const QString zero = QCoreApplication::translate("HistoryPage", "(文件数量:%1/20个)")
                             .arg(QStringLiteral("<font color = #26a0f5>%1</font>").arg(0));
    for (const char *name : {"fileNumLblM", "fileNumLblS"}) {
        if (auto *label = window->findChild<QLabel *>(QLatin1String(name)))
            label->setText(zero);
    }
}

} // namespace

HistoryPage *createHistoryPage(ShellServices *services, ShellHooks &hooks, UploadQueue *queue,
                               std::function<bool(const QString &)> categoryOpener, QWidget *parent)
{
    auto *page = new HistoryPage(parent);
    if (services) {
        page->setHistoryPath(services->userDataFolder() + history::fileName());
        page->setDialogParent(services->dialogParent());
    }
    page->setCategoryOpener(std::move(categoryOpener));

    QPointer<HistoryPage> guarded = page;
    QPointer<QWidget> window = parent;
    hooks.saveHistory = [guarded]() {
        if (guarded)
            guarded->saveHistoryData();
    };
    hooks.loadHistory = [guarded, window]() {
        resetVideoCounters(window);
        if (guarded)
            guarded->loadHistoryData();
    };
    if (queue) {
        queue->setFinishedHandler([guarded](const UploadTask &task, const QString &status) {
            if (guarded)
                guarded->addHistoryEntry(task, status == QCoreApplication::translate("UploadQueue", "已秒传"));
        });
    }
    return page;
}
