#pragma once

#include "prefs/historypage.h"

#include <functional>

class QWidget;
class ShellServices;
class UploadQueue;
struct ShellHooks;

// Creates the history page as a child of parent: its file in the user data
// folder, the save and start-up load hooks, the finished uploads of the
// queue, and the category opener of the manage page.
HistoryPage *createHistoryPage(ShellServices *services, ShellHooks &hooks, UploadQueue *queue,
                               std::function<bool(const QString &cataid)> categoryOpener,
                               QWidget *parent);
