#include "devservice/signcheck.h"

#include <QCryptographicHash>

#include <algorithm>

namespace devsvc {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QByteArray percentDecode(const QByteArray &in, bool plusIsBlank)
{
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '+' && plusIsBlank) {
            out.append(' ');
        } else if (c == '%' && i + 2 < in.size() && hexValue(in.at(i + 1)) >= 0 && hexValue(in.at(i + 2)) >= 0) {
            out.append(char(hexValue(in.at(i + 1)) * 16 + hexValue(in.at(i + 2))));
            i += 2;
        } else {
            out.append(c); // a lone "%" stays as it is
        }
    }
    return out;
}

Params Params::fromEncoded(const std::string &text)
{
    Params p;
    const QByteArray all = QByteArray::fromStdString(text);
    if (all.isEmpty())
        return p;
    for (const QByteArray &pair : all.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        const QByteArray k = eq < 0 ? pair : pair.left(eq);
        const QByteArray v = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        p.add(QString::fromUtf8(percentDecode(k, true)), QString::fromUtf8(percentDecode(v, true)));
    }
    return p;
}

bool Params::has(const QString &key) const
{
    return count(key) > 0;
}

QString Params::value(const QString &key) const
{
    for (const auto &item : m_items)
        if (item.first == key)
            return item.second;
    return QString();
}

int Params::count(const QString &key) const
{
    int n = 0;
    for (const auto &item : m_items)
        if (item.first == key)
            ++n;
    return n;
}

void Params::add(const QString &key, const QString &value)
{
    m_items.append(qMakePair(key, value));
}

QString sha1Upper(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper());
}

QString md5Lower(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

PtimeVerdict checkPtime(const QString &text, qint64 nowMs, qint64 toleranceMs)
{
    if (text.isEmpty() || text.size() > 18 || text.at(0) == QLatin1Char('0'))
        return PtimeVerdict::Illegal;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return PtimeVerdict::Illegal;
    const qint64 value = text.toLongLong();
    const qint64 diff = value > nowMs ? value - nowMs : nowMs - value;
    return diff > toleranceMs ? PtimeVerdict::TooOld : PtimeVerdict::Ok;
}

QString signedText(const Params &params, QStringList keys, bool skipEmpty, const QString &secret)
{
    // Plain byte order of the ASCII keys.
    std::sort(keys.begin(), keys.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    QString text;
    for (const QString &key : keys) {
        const QString value = params.value(key);
        if (skipEmpty && value.isEmpty())
            continue;
        text += QLatin1Char('&') + key + QLatin1Char('=') + value;
    }
    if (!text.isEmpty())
        text.remove(0, 1);
    return text + secret;
}

SignVerdict verifySigned(const Params &params, const QStringList &keys, bool skipEmpty,
                         const QString &secret, qint64 nowMs)
{
    SignVerdict v;
    switch (checkPtime(params.value(QStringLiteral("ptime")), nowMs, 5 * 60 * 1000)) {
    case PtimeVerdict::Illegal:
        v.message = QStringLiteral("ptime is illegal.");
        return v;
    case PtimeVerdict::TooOld:
        v.message = QStringLiteral("ptime is too old.");
        return v;
    case PtimeVerdict::Ok:
        break;
    }
    if (!skipEmpty) {
        for (const QString &key : keys) {
            if (!params.has(key)) {
                v.message = QStringLiteral("parameter %1 is missing.").arg(key);
                return v;
            }
        }
    }
    for (const QString &key : keys) {
        if (params.count(key) > 1) {
            v.message = QStringLiteral("parameter %1 is repeated.").arg(key);
            return v;
        }
    }
    const QString sign = params.value(QStringLiteral("sign"));
    if (sign.isEmpty() || sign != sha1Upper(signedText(params, keys, skipEmpty, secret))) {
        v.message = QStringLiteral("sign is illegal.");
        return v;
    }
    v.ok = true;
    return v;
}

QString escapeTitle(const QString &raw)
{
    QString out = raw;
    out.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    out.replace(QLatin1Char('\''), QStringLiteral("&#039;"));
    out.replace(QLatin1Char('('), QStringLiteral("&#040;"));
    out.replace(QLatin1Char(')'), QStringLiteral("&#041;"));
    return out;
}

} // namespace devsvc
