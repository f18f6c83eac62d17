#pragma once

// Route groups of the service. Registration order matters to the HTTP
// server (first match wins among handlers of one kind), so the core
// registers: API, account-web and downloads, the WCS store, the OSS store,
// then the fallbacks.

#include <httplib.h>

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace devsvc {

class ServiceCore;

void registerApiRoutes(httplib::Server &server, ServiceCore &core);
void registerWebRoutes(httplib::Server &server, ServiceCore &core);
// Vendor pages for any other GET, and a clear 404 for bodies sent to
// unknown paths (without reading them). Bodies for paths below
// "/<ossBucket>" are left to the OSS store.
void registerFallbackRoutes(httplib::Server &server, ServiceCore &core, const QString &ossBucket);

// The API host's JSON envelope.
QByteArray envelope(int code, const QString &status, const QString &message,
                    const QJsonValue &data = QJsonValue());
void sendJson(httplib::Response &res, const QByteArray &json, int httpStatus = 200);

} // namespace devsvc
