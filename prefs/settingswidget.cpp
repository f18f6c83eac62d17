#include "prefs/settingswidget.h"

#include "ui_settingswidget.h"

#include "app/shell/pagehooks.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"

SettingsWidget::SettingsWidget(ShellServices *services, UploadPage *uploads, QWidget *parent)
    : QWidget(parent), m_ui(new Ui::SettingsWidget), m_uploads(uploads)
{
    m_ui->setupUi(this);
    if (services)
        m_userDataFolder = services->userDataFolder();
}

SettingsWidget::~SettingsWidget()
{
    delete m_ui;
}

QString SettingsWidget::settingsPath() const
{
    return m_userDataFolder + settingsFileName();
}

QWidget *SettingsWidget::netTestHost() const
{
    return m_ui->netTestHost;
}

void SettingsWidget::fillHooks(ShellHooks &hooks)
{
    hooks.saveSettings = [this]() { saveSettings(); };
}

void SettingsWidget::loadSettings()
{
    m_settings = loadSettingsFile(settingsPath());
    if (m_uploads) {
        m_uploads->queue()->setLimit(m_settings.parallelTask);
        m_uploads->queue()->setAutoShutDown(m_settings.autoShutDown);
        m_uploads->setLupingTip(m_settings.luping);
    }
    // The controls report back through the slots like a user change; the
    // values they store are the same.
    const SettingsRecord loaded = m_settings;
    m_ui->autoShutDownCB->setChecked(loaded.autoShutDown);
    m_ui->autoStartUploadCB->setChecked(loaded.autoStart);
    m_ui->lupingCB->setChecked(loaded.luping);
    m_ui->ParallelTaskNumCB->setCurrentIndex(loaded.parallelTask - 1);
}

void SettingsWidget::saveSettings()
{
    saveSettingsFile(settingsPath(), m_settings);
}

void SettingsWidget::on_ParallelTaskNumCB_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    m_settings.parallelTask = index + 1;
    if (m_uploads)
        m_uploads->queue()->setLimit(index + 1);
}

void SettingsWidget::on_lupingCB_toggled(bool checked)
{
    m_settings.luping = checked;
    if (m_uploads)
        m_uploads->setLupingTip(checked);
}

void SettingsWidget::on_autoStartUploadCB_toggled(bool checked)
{
    m_settings.autoStart = checked;
}

void SettingsWidget::on_autoShutDownCB_toggled(bool checked)
{
    m_settings.autoShutDown = checked;
    if (m_uploads)
        m_uploads->queue()->setAutoShutDown(checked);
}
