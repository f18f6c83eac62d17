// Drives the running program the way a person would, for unattended
// end-to-end runs. Loaded by Qt as a generic plugin (QT_QPA_GENERIC_PLUGINS=
// zavixdriver); it finds the program's widgets by object name and reads what
// to do from the environment:
//
//   ZAVIX_DRIVER_REPORT      file that receives one line per step (required)
//   ZAVIX_DRIVER_ACCOUNT     e-mail to log in with; without it the login
//   ZAVIX_DRIVER_PASSWORD    dialog is left open (and closed on quit)
//   ZAVIX_DRIVER_UPLOAD      a file dropped on the upload page once the
//                            category tree has arrived
//   ZAVIX_DRIVER_SCREENSHOT  PNG of the main window, saved on quit
//   ZAVIX_DRIVER_CRASH       "1": once the login dialog shows, a thread of the
//                            program writes through a null pointer (crash
//                            reporter tests)
//   ZAVIX_DRIVER_QUIT        when this file appears, the driver saves the
//                            screenshot and closes the window that is open,
//                            so the program ends the way it does for a person
//
// Report lines: "login dialog", "login submitted", "main window",
// "cjk font <yes|no> <families>", "file dropped <accepted|refused>",
// "row added", "rows done", "dialog <title>: <message>", "screenshot <ok|failed>",
// "crashing", "closing".

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <thread>

namespace {

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

QWidget *visibleTopLevel(const char *className, const QString &objectName = QString())
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets)
        if (w->isVisible() && w->inherits(className) && (objectName.isEmpty() || w->objectName() == objectName))
            return w;
    return nullptr;
}

class Driver final : public QObject
{
public:
    Driver()
        : m_reportPath(environment("ZAVIX_DRIVER_REPORT"))
        , m_account(environment("ZAVIX_DRIVER_ACCOUNT"))
        , m_password(environment("ZAVIX_DRIVER_PASSWORD"))
        , m_upload(environment("ZAVIX_DRIVER_UPLOAD"))
        , m_screenshot(environment("ZAVIX_DRIVER_SCREENSHOT"))
        , m_quit(environment("ZAVIX_DRIVER_QUIT"))
        , m_crash(environment("ZAVIX_DRIVER_CRASH") == QLatin1String("1"))
    {
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
        m_timer.start();
    }

private:
    void report(const QString &line)
    {
        QFile file(m_reportPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(line.toUtf8() + '\n');
    }

    void reportOnce(const QString &line)
    {
        if (!m_reported.contains(line)) {
            m_reported.insert(line);
            report(line);
        }
    }

    // Runs from the timer, also inside the event loops of modal dialogs; a
    // step that opens one must not be repeated from there.
    void step()
    {
        if (m_busy)
            return;
        m_busy = true;
        reportDialogs();
        if (!m_quit.isEmpty() && QFileInfo::exists(m_quit))
            quit();
        else if (QWidget *login = visibleTopLevel("QDialog", QStringLiteral("ZavixLogin")))
            driveLogin(login);
        else if (QWidget *window = visibleTopLevel("ZavixUploadClient"))
            driveMainWindow(window);
        m_busy = false;
    }

    // Message dialogs the program shows, so a failing run says why.
    void reportDialogs()
    {
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget *w : widgets) {
            if (!w->isVisible() || !w->inherits("MessageInfo"))
                continue;
            const auto *title = w->findChild<QLabel *>(QStringLiteral("titleLabel"));
            const auto *message = w->findChild<QLabel *>(QStringLiteral("messageLbl"));
            reportOnce(QStringLiteral("dialog %1: %2")
                           .arg(title ? title->text() : w->windowTitle(),
                                message ? message->text().simplified() : QString()));
        }
    }

