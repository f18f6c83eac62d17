#include "library/videoformat.h"

#include <QCoreApplication>
#include <QDateTime>

namespace videoformat {

QString decodeTitle(const QString &title)
{
    QString text = title;
    text.replace(QLatin1String("&#040;"), QLatin1String("("));
    text.replace(QLatin1String("&#041;"), QLatin1String(")"));
    text.replace(QLatin1String("&#039;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

QString statusText(const QString &status)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("VideoStatus", text); };
    if (status == QLatin1String("5"))
        return tr("上传中");
    if (status == QLatin1String("60") || status == QLatin1String("61"))
        return tr("已发布");
    if (status == QLatin1String("10"))
        return tr("等待编码");
    if (status == QLatin1String("20"))
        return tr("正在编码");
    if (status == QLatin1String("50"))
        return tr("等待审核");
    if (status == QLatin1String("51"))
        return tr("审核不通过");
    if (status == QLatin1String("-1"))
        return tr("已删除");
    return tr("文件损坏或其它");
}

namespace {

qint64 ptimeSeconds(const QString &ptime)
{
    return static_cast<qint64>(ptime.left(10).toULongLong());
}

QString formatWhen(const QDateTime &when)
{
    const QDate day = when.date();
    return QStringLiteral("%1-%2-%3 %4")
        .arg(day.year())
        .arg(day.month())
        .arg(day.day())
        .arg(when.time().toString(QStringLiteral("hh:mm:ss")));
}

} // namespace

QString modificationText(const QString &ptime, const QTimeZone &zone)
{
    return formatWhen(QDateTime::fromSecsSinceEpoch(ptimeSeconds(ptime), zone));
}

QString modificationText(const QString &ptime)
{
    return formatWhen(QDateTime::fromSecsSinceEpoch(ptimeSeconds(ptime), Qt::LocalTime));
}

int pageCount(const QString &totalText)
{
    const qint64 total = totalText.toInt(); // 0 when not a number
    if (total <= 0)
        return 1;
    const qint64 pages = (total + kVideosPerPage - 1) / kVideosPerPage;
    return static_cast<int>(qMin<qint64>(pages, kMaxPageCount));
}

int pageItemWidth(int i)
{
    if (i < 10)
        return 20;
    if (i < 100)
        return 25;
    if (i < 1000)
        return 30;
    if (i < 10000)
        return 40;
    return 60;
}

int pageListWidth(int pageCount)
{
    return pageCount < 10 ? 22 * pageCount : 240;
}

QString pageCountText(int pageCount)
{
    return QCoreApplication::translate("VideoPaging", "共%1页，跳到：").arg(pageCount);
}

QString fileCountText(int count)
{
    const QString number = QStringLiteral("<font color = #26a0f5>%1</font>").arg(count);
    return QCoreApplication::translate("VideoPaging", "(文件数量:%1/20个)").arg(number);
}

} // namespace videoformat
