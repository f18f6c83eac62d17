#pragma once

#include <QString>
#include <QStringList>

#include <array>

// Base URLs of the service's host kinds, without a trailing slash.
//
// Each kind has a built-in default (the local service). A deployment names
// its own hosts in the configuration file next to the executable
// (serviceConfigPath(), read once at start by loadServiceConfig()). The
// environment variable ZAVIX_SERVICE_URL, when set and not empty, replaces
// all of them with one base URL (read on every call).
namespace hosts {

enum class Kind {
    Api,         // login, categories, videos, upload initialisation
    AccountWeb,  // upload bookkeeping, version list
    Upload,      // its bare name prefixes the bookkeeping sign
    Player,      // the address in copied embed code
    Download,    // the installer of a new version
    VendorSite,  // home, price, contact, download, password and registration pages
    SupportChat, // the whole address of the support chat page
};
constexpr int kKindCount = 7;

// The key of a kind in the configuration file's [hosts] section:
// api, accountWeb, upload, player, download, vendorSite, supportChat.
QString configKey(Kind kind);

// The built-in base URL of every kind: the local service on its standard port.
QString defaultBase();

// One base URL per kind.
struct HostTable
{
    std::array<QString, kKindCount> base;

    static HostTable defaults();
    QString at(Kind kind) const { return base[static_cast<size_t>(kind)]; }
};

// What a configuration file gives.
struct ServiceConfig
{
    bool fileFound = false;
    HostTable hosts = HostTable::defaults(); // defaults where the file names none
    QStringList problems;                    // unusable values, one text each (ignored)
};

// Reads an INI file with a [hosts] section. A key that is missing or empty
// keeps the default; a value that is not an http or https URL with a host
// is reported in `problems` and keeps the default as well. A missing file
// gives the defaults.
ServiceConfig readServiceConfig(const QString &path);

// "service.ini" next to the executable.
QString serviceConfigPath();

// Reads serviceConfigPath(), writes its problems to the log and makes its
// hosts the ones every call below returns. Returns what was read.
ServiceConfig loadServiceConfig();
// Makes `table` the hosts of this process (until the next call).
void useHosts(const HostTable &table);

// The base URL of a kind: ZAVIX_SERVICE_URL when set, else the configured one.
QString host(Kind kind);

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

// True for an absolute http or https URL with a host.
bool isUsableBaseUrl(const QString &text);

} // namespace hosts
