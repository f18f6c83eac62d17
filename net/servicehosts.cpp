#include "net/servicehosts.h"

#include <QUrl>

namespace hosts {

namespace {

// Built-in defaults. Until a release configures the production hosts, every
// kind points at the local service on its standard port, so that an
// unconfigured build never talks to anything but this machine.
constexpr const char *kDefaultBase = "http://127.0.0.1:18080";

QString configured(const char *fallback)
{
    QString base = QString::fromUtf8(qgetenv("ZAVIX_SERVICE_URL")).trimmed();
    if (base.isEmpty())
        base = QString::fromLatin1(fallback);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

QString apiHost() { return configured(kDefaultBase); }
QString accountWebHost() { return configured(kDefaultBase); }
QString uploadHost() { return configured(kDefaultBase); }
QString playerHost() { return configured(kDefaultBase); }
QString downloadHost() { return configured(kDefaultBase); }
QString vendorSite() { return configured(kDefaultBase); }
QString supportChat() { return configured(kDefaultBase); }

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
