#pragma once

// A copy of the real program in a folder of its own (it keeps its files next
// to the executable), run offscreen against the local service and driven by
// the zavixdriver plugin (tests/driver). Its per-user folders (settings,
// crash folder, single-instance lock) lie in the same temporary folder.
//
//     DrivenProgram program(QStringLiteral(DRIVEN_CLIENT), QStringLiteral(DRIVER_PLUGINS));
//     program.setEnvironment("ZAVIX_DRIVER_ACCOUNT", "oss@zavix.test");
//     program.start(service.baseUrl());
//     QVERIFY(program.waitForReport("main window", 60000));

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class DrivenProgram final
{
public:
    DrivenProgram(const QString &executable, const QString &pluginFolder)
        : m_pluginFolder(pluginFolder)
    {
        const QFileInfo source(executable);
        m_folder = m_dir.filePath(QStringLiteral("program"));
        QDir().mkpath(m_folder);
        // The program, the crash library beside it and the version file.
        const QStringList names = {source.fileName(), QStringLiteral("libVexDumpw.so"), QStringLiteral("version.ini")};
        for (const QString &name : names)
            QFile::copy(source.dir().filePath(name), m_folder + QLatin1Char('/') + name);
        m_executable = m_folder + QLatin1Char('/') + source.fileName();
        QFile::setPermissions(m_executable, QFile::permissions(m_executable) | QFileDevice::ExeOwner);
        QDir().mkpath(home(QStringLiteral("config")));
        QDir().mkpath(home(QStringLiteral("runtime")));
        QFile::setPermissions(home(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home(QStringLiteral("config")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home(QStringLiteral("runtime")));
        m_environment.insert(QStringLiteral("ZAVIX_SHUTDOWN_COMMAND"), QStringLiteral("/bin/true"));
        m_environment.insert(QStringLiteral("QT_PLUGIN_PATH"), m_pluginFolder);
        m_environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("zavixdriver"));
        m_environment.insert(QStringLiteral("ZAVIX_DRIVER_REPORT"), reportPath());
        m_environment.insert(QStringLiteral("ZAVIX_DRIVER_QUIT"), m_dir.filePath(QStringLiteral("quit")));
    }
    ~DrivenProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool isValid() const { return m_dir.isValid() && QFileInfo(m_executable).isExecutable(); }
    QString folder() const { return m_folder; }
    QString executable() const { return m_executable; }
    // A folder of the temporary home ("config", "runtime", ...).
    QString home(const QString &name) const { return m_dir.filePath(name); }
    QString reportPath() const { return m_dir.filePath(QStringLiteral("driver-report.txt")); }
    QProcess &process() { return m_process; }

    void setEnvironment(const QString &name, const QString &value) { m_environment.insert(name, value); }

    bool start(const QString &serviceUrl)
    {
        m_environment.insert(QStringLiteral("ZAVIX_SERVICE_URL"), serviceUrl);
        m_process.setProcessEnvironment(m_environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_executable, QStringList());
        return m_process.waitForStarted(10000);
    }

    QStringList report() const
    {
        QFile file(reportPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Waits for a report line that starts with prefix; false when the
    // program ended or the time ran out first.
    bool waitForReport(const QString &prefix, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            for (const QString &line : report())
                if (line.startsWith(prefix))
                    return true;
            if (m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForFinished(50);
        }
        return false;
    }

    // Asks the driver to close the program's window; true when the program
    // then ended normally.
    bool quit(int timeoutMs)
    {
        QFile quitFile(m_dir.filePath(QStringLiteral("quit")));
        if (!quitFile.open(QIODevice::WriteOnly))
            return false;
        quitFile.close();
        return m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
    }

private:
    Q_DISABLE_COPY(DrivenProgram)
    QTemporaryDir m_dir;
    QString m_pluginFolder;
    QString m_folder;
    QString m_executable;
    QProcessEnvironment m_environment;
    QProcess m_process;
};
