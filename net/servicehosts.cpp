#include "net/servicehosts.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QUrl>
#include <QVariant>

namespace hosts {

namespace {

// Until a deployment names its hosts, every kind points at the local service
// on its standard port, so that an unconfigured build never talks to
// anything but this machine.
constexpr const char *kDefaultBase = "http://127.0.0.1:18080";

QString withoutTrailingSlashes(QString base)
{
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

// The hosts of this process, set at start and read from any thread.
struct ProcessHosts
{
    QMutex mutex;
    HostTable table = HostTable::defaults();
};

ProcessHosts &processHosts()
{
    static ProcessHosts hosts;
    return hosts;
}

// A value as it may appear in the log: without user name and password.
QString shownValue(const QString &value)
{
    const QUrl url(value);
    if (url.isValid() && !url.userInfo().isEmpty())
        return url.toString(QUrl::RemoveUserInfo);
    return value;
}

} // namespace

QString configKey(Kind kind)
{
    switch (kind) {
    case Kind::Api:
        return QStringLiteral("api");
    case Kind::AccountWeb:
        return QStringLiteral("accountWeb");
    case Kind::Upload:
        return QStringLiteral("upload");
    case Kind::Player:
        return QStringLiteral("player");
    case Kind::Download:
        return QStringLiteral("download");
    case Kind::VendorSite:
        return QStringLiteral("vendorSite");
    case Kind::SupportChat:
        return QStringLiteral("supportChat");
    }
    return QString();
}

QString defaultBase()
{
    return QString::fromLatin1(kDefaultBase);
}

HostTable HostTable::defaults()
{
    HostTable table;
    table.base.fill(defaultBase());
    return table;
}

bool isUsableBaseUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

ServiceConfig readServiceConfig(const QString &path)
{
    ServiceConfig config;
    if (!QFileInfo(path).isFile())
        return config;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        config.problems.append(QStringLiteral("%1: unreadable; the built-in hosts stay").arg(path));
        return config;
    }
    config.fileFound = true;
    settings.beginGroup(QStringLiteral("hosts"));
    for (int i = 0; i < kKindCount; ++i) {
        const QString key = configKey(static_cast<Kind>(i));
        const QVariant value = settings.value(key);
        // A value with a comma reads as a list: no URL of ours has one.
        if (!value.isValid() || (value.type() == QVariant::String && value.toString().trimmed().isEmpty()))
            continue;
        const QString text = value.type() == QVariant::String
            ? value.toString().trimmed()
            : value.toStringList().join(QLatin1Char(','));
        if (value.type() != QVariant::String || !isUsableBaseUrl(text)) {
            config.problems.append(
                QStringLiteral("%1: %2 = \"%3\" is not an http or https URL; the built-in host stays")
                    .arg(path, key, shownValue(text)));
            continue;
        }
        config.hosts.base[static_cast<size_t>(i)] = withoutTrailingSlashes(text);
    }
    return config;
}

QString serviceConfigPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/service.ini");
}

ServiceConfig loadServiceConfig()
{
    const QString path = serviceConfigPath();
    const ServiceConfig config = readServiceConfig(path);
    for (const QString &problem : config.problems)
        qWarning().noquote() << "service hosts:" << problem;
    if (!config.fileFound)
        qDebug().noquote() << "service hosts: no" << path << "- the built-in hosts are used";
    useHosts(config.hosts);
    return config;
}

void useHosts(const HostTable &table)
{
    ProcessHosts &hosts = processHosts();
    const QMutexLocker lock(&hosts.mutex);
    hosts.table = table;
}

QString host(Kind kind)
{
    const QString base = QString::fromUtf8(qgetenv("ZAVIX_SERVICE_URL")).trimmed();
    if (!base.isEmpty())
        return withoutTrailingSlashes(base);
    ProcessHosts &hosts = processHosts();
    const QMutexLocker lock(&hosts.mutex);
    return hosts.table.at(kind);
}

QString apiHost() { return host(Kind::Api); }
QString accountWebHost() { return host(Kind::AccountWeb); }
QString uploadHost() { return host(Kind::Upload); }
QString playerHost() { return host(Kind::Player); }
QString downloadHost() { return host(Kind::Download); }
QString vendorSite() { return host(Kind::VendorSite); }
QString supportChat() { return host(Kind::SupportChat); }

QString hostNameOf(const QString &baseUrl)
{
    const QUrl url(baseUrl);
    if (!url.isValid() || url.host().isEmpty())
        return QString();
    QString name = url.host();
    if (url.port() != -1)
        name += QLatin1Char(':') + QString::number(url.port());
    return name;
}

QString uploadHostName()
{
    return hostNameOf(uploadHost());
}

} // namespace hosts
