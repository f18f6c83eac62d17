#include "library/videothumbnail.h"

#include <QLabel>
#include <QPixmap>

void showVideoThumbnail(QLabel *label, const QByteArray &imgData)
{
    if (!label)
        return;
    QPixmap picture;
    if (imgData.isEmpty())
        picture.load(QString::fromLatin1(kLoadFailurePicture));
    else
        picture.loadFromData(imgData);
    if (picture.isNull())
        label->clear();
    else
        label->setPixmap(picture);
}
