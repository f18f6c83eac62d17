#pragma once

#include "platform/platform.h"

#include <QString>

class QObject;

namespace platform {

// Name of the environment variable that replaces the shutdown program (the
// arguments stay the same). Tests and demos point it at a harmless program.
inline const char kShutdownCommandVariable[] = "ZAVIX_SHUTDOWN_COMMAND";

// The system's shutdown command, with the program replaced when the
// variable above is set and not empty.
ShutdownCommand effectiveShutdownCommand();

// Starts the command through a new QProcess (child of parent), read-write,
// without waiting for it. A command that cannot be started is not reported.
void startShutdown(QObject *parent);

} // namespace platform
