#include "devservice/oss/osswire.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace devsvc {
namespace osswire {

bool isSignedSubResource(const QString &name)
{
    static const QStringList names = {
        QStringLiteral("acl"),        QStringLiteral("uploads"),    QStringLiteral("uploadId"),
        QStringLiteral("partNumber"), QStringLiteral("location"),   QStringLiteral("logging"),
        QStringLiteral("website"),    QStringLiteral("lifecycle"),  QStringLiteral("delete"),
        QStringLiteral("cors"),       QStringLiteral("append"),     QStringLiteral("position"),
        QStringLiteral("symlink"),    QStringLiteral("restore"),    QStringLiteral("referer")};
    return names.contains(name);
}

static QByteArray headerValue(const HeaderPairs &headers, const QByteArray &lowerName)
{
    for (const auto &h : headers)
        if (h.first.toLower() == lowerName)
            return h.second.trimmed();
    return QByteArray();
}

QByteArray stringToSign(const QByteArray &verb, const HeaderPairs &headers, const QString &bucket,
                        const QString &key, const QMap<QString, QString> &queryParams)
{
    QMap<QByteArray, QByteArray> ossHeaders;
    for (const auto &h : headers) {
        const QByteArray name = h.first.trimmed().toLower();
        if (name.startsWith("x-oss-"))
            ossHeaders.insert(name, h.second.trimmed());
    }
    // A request dated only by x-oss-date signs that value in the date line.
    QByteArray date = headerValue(headers, "date");
    if (date.isEmpty())
        date = headerValue(headers, "x-oss-date");
    QByteArray out = verb + '\n' + headerValue(headers, "content-md5") + '\n' +
                     headerValue(headers, "content-type") + '\n' + date + '\n';
    for (auto it = ossHeaders.constBegin(); it != ossHeaders.constEnd(); ++it)
        out += it.key() + ':' + it.value() + '\n';
    out += '/' + bucket.toUtf8() + '/' + key.toUtf8();
    QStringList names;
    for (auto it = queryParams.constBegin(); it != queryParams.constEnd(); ++it)
        if (isSignedSubResource(it.key()))
            names << it.key();
    std::sort(names.begin(), names.end());
    char separator = '?';
    for (const QString &name : names) {
        out += separator + name.toUtf8();
        const QString value = queryParams.value(name);
        if (!value.isEmpty())
            out += '=' + value.toUtf8();
        separator = '&';
    }
    return out;
}

QByteArray signature(const QByteArray &secret, const QByteArray &toSign)
{
    return QMessageAuthenticationCode::hash(toSign, secret, QCryptographicHash::Sha1).toBase64();
}

QDateTime parseHttpDate(const QByteArray &text)
{
    QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(text.trimmed()),
                                              QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (when.isValid())
        when.setTimeSpec(Qt::UTC);
    return when;
}

QByteArray xmlEscape(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&apos;")).toUtf8();
}

QByteArray errorXml(const QString &code, const QString &message, const QString &requestId,
                    const QString &hostId, const QList<QPair<QString, QString>> &extra)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n";
    out += "  <Code>" + xmlEscape(code) + "</Code>\n";
    out += "  <Message>" + xmlEscape(message) + "</Message>\n";
    out += "  <RequestId>" + xmlEscape(requestId) + "</RequestId>\n";
    out += "  <HostId>" + xmlEscape(hostId) + "</HostId>\n";
    for (const auto &e : extra)
        out += "  <" + e.first.toUtf8() + '>' + xmlEscape(e.second) + "</" + e.first.toUtf8() + ">\n";
    out += "</Error>\n";
    return out;
}

static QByteArray jsonEscaped(const QString &value)
{
    QByteArray out;
    for (const QChar c : value) {
        const ushort u = c.unicode();
        if (u == '"')
            out += "\\\"";
        else if (u == '\\')
            out += "\\\\";
        else if (u < 0x20)
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
        else
            out += QString(c).toUtf8();
    }
    return out;
}

QByteArray expandCallbackBody(const QString &body, const QString &bodyType,
                              const QMap<QString, QString> &values)
{
    const bool json = bodyType.trimmed().startsWith(QLatin1String("application/json"), Qt::CaseInsensitive);
    QByteArray out;
    int pos = 0;
    while (pos < body.size()) {
        const int start = body.indexOf(QLatin1String("${"), pos);
        if (start < 0) {
            out += body.mid(pos).toUtf8();
            break;
        }
        const int end = body.indexOf(QLatin1Char('}'), start + 2);
        if (end < 0) {
            out += body.mid(pos).toUtf8();
            break;
        }
        out += body.mid(pos, start - pos).toUtf8();
        const QString name = body.mid(start + 2, end - start - 2);
        const QString value = values.value(name);
        out += json ? jsonEscaped(value) : QUrl::toPercentEncoding(value);
        pos = end + 1;
    }
    return out;
}

QString mimeTypeForKey(const QString &key)
{
    const QString suffix = key.section(QLatin1Char('.'), -1).toLower();
    static const QMap<QString, QString> types = {
        {QStringLiteral("mp4"), QStringLiteral("video/mp4")},
        {QStringLiteral("flv"), QStringLiteral("video/x-flv")},
        {QStringLiteral("avi"), QStringLiteral("video/x-msvideo")},
        {QStringLiteral("wmv"), QStringLiteral("video/x-ms-wmv")},
        {QStringLiteral("mov"), QStringLiteral("video/quicktime")},
        {QStringLiteral("mkv"), QStringLiteral("video/x-matroska")},
        {QStringLiteral("mpg"), QStringLiteral("video/mpeg")},
        {QStringLiteral("mpeg"), QStringLiteral("video/mpeg")},
        {QStringLiteral("3gp"), QStringLiteral("video/3gpp")},
        {QStringLiteral("webm"), QStringLiteral("video/webm")},
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("png"), QStringLiteral("image/png")}};
    return key.contains(QLatin1Char('.')) ? types.value(suffix, QStringLiteral("application/octet-stream"))
                                          : QStringLiteral("application/octet-stream");
}

bool isLoopbackHost(const QString &host)
{
    QString h = host.trimmed();
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || h == QLatin1String("::1") ||
        h == QLatin1String("[::1]"))
        return true;
    const QStringList groups = h.split(QLatin1Char('.'));
    if (groups.size() != 4)
        return false;
    for (const QString &group : groups) {
        bool ok = false;
        const int value = group.toInt(&ok);
        if (!ok || value < 0 || value > 255 || group.isEmpty() || group.size() > 3)
            return false;
    }
    return groups.first().toInt() == 127;
}

QString multipartETag(const QList<QByteArray> &partMd5Binary)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (const QByteArray &digest : partMd5Binary)
        hash.addData(digest);
    return QString::fromLatin1(hash.result().toHex().toUpper()) + QLatin1Char('-') +
           QString::number(partMd5Binary.size());
}

} // namespace osswire
} // namespace devsvc
