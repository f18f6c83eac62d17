#pragma once

#include <QString>

#include <functional>

class QApplication;
class QTranslator;

// Reads the resource ":/qss/<name>" and returns its bytes up to the first NUL
// (all of them when there is none) as Latin-1; empty when it is missing.
QString loadStyleSheet(const QString &name);

// Loads Qt's own texts in Chinese (file dialog, line edit menus, standard
// buttons) from the resources: ":/qm/qm/qt_zh_CN.qm" with the catalogs it
// names, or qtbase's catalog alone when that fails. False when neither loads.
bool loadQtTranslation(QTranslator &translator);

// The steps of a run that other parts of the program provide. main() fills
// them in; a step left empty is skipped, except the two that decide whether
// the run goes on (see runClient).
struct StartupHooks
{
    std::function<void()> buildLogin;        // construct the login dialog (reads remembered users)
    std::function<QString()> updateCheck;    // "update", "error" or "notUpdate"
    std::function<bool()> runLogin;          // modal login; true when accepted
    std::function<void()> initializeSdk;     // the OSS SDK's initialisation
    std::function<void()> showMainWindow;    // construct and show the main window
    std::function<void()> loadState;         // settings, unfinished uploads, history, net-test values
    std::function<void()> shutdownSdk;       // the OSS SDK's shutdown
    std::function<void()> destroyMainWindow; // may restart the program after a log-out
};

// Everything of a run after the application object exists: working folder,
// translation, single instance (waiting for the old instance when started
// with the restart flag), log, service hosts, login dialog, style sheet, update check,
// login, main window, state, event loop, and the shutdown after it.
// Returns the exit code. Without an update check the run goes on as with
// "notUpdate"; without a login step the login counts as not accepted.
int runClient(QApplication &app, const StartupHooks &hooks);
