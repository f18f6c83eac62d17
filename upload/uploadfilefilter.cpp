#include "upload/uploadfilefilter.h"

#include <QFileInfo>

QString uploadExtensionList()
{
    return QStringLiteral("*.avi;*.f4v;*.mpg;*.mp4;*.mkv;*.flv;*.wmv;*.mov;*.3gp;*.rmvb;*.rm;"
                          "*.mkv;*.asf;*.264;*.ts;*.mts;*.dat;*.vob;*.mp3;*.wav;*.m4v;*.webm;");
}

QStringList acceptedUploadPaths(const QStringList &paths)
{
    const QString list = uploadExtensionList();
    QStringList kept;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        const QString suffix = info.suffix().toLower();
        if (suffix.isEmpty() || !list.contains(suffix, Qt::CaseInsensitive) || !info.isFile())
            continue;
        kept.append(path);
    }
    return kept;
}
