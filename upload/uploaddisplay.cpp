#include "upload/uploaddisplay.h"

#include <QCoreApplication>

#include <limits>

namespace uploaddisplay {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("UploadDisplay", text);
}

QString twoDigits(qint64 value)
{
    QString text = QString::number(value);
    if (text.size() < 2)
        text.prepend(QLatin1Char('0'));
    return text;
}

QString blue(const QString &text)
{
    return QStringLiteral("<font color = #26a0f5>%1</font>").arg(text);
}

} // namespace

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1%2").arg(bytes).arg(QLatin1String("B"));
    float value = 0;
    QString unit;
    if (bytes < 1048576) {
        value = static_cast<float>(bytes) * (1.0f / 1024);
        unit = QStringLiteral("K");
    } else if (bytes < 1073741824) {
        value = static_cast<float>(bytes) * (1.0f / 1048576);
        unit = QStringLiteral("M");
    } else {
        value = static_cast<float>(bytes) * (1.0f / 1073741824);
        unit = QStringLiteral("G");
    }
    return QString::number(value, 'f', 2) + unit;
}

QString progressText(qint64 done, qint64 total)
{
    int percent = 0;
    if (total > 0 && done > 0) {
        const double ratio = static_cast<double>(done) / static_cast<double>(total) * 100;
        percent = ratio >= 100 ? 100 : static_cast<int>(ratio);
    }
    return QString::number(percent) + QLatin1Char('%');
}

int speedFromCounter(qint64 bytesInTick)
{
    const qint64 speed = bytesInTick / 2048;
    if (speed < 1)
        return 0;
    return speed > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                   : static_cast<int>(speed);
}

QString speedText(int kibPerSecond)
{
    if (kibPerSecond < 1024)
        return QStringLiteral("%1%2").arg(kibPerSecond).arg(QLatin1String("KB/S"));
    const float value = static_cast<float>(kibPerSecond) * (1.0f / 1024);
    return QString::number(value, 'f', 2) + QStringLiteral("MB/S");
}

QString remainingTimeText(qint64 fileSize, qint64 done, int kibPerSecond)
{
    const QString moreThanADay = tr("超过一天");
    if (kibPerSecond <= 0)
        return moreThanADay;
    const qint64 seconds = ((fileSize - done) / 1024) / kibPerSecond;
    if (seconds < 0 || seconds >= 86400)
        return moreThanADay;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds % 3600) / 60;
    const qint64 s = seconds % 60;
    return QStringLiteral("%1:%2:%3").arg(twoDigits(h), twoDigits(m), twoDigits(s));
}

QString networkRating(int kibPerSecond)
{
    if (kibPerSecond <= 0)
        return tr("未知");
    if (kibPerSecond < 50)
        return tr("欠佳");
    if (kibPerSecond < 500)
        return tr("良好");
    return tr("优秀");
}

QString statusLine(int running, int waiting, const QString &rating, int kibPerSecond)
{
    QString speed;
    if (kibPerSecond < 1024) {
        speed = blue(QString::number(kibPerSecond) + QStringLiteral("KB/S"));
    } else {
        const float value = static_cast<float>(kibPerSecond) * (1.0f / 1024);
        speed = blue(QString::number(value, 'f', 2) + QStringLiteral("MB/S"));
    }
    return tr("正在上传(%1)，等待上传(%2)，网络情况(%3)，上传速度(%4)")
        .arg(blue(QString::number(running)), blue(QString::number(waiting)), blue(rating), speed);
}

QString statusLineReset()
{
    return statusLine(0, 0, tr("未知"), 0);
}

} // namespace uploaddisplay
