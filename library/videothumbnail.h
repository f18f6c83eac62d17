#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QLabel;

// Shows a downloaded thumbnail: the image when the bytes are one, nothing
// when they are not (or declare a picture larger than kMaxPictureSide), the
// load-failure picture when the download failed (empty bytes). The picture
// is decoded at the label's size, never kept at full size.
void showVideoThumbnail(QLabel *label, const QByteArray &imgData);

// Shows a local picture file (a chosen cover) the same way; false when it
// is no usable picture (the label then keeps what it shows).
bool showPictureFile(QLabel *label, const QString &path);

// The picture shown for a thumbnail that could not be downloaded.
inline const char kLoadFailurePicture[] = ":/res/Resources/loadFailure.png";

// Pictures whose declared width or height is larger than this are refused
// before anything is decoded.
constexpr int kMaxPictureSide = 4096;

// Reads the declared size first and decodes only a picture within
// kMaxPictureSide, scaled down to fit into bound (aspect ratio kept, never
// enlarged). Null for data that is no picture or is too large.
QImage decodeBoundedPicture(const QByteArray &data, const QSize &bound);
QImage decodeBoundedPictureFile(const QString &path, const QSize &bound);
