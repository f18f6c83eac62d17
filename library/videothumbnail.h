#pragma once

#include <QByteArray>

class QLabel;

// Shows a downloaded thumbnail: the image when the bytes are one, nothing
// when they are not, the load-failure picture when the download failed
// (empty bytes).
void showVideoThumbnail(QLabel *label, const QByteArray &imgData);

// The picture shown for a thumbnail that could not be downloaded.
inline const char kLoadFailurePicture[] = ":/res/Resources/loadFailure.png";
