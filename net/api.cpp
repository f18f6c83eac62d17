#include "net/api.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <initializer_list>

qint64 currentPtime()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString signParams(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper());
}

QByteArray urlEncode(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-'
            || b == '_' || b == '.' || b == '~') {
            out.append(c);
        } else if (b == ' ') {
            out.append('+');
        } else {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 0x0F]);
        }
    }
    return out;
}

QByteArray urlEncode(const QString &text)
{
    return urlEncode(text.toUtf8());
}

namespace {

// Keys are ASCII; their order is the plain byte order of their UTF-8 bytes.
void sortByKey(QList<SignPair> &params)
{
    std::stable_sort(params.begin(), params.end(), [](const SignPair &a, const SignPair &b) {
        return a.first.toUtf8() < b.first.toUtf8();
    });
}

QString joinPairs(const QList<SignPair> &params, const QString &secretKey, bool skipEmpty)
{
    QString text;
    for (const SignPair &p : params) {
        if (skipEmpty && p.second.isEmpty())
            continue;
        if (!text.isEmpty())
            text += QLatin1Char('&');
        text += p.first + QLatin1Char('=') + p.second;
    }
    return text + secretKey;
}

} // namespace

QString sortedSignText(QList<SignPair> params, const QString &secretKey)
{
    sortByKey(params);
    return joinPairs(params, secretKey, false);
}

QString conditionalSignText(QList<SignPair> params, const QString &secretKey)
{
    sortByKey(params);
    return joinPairs(params, secretKey, true);
}

QString signSorted(const QList<SignPair> &params, const QString &secretKey)
{
    return signParams(sortedSignText(params, secretKey));
}

ApiEnvelope parseEnvelope(const QByteArray &utf8)
{
    ApiEnvelope env;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return env;
    env.parsed = true;
    env.object = doc.object();
    env.code = env.object.value(QLatin1String("code")).toInt();
    env.status = env.object.value(QLatin1String("status")).toString();
    env.message = env.object.value(QLatin1String("message")).toString();
    env.data = env.object.value(QLatin1String("data"));
    return env;
}

ApiEnvelope parseEnvelope(const QString &text)
{
    return parseEnvelope(text.toUtf8());
}

namespace {

QJsonObject keptMembers(const QJsonObject &from, std::initializer_list<const char *> names)
{
    QJsonObject kept;
    for (const char *name : names) {
        const QString key = QLatin1String(name);
        const QJsonValue value = from.value(key);
        // Only scalars: an object or array under a harmless name could still
        // hold anything.
        if (value.isString() || value.isDouble() || value.isBool() || value.isNull())
            kept.insert(key, value);
    }
    return kept;
}

bool isBareNumber(const QByteArray &text)
{
    const QByteArray t = text.trimmed();
    if (t.isEmpty() || t.size() > 20)
        return false;
    for (char c : t) {
        if ((c < '0' || c > '9') && c != '-')
            return false;
    }
    return true;
}

} // namespace

QString loggableAnswer(const QByteArray &utf8)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (isBareNumber(utf8))
            return QString::fromLatin1(utf8.trimmed());
        return QStringLiteral("(%1 bytes, not a JSON object)").arg(utf8.size());
    }
    const QJsonObject root = doc.object();
    QJsonObject shown = keptMembers(root, {"code", "status", "message", "msg"});
    const QJsonValue data = root.value(QLatin1String("data"));
    if (data.isObject())
        shown.insert(QStringLiteral("data"),
                     keptMembers(data.toObject(), {"bucketName", "endpoint", "remainSpace", "host",
                                                   "fileid", "dateStr"}));
    return QString::fromUtf8(QJsonDocument(shown).toJson(QJsonDocument::Compact));
}

QString loggableAnswer(const QString &text)
{
    return loggableAnswer(text.toUtf8());
}

bool isPtimeRejection(const QString &text, PtimeMatch how)
{
    switch (how) {
    case PtimeMatch::Exact:
        return text == QLatin1String(kPtimeTooOld) || text == QLatin1String(kPtimeIllegal);
    case PtimeMatch::ContainsPtimeIs:
        return text.contains(QLatin1String("ptime is"));
    case PtimeMatch::ContainsPtime:
        return text.contains(QLatin1String("ptime"));
    case PtimeMatch::ContainsTooOld:
        return text.contains(QLatin1String("ptime is too old"));
    }
    return false;
}
