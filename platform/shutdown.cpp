#include "platform/shutdown.h"

#include <QProcess>
#include <QtGlobal>

namespace platform {

ShutdownCommand effectiveShutdownCommand()
{
    ShutdownCommand command = shutdownCommand();
    const QString replacement = qEnvironmentVariable(kShutdownCommandVariable);
    if (!replacement.isEmpty())
        command.program = replacement;
    return command;
}

void startShutdown(QObject *parent)
{
    const ShutdownCommand command = effectiveShutdownCommand();
    auto *process = new QProcess(parent);
    process->start(command.program, command.arguments, QIODevice::ReadWrite);
}

} // namespace platform
