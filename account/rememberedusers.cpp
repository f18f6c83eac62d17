#include "account/rememberedusers.h"

#include "platform/platform.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int kBlock = 16;

// Fixed key and initialisation vector of the remembered-users file.
const unsigned char kKey[kBlock] = {0x5a, 0x61, 0x76, 0x69, 0x78, 0x2d, 0x55, 0x70,
                                    0x6c, 0x6f, 0x61, 0x64, 0x2d, 0x4b, 0x65, 0x79};
const unsigned char kIv[kBlock] = {0x3c, 0x91, 0x0e, 0xd4, 0x27, 0x6b, 0xa8, 0x15,
                                   0xf2, 0x49, 0x83, 0x5e, 0xc7, 0x1a, 0x60, 0xbd};

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

// AES-128-CBC without cipher padding over a buffer whose length is a
// multiple of the block size. Returns an empty array on failure.
QByteArray aesCbc(const QByteArray &input, bool encrypt)
{
    if (input.isEmpty() || input.size() % kBlock != 0)
        return {};
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return {};
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, kKey, kIv, encrypt ? 1 : 0) != 1)
        return {};
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    QByteArray output(input.size() + kBlock, '\0');
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char *>(output.data()), &written,
                         reinterpret_cast<const unsigned char *>(input.constData()), input.size())
        != 1)
        return {};
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char *>(output.data()) + written,
                           &tail)
        != 1)
        return {};
    output.resize(written + tail);
    return output;
}

QJsonArray parseArray(const QString &jsonText, bool *ok)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonText.toUtf8(), &error);
    *ok = error.error == QJsonParseError::NoError && doc.isArray();
    return *ok ? doc.array() : QJsonArray();
}

RememberedUser userFrom(const QJsonObject &object)
{
    RememberedUser user;
    user.usrName = object.value(QStringLiteral("usrName")).toString();
    user.usrPwd = object.value(QStringLiteral("usrPwd")).toString();
    user.isRemberPwd = object.value(QStringLiteral("isRemberPwd")).toBool();
    return user;
}

} // namespace

namespace usersfile {

QByteArray encode(const QString &jsonText)
{
    QByteArray buffer = jsonText.toUtf8().toBase64();
    // Zero bytes up to one block more than the next multiple of the block
    // size, so there is always at least one zero byte ending the text.
    const int rounded = (buffer.size() + kBlock - 1) / kBlock * kBlock;
    buffer.append(QByteArray(rounded + kBlock - buffer.size(), '\0'));
    return aesCbc(buffer, true);
}

QString decode(const QByteArray &fileBytes)
{
    QByteArray plain = aesCbc(fileBytes, false);
    const int end = plain.indexOf('\0');
    if (end < 0)
        return {}; // every buffer we write ends in zero bytes
    plain.truncate(end);
    const auto decoded = QByteArray::fromBase64Encoding(plain, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    return QString::fromUtf8(*decoded);
}

QString readFile(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return decode(file.readAll());
}

bool writeFile(const QString &path, const QString &jsonText)
{
    const QByteArray bytes = encode(jsonText);
    if (bytes.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The file holds the typed passwords: the owner's only, also when an
    // older one was readable by others.
    platform::restrictToOwner(file);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace usersfile

QList<RememberedUser> parseRememberedUsers(const QString &jsonText)
{
    bool ok = false;
    const QJsonArray array = parseArray(jsonText, &ok);
    QList<RememberedUser> users;
    for (const QJsonValue &value : array) {
        if (value.isObject())
            users.append(userFrom(value.toObject()));
    }
    return users;
}

RememberedLookup findRememberedUser(const QString &jsonText, const QString &name)
{
    RememberedLookup lookup;
    const QList<RememberedUser> users = parseRememberedUsers(jsonText);
    for (const RememberedUser &user : users) {
        if (user.usrName == name) {
            lookup.found = true;
            lookup.user = user;
            break;
        }
    }
    return lookup;
}

QString rememberUser(const QString &jsonText, const RememberedUser &user)
{
    bool ok = false;
    const QJsonArray old = parseArray(jsonText, &ok);
    QJsonArray array;
    QJsonObject entry;
    entry.insert(QStringLiteral("usrName"), user.usrName);
    entry.insert(QStringLiteral("usrPwd"), user.usrPwd);
    entry.insert(QStringLiteral("isRemberPwd"), user.isRemberPwd);
    array.append(entry);
    for (const QJsonValue &value : old) {
        // Whole-name comparison: an address that merely contains another
        // one is a different user.
        if (value.isObject()
            && value.toObject().value(QStringLiteral("usrName")).toString() == user.usrName)
            continue;
        array.append(value);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}
