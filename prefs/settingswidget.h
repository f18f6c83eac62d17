#pragma once

#include "prefs/settingsrecord.h"

#include <QString>
#include <QWidget>

namespace Ui {
class SettingsWidget;
}
class ShellServices;
struct ShellHooks;
class UploadPage;

// The settings page: parallel tasks, courseware optimisation, auto-start and
// auto-shutdown. Changes take effect at once; the file is written only by
// saveSettings().
class SettingsWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(SettingsWidget)

public:
    // uploads may be null; services may be null (tests set the folder).
    SettingsWidget(ShellServices *services, UploadPage *uploads, QWidget *parent = nullptr);
    ~SettingsWidget() override;

    void setUserDataFolder(const QString &folder) { m_userDataFolder = folder; }
    QString settingsPath() const;

    void loadSettings();
    void saveSettings();
    void fillHooks(ShellHooks &hooks);

    const SettingsRecord &settings() const { return m_settings; }
    // The host for the network test controls of the page.
    QWidget *netTestHost() const;

public slots:
    void on_ParallelTaskNumCB_currentIndexChanged(int index);
    void on_lupingCB_toggled(bool checked);
    void on_autoStartUploadCB_toggled(bool checked);
    void on_autoShutDownCB_toggled(bool checked);

private:
    Ui::SettingsWidget *m_ui;
    UploadPage *m_uploads;
    QString m_userDataFolder;
    SettingsRecord m_settings;
};