    void driveLogin(QWidget *login)
    {
        reportOnce(QStringLiteral("login dialog"));
        if (m_crash) {
            report(QStringLiteral("crashing"));
            // On a thread of its own: a fault inside a window procedure (the
            // timer's) may be swallowed by 64-bit Windows instead of reaching
            // the unhandled-exception filter.
            std::thread([] {
                static volatile int *volatile target = nullptr;
                *target = 1;
            }).join();
        }
        if (m_account.isEmpty() || m_loginSubmitted)
            return;
        auto *user = login->findChild<QComboBox *>(QStringLiteral("usrCBX"));
        auto *password = login->findChild<QLineEdit *>(QStringLiteral("pwdEdit"));
        auto *button = login->findChild<QAbstractButton *>(QStringLiteral("loginBtn"));
        if (!user || !password || !button)
            return;
        user->setEditText(m_account);
        password->setText(m_password);
        m_loginSubmitted = true;
        report(QStringLiteral("login submitted"));
        button->click();
    }

    void driveMainWindow(QWidget *window)
    {
        if (!m_mainWindowSeen) {
            m_mainWindowSeen = true;
            report(QStringLiteral("main window"));
            reportChineseFont(window);
        }
        auto *list = window->findChild<QListWidget *>(QStringLiteral("uploadListWidget"));
        if (list && list->count() > 0)
            reportOnce(QStringLiteral("row added"));
        else if (list && m_reported.contains(QStringLiteral("row added")))
            reportOnce(QStringLiteral("rows done"));
        if (m_upload.isEmpty() || m_dropped)
            return;
        auto *uploadButton = window->findChild<QAbstractButton *>(QStringLiteral("uploadVideoBtn"));
        auto *dropArea = window->findChild<QWidget *>(QStringLiteral("uploadLblWidget"));
        if (!uploadButton || !dropArea || !uploadButton->isEnabled() || !dropArea->isVisible())
            return; // the category tree has not arrived yet
        m_dropped = true;
        dropFile(window, dropArea);
    }

    // Whether the fonts the program draws with can show Chinese text.
    void reportChineseFont(QWidget *window)
    {
        const QStringList families = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
        const QFontMetrics metrics(window->font());
        const bool renders = metrics.inFont(QChar(0x4E0A)) && metrics.inFont(QChar(0x4F20)); // 上传
        report(QStringLiteral("cjk font %1 %2")
                   .arg(renders ? QStringLiteral("yes") : QStringLiteral("no"), families.join(QLatin1Char(','))));
    }

    // The file dragged from the file manager onto the drop area.
    void dropFile(QWidget *window, QWidget *dropArea)
    {
        auto *mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(m_upload)});
        const QPoint at = dropArea->mapTo(window, dropArea->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        delete mime;
        report(QStringLiteral("file dropped %1")
                   .arg(drop.isAccepted() ? QStringLiteral("accepted") : QStringLiteral("refused")));
    }

    void quit()
    {
        if (m_quitting)
            return;
        m_quitting = true;
        if (QWidget *window = visibleTopLevel("ZavixUploadClient")) {
            if (!m_screenshot.isEmpty())
                report(QStringLiteral("screenshot %1")
                           .arg(window->grab().save(m_screenshot, "PNG") ? QStringLiteral("ok")
                                                                           : QStringLiteral("failed")));
            report(QStringLiteral("closing"));
            window->close();
        } else if (auto *login = qobject_cast<QDialog *>(visibleTopLevel("QDialog", QStringLiteral("ZavixLogin")))) {
            report(QStringLiteral("closing"));
            login->reject();
        } else {
            report(QStringLiteral("closing"));
            QCoreApplication::quit();
        }
    }

    QTimer m_timer;
    const QString m_reportPath;
    const QString m_account;
    const QString m_password;
    const QString m_upload;
    const QString m_screenshot;
    const QString m_quit;
    const bool m_crash;
    QSet<QString> m_reported;
    bool m_busy = false;
    bool m_loginSubmitted = false;
    bool m_mainWindowSeen = false;
    bool m_dropped = false;
    bool m_quitting = false;
};

} // namespace

class ZavixDriverPlugin final : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "zavixdriver.json")

public:
    QObject *create(const QString &key, const QString &) override
    {
        return key == QLatin1String("zavixdriver") ? new Driver : nullptr;
    }
};

#include "zavixdriver.moc"
