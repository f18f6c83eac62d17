#pragma once

#include <QString>
#include <QtGlobal>

// Texts of the upload rows and the queue's status line. Plain functions so
// that every rule can be checked without a window.
namespace uploaddisplay {

// 512B, 1.00K, 12.35M, 1.50G (single precision scaling, two decimals).
QString sizeText(qint64 bytes);

// done / total * 100, truncated, capped at 100, followed by "%". A total of
// zero or less, or a negative count, gives "0%".
QString progressText(qint64 done, qint64 total);

// KiB/s over a 2-second tick from the bytes counted in it; below 1 is 0.
int speedFromCounter(qint64 bytesInTick);

// 512KB/S below 1024 KiB/s, otherwise 1.50MB/S.
QString speedText(int kibPerSecond);

// hh:mm:ss of the remaining time, or "超过一天" when the speed is 0 or the
// time is a day or more.
QString remainingTimeText(qint64 fileSize, qint64 done, int kibPerSecond);

// Network rating of the summed speed (KiB/s): "未知" for 0.
QString networkRating(int kibPerSecond);

// The status line under the upload list.
QString statusLine(int running, int waiting, const QString &rating, int kibPerSecond);
QString statusLineReset();

} // namespace uploaddisplay
