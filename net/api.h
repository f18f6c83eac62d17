#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

// Conventions shared by every call of the service's web API: the request
// time stamp, the signature, the value encoding and the answer envelope.

// Milliseconds since 1970-01-01 00:00:00 UTC from the system clock.
qint64 currentPtime();

// Upper-case hexadecimal SHA-1 of the UTF-8 bytes of text (40 digits).
QString signParams(const QString &text);

// Value encoding: letters, digits and "-_.~" are kept, a blank becomes "+",
// every other byte becomes %XX (upper-case hex). The QString overload encodes
// the UTF-8 bytes.
QByteArray urlEncode(const QByteArray &bytes);
QByteArray urlEncode(const QString &text);

using SignPair = QPair<QString, QString>;

// Signing rule 1: every pair as key=value, in ascending byte order of the key,
// joined with "&", the secret key appended directly after the last value.
QString sortedSignText(QList<SignPair> params, const QString &secretKey);

// Signing rule 2: like rule 1, but pairs with an empty value are left out.
QString conditionalSignText(QList<SignPair> params, const QString &secretKey);

// Convenience: signParams(sortedSignText(params, secretKey)).
QString signSorted(const QList<SignPair> &params, const QString &secretKey);

// The JSON envelope of an API answer.
struct ApiEnvelope
{
    bool parsed = false; // the text was a JSON object
    int code = 0;        // "code" read as an integer (0 when absent)
    QString status;      // "status"
    QString message;     // "message"
    QJsonValue data;     // "data" (undefined when absent)
    QJsonObject object;  // the whole answer object

    bool codeIs200() const { return parsed && code == 200; }
    bool isSuccess() const { return parsed && status == QLatin1String("success"); }
};

// Parses an answer text. A parse error or a document that is not an object
// gives parsed == false.
ApiEnvelope parseEnvelope(const QString &text);
ApiEnvelope parseEnvelope(const QByteArray &utf8);

// An answer as the log may show it. The log is kept for a long time and may
// be read by others, while answers carry keys and tokens: only the envelope
// ("code", "status", "message", "msg") and the plain facts of "data"
// ("bucketName", "endpoint", "remainSpace", "host", "fileid", "dateStr") are
// written, as compact JSON. A text that is not a JSON object is written only
// when it is a bare number (the check answers), otherwise only its length.
QString loggableAnswer(const QByteArray &utf8);
QString loggableAnswer(const QString &text);

// The service's two time-stamp rejections.
inline const char *const kPtimeTooOld = "ptime is too old.";
inline const char *const kPtimeIllegal = "ptime is illegal.";

// The ways in which the callers recognise a time-stamp rejection.
enum class PtimeMatch {
    Exact,           // message equals one of the two texts
    ContainsPtimeIs, // message contains "ptime is"
    ContainsPtime,   // message contains "ptime"
    ContainsTooOld   // the answer contains "ptime is too old"
};
bool isPtimeRejection(const QString &text, PtimeMatch how);
