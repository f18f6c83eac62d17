#pragma once

// Test files of pseudo-random bytes that the same seed writes again byte for
// byte, so a test can compare what a store received with what it sent.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

// A file of `size` pseudo-random bytes; returns its lower-case hex MD5, or an
// empty array when the file cannot be opened.
inline QByteArray writeRandomFile(const QString &path, qint64 size, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QByteArray();
    QRandomGenerator random(seed);
    QCryptographicHash md5(QCryptographicHash::Md5);
    QByteArray chunk;
    for (qint64 left = size; left > 0;) {
        const int n = int(qMin<qint64>(left, 1024 * 1024));
        chunk.resize((n + 3) & ~3);
        random.fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        chunk.resize(n);
        md5.addData(chunk);
        file.write(chunk);
        left -= n;
    }
    return md5.result().toHex();
}
