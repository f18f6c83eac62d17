// Renders the shared dialogs and the login dialog to PNG files (offscreen),
// styled with the application style sheet, so that their look can be
// reviewed without a display:  render_dialogs <output folder>

#include "account/zavixlogin.h"
#include "app/messageinfo.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QString styleSheet()
{
    QFile file(QStringLiteral(":/qss/zavixUploadClient.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool save(QWidget *widget, const QString &folder, const QString &name)
{
    widget->show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << " (" << widget->width() << "x"
                        << widget->height() << ")\n";
    widget->hide();
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("ui-review");
    if (!QDir().mkpath(out))
        return 1;
    app.setStyleSheet(styleSheet());

    // The login dialog reads its remembered users from the working folder:
    // render it from an empty one.
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    bool ok = true;
    {
        MessageInfo notice(nullptr, QObject::tr("提示"), QObject::tr("您好，您的空间已不足1G"),
                           QObject::tr("确定"), QString());
        ok &= save(&notice, out, QStringLiteral("messageinfo-notice"));
    }
    {
        MessageInfo question(nullptr, QObject::tr("提示"),
                             QObject::tr("还有视频正在上传\r\n确定要退出吗?"), QObject::tr("确定"),
                             QObject::tr("取消"));
        ok &= save(&question, out, QStringLiteral("messageinfo-question"));
    }
    {
        ZavixLogin login;
        ok &= save(&login, out, QStringLiteral("login-empty"));
        login.findChild<QComboBox *>(QStringLiteral("usrCBX"))->setEditText(
            QStringLiteral("demo@zavix.local"));
        login.findChild<QLineEdit *>(QStringLiteral("pwdEdit"))->setText(QStringLiteral("123"));
        login.findChild<QLabel *>(QStringLiteral("tipsLbl"))->setText(QObject::tr("密码有误,请仔细检查"));
        ok &= save(&login, out, QStringLiteral("login-error"));
    }
    return ok ? 0 : 1;
}
