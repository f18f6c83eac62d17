#pragma once

// Pure helpers of the OSS store: signature text, error bodies, callback
// bodies. No network, no state.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

namespace devsvc {
namespace osswire {

using HeaderPairs = QList<QPair<QByteArray, QByteArray>>;

// Sub-resources that take part in the signature.
bool isSignedSubResource(const QString &name);

// VERB \n Content-MD5 \n Content-Type \n Date \n x-oss-headers resource; without a
// Date header the date line is the x-oss-date value.
QByteArray stringToSign(const QByteArray &verb, const HeaderPairs &headers,
                        const QString &bucket, const QString &key,
                        const QMap<QString, QString> &queryParams);

QByteArray signature(const QByteArray &secret, const QByteArray &toSign); // Base64 HMAC-SHA1

// "Sun, 06 Nov 1994 08:49:37 GMT"; invalid QDateTime when malformed.
QDateTime parseHttpDate(const QByteArray &text);

QByteArray errorXml(const QString &code, const QString &message, const QString &requestId,
                    const QString &hostId, const QList<QPair<QString, QString>> &extra = {});
QByteArray xmlEscape(const QString &text);

// Replaces ${bucket}, ${object}, ${size}, ${etag}, ${mimeType} and the
// ${x:...} variables in a callback body. Values are percent-encoded for a
// form-encoded body and JSON-escaped for a JSON body.
QByteArray expandCallbackBody(const QString &body, const QString &bodyType,
                              const QMap<QString, QString> &values);

QString mimeTypeForKey(const QString &key);

// 127.0.0.0/8 and "localhost" only: the store never calls anywhere else.
bool isLoopbackHost(const QString &host);

// MD5 of the concatenated binary part digests, upper-case hex, "-<count>".
QString multipartETag(const QList<QByteArray> &partMd5Binary);

} // namespace osswire
} // namespace devsvc
