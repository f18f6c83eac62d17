#pragma once

// Shared pieces of the upload benchmarks: a page without a main window and
// generated input files.

#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

inline void useOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Files of `size` bytes: a distinct first 64 KiB, the rest left sparse, so
// that thousands of them fit on a small disk while every hash still reads
// the full 4 MiB.
inline QStringList makeBenchFiles(const QString &folder, int count, qint64 size)
{
    QStringList paths;
    QByteArray head(64 * 1024, '\0');
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/bench%1.mp4").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            continue;
        for (int j = 0; j < head.size(); ++j)
            head[j] = static_cast<char>((i * 131 + j * 7) & 0xff);
        file.write(head.left(static_cast<int>(qMin<qint64>(head.size(), size))));
        file.resize(size);
        paths.append(path);
    }
    return paths;
}

inline void configureBenchQueue(UploadQueue *queue)
{
    UploadAccount account;
    account.userId = QStringLiteral("u1");
    account.uid = QStringLiteral("u1");
    account.secretKey = QStringLiteral("k");
    account.channel = 1;
    account.apiHost = QStringLiteral("http://127.0.0.1:1");
    account.accountWebHost = QStringLiteral("http://127.0.0.1:1");
    account.uploadHostName = QStringLiteral("127.0.0.1:1");
    queue->setAccount(account);
    queue->setCategorySource([]() { return UploadCategory{QStringLiteral("1"), QStringLiteral("bench")}; });
    // No channel is installed: started rows transfer nothing.
    queue->setLimit(2);
}

inline qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // procfs files report no size, so read them whole instead of testing atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
