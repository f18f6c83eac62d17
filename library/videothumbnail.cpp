#include "library/videothumbnail.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

namespace {

QImage decodeFrom(QImageReader &reader, const QSize &bound)
{
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() > kMaxPictureSide
        || declared.height() > kMaxPictureSide)
        return QImage();
    if (bound.isValid() && !bound.isEmpty()
        && (declared.width() > bound.width() || declared.height() > bound.height()))
        reader.setScaledSize(declared.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}

// The size the label shows its picture at: its fixed size when it has one.
QSize shownSize(const QLabel *label)
{
    const QSize fixed = label->maximumSize();
    if (fixed.width() < QWIDGETSIZE_MAX && fixed.height() < QWIDGETSIZE_MAX)
        return fixed;
    return label->size();
}

} // namespace

QImage decodeBoundedPicture(const QByteArray &data, const QSize &bound)
{
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer);
    return decodeFrom(reader, bound);
}

QImage decodeBoundedPictureFile(const QString &path, const QSize &bound)
{
    QImageReader reader(path);
    return decodeFrom(reader, bound);
}

void showVideoThumbnail(QLabel *label, const QByteArray &imgData)
{
    if (!label)
        return;
    const QImage picture = imgData.isEmpty()
        ? decodeBoundedPictureFile(QString::fromLatin1(kLoadFailurePicture), shownSize(label))
        : decodeBoundedPicture(imgData, shownSize(label));
    if (picture.isNull())
        label->clear();
    else
        label->setPixmap(QPixmap::fromImage(picture));
}

bool showPictureFile(QLabel *label, const QString &path)
{
    if (!label)
        return false;
    const QImage picture = decodeBoundedPictureFile(path, shownSize(label));
    if (picture.isNull())
        return false;
    label->setPixmap(QPixmap::fromImage(picture));
    return true;
}
