#pragma once

// Parameter decoding and the checks the service applies to every signed
// request: the time stamp and the rebuilt signature.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <string>

namespace devsvc {

// Decoded key/value pairs of a query text or an urlencoded form body, in
// the order received. "+" is a blank, %XX a byte; values are UTF-8.
class Params final
{
public:
    Params() = default;
    static Params fromEncoded(const std::string &text);

    bool has(const QString &key) const;
    QString value(const QString &key) const; // first occurrence; empty when absent
    int count(const QString &key) const;
    void add(const QString &key, const QString &value);
    const QList<QPair<QString, QString>> &items() const { return m_items; }

private:
    QList<QPair<QString, QString>> m_items;
};

QByteArray percentDecode(const QByteArray &in, bool plusIsBlank);

QString sha1Upper(const QString &text);
QString md5Lower(const QByteArray &bytes);

enum class PtimeVerdict { Ok, Illegal, TooOld };

// A time stamp is decimal milliseconds without sign or leading zeros. It is
// refused when it lies more than toleranceMs away from the service clock.
PtimeVerdict checkPtime(const QString &text, qint64 nowMs, qint64 toleranceMs);

// The signed text the service expects: "key=value" pairs of `keys` in byte
// order of the keys, joined by "&", followed by the secret key. With
// skipEmpty, pairs with empty values are left out (the conditional rule);
// without it every key takes part with whatever value (possibly empty)
// the request carried.
QString signedText(const Params &params, QStringList keys, bool skipEmpty, const QString &secret);

struct SignVerdict
{
    bool ok = false;
    QString message; // the service's text when refused
};

// Checks ptime and sign of a request against `keys` (ptime among them).
SignVerdict verifySigned(const Params &params, const QStringList &keys, bool skipEmpty,
                         const QString &secret, qint64 nowMs);

// Characters that HTML-escaped titles carry, in the service's stored form.
QString escapeTitle(const QString &raw);

} // namespace devsvc
