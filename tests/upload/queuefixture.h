#pragma once

// A small fixture for the queue tests: an upload page without a main window,
// a stand-in channel factory and real files in a temporary folder.

#include "standinchannels.h"
#include "net/servicehosts.h"
#include "upload/uploadpage.h"
#include "upload/uploadqueue.h"
#include "upload/uploadwidget.h"

#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

struct QueueFixture
{
    explicit QueueFixture(int channel, int limit = 2)
    {
        factory = installStandIns();
        page = std::make_unique<UploadPage>(nullptr);
        page->resize(800, 600);
        page->show();
        UploadAccount account;
        account.userId = QStringLiteral("u1");
        account.uid = QStringLiteral("u1");
        account.secretKey = QStringLiteral("k");
        account.channel = channel;
        // Nothing listens here: cancel requests fail at once.
        account.apiHost = QStringLiteral("http://127.0.0.1:1");
        account.accountWebHost = QStringLiteral("http://127.0.0.1:1");
        account.uploadHostName = QStringLiteral("127.0.0.1:1");
        queue()->setAccount(account);
        queue()->setLimit(limit);
        queue()->setCategorySource([this]() { return category; });
        queue()->setFinishedHandler([this](const UploadTask &task, const QString &status) {
            finished.append(task.vid + QLatin1Char(' ') + status);
        });
    }
    ~QueueFixture()
    {
        page.reset();
        setUploadChannelFactory(nullptr);
    }

    UploadQueue *queue() const { return page->queue(); }

    // The queue's account signed in as a user of the local service, reached
    // through the hosts the client takes from ZAVIX_SERVICE_URL.
    UploadAccount serviceAccount(const QString &userId, const QString &secretKey) const
    {
        UploadAccount account = queue()->account();
        account.userId = account.uid = userId;
        account.secretKey = secretKey;
        account.apiHost = hosts::apiHost();
        account.accountWebHost = hosts::accountWebHost();
        account.uploadHostName = hosts::uploadHostName();
        return account;
    }

    QString makeFile(const QString &name, int size = 1000, char fill = 'x')
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(size, fill);
        bytes.append(name.toUtf8()); // distinct content per name
        file.write(bytes);
        return path;
    }
    QStringList makeFiles(int count, const QString &prefix = QStringLiteral("clip"))
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths.append(makeFile(QStringLiteral("%1%2.mp4").arg(prefix).arg(i)));
        return paths;
    }

    // Adds and waits until the rows are in the list.
    bool add(const QStringList &paths)
    {
        QSignalSpy done(queue(), &UploadQueue::addingFinished);
        queue()->addUploadTask(paths);
        return done.count() > 0 || done.wait(10000);
    }

    int uploadingRows() const
    {
        int n = 0;
        for (int i = 0; i < queue()->rowCount(); ++i)
            n += queue()->row(i)->isUploading() ? 1 : 0;
        return n;
    }

    StandInBlockThread *blockOf(int row) const { return factory->blockFor(queue()->row(row)->task()); }
    StandInOssThread *ossOf(int row) const { return factory->ossFor(queue()->row(row)->task()->vid); }

    QTemporaryDir dir;
    StandInFactory *factory = nullptr;
    std::unique_ptr<UploadPage> page;
    UploadCategory category{QStringLiteral("11"), QStringLiteral("默认分类")};
    QStringList finished;
};
