#pragma once

#include <QString>

// Base URLs of the service's host kinds, without a trailing slash.
// The environment variable ZAVIX_SERVICE_URL, when set and not empty,
// replaces all of them with one base URL (read on every call).
namespace hosts {

QString apiHost();
QString accountWebHost();
QString uploadHost();
QString playerHost();
QString downloadHost();
QString vendorSite();
QString supportChat();

// host[:port] of uploadHost(), e.g. "127.0.0.1:18080".
QString uploadHostName();

// The bare host[:port] of any base URL.
QString hostNameOf(const QString &baseUrl);

} // namespace hosts
