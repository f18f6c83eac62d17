#include "upload/addfilesthread.h"

#include "net/threadstart.h"
#include "upload/uploadinit.h"

#include <QFileInfo>

AddedFileFacts inspectAddedFile(const QString &path, const QString &userId, const QString &cataid)
{
    AddedFileFacts facts;
    const QFileInfo info(path);
    facts.path = path;
    facts.fileName = info.fileName();
    facts.fileSize = info.size();
    facts.folder = path.left(path.size() - facts.fileName.size());
    if (facts.fileSize > 0)
        facts.vid = makeVid(userId, facts.fileName, cataid, facts.fileSize, path);
    return facts;
}

AddFilesThread::AddFilesThread(const QStringList &paths, const QString &userId,
                               const QString &cataid, int start, int stride, QObject *parent)
    : QThread(parent), m_paths(paths), m_userId(userId), m_cataid(cataid), m_start(start),
      m_stride(qMax(1, stride))
{
    qRegisterMetaType<AddedFileFacts>("AddedFileFacts");
}

void AddFilesThread::run()
{
    prepareThread();
    for (int i = m_start; i < m_paths.size(); i += m_stride) {
        if (isInterruptionRequested())
            break;
        AddedFileFacts facts = inspectAddedFile(m_paths.at(i), m_userId, m_cataid);
        facts.index = i;
        emit fileReady(facts);
    }
    emit Result();
}
