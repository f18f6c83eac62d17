#pragma once

#include <functional>

class QWidget;
class UploadQueue;
struct ShellHooks;

// The automatic shutdown after the upload list ran empty: the countdown
// dialog, then (when accepted) the state files in their order and the
// shutdown command.
struct AutoShutDown
{
    // Runs the dialog modally; true when it was accepted. Tests replace it.
    std::function<bool(QWidget *parent)> ask;
    // Starts the shutdown command; by default platform::startShutdown.
    std::function<void(QWidget *parent)> powerOff;
};

// The default dialog and command.
AutoShutDown defaultAutoShutDown();

// One run: asks, and after an acceptance empties the queue (writing the
// upload record), saves history, settings and network-test values through
// the hooks, then starts the command. True when the shutdown was started.
bool runAutoShutDown(QWidget *parent, const ShellHooks &hooks, const AutoShutDown &steps);

// Lets the queue start the automatic shutdown (its shut-down handler).
// hooks must outlive the queue (the main window's hooks do).
void installAutoShutDown(UploadQueue *queue, QWidget *parent, const ShellHooks &hooks,
                         AutoShutDown steps = defaultAutoShutDown());
