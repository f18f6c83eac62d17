#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

// What the queue needs to know about one file before it makes a task: read
// from the file system and hashed off the GUI thread.
struct AddedFileFacts
{
    int index = 0; // position in the batch
    QString path;
    QString fileName;
    QString folder; // the path without the file name, with its separator
    qint64 fileSize = 0;
    QString vid; // empty for files of size 0
};
Q_DECLARE_METATYPE(AddedFileFacts)

// Reads and hashes the files start, start + stride, ... of one batch in
// order and reports each one.
class AddFilesThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(AddFilesThread)

public:
    AddFilesThread(const QStringList &paths, const QString &userId, const QString &cataid,
                   int start = 0, int stride = 1, QObject *parent = nullptr);

signals:
    void fileReady(const AddedFileFacts &facts);
    void Result();

protected:
    void run() override;

private:
    QStringList m_paths;
    QString m_userId;
    QString m_cataid;
    int m_start;
    int m_stride;
};

// The same facts computed on the calling thread.
AddedFileFacts inspectAddedFile(const QString &path, const QString &userId,
                                const QString &cataid);
