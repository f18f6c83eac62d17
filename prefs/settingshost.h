#pragma once

#include "prefs/settingswidget.h"
#include "upload/uploadpage.h"

class QWidget;
class ShellServices;
struct ShellHooks;

// The upload page and the settings page, made and wired together for the
// main window.
struct UploadPages
{
    UploadPage *upload = nullptr;
    SettingsWidget *settings = nullptr;
};

// Creates both pages as children of parent, fills their hooks and queues the
// start-up loading (settings first, then the queue's status tick) for the
// first turn of the event loop, which comes after the window was shown.
UploadPages createUploadPages(ShellServices *services, ShellHooks &hooks, QWidget *parent);
