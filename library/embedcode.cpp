#include "library/embedcode.h"

#include "net/servicehosts.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QStringList>

namespace embedcode {

namespace {
constexpr int kHeaderTitleWidth = 260;
}

QString flashTemplate(const QString &playerHost)
{
    return QStringLiteral("http://") + playerHost + QStringLiteral("/videos/player.swf?vid=[vid]");
}

QString objectTemplate(const QString &playerHost)
{
    return QStringLiteral("<OBJECT classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" "
                          "width=\"[width]\" height=\"[height]\" id=\"zavixplayer[vid]\">"
                          "<PARAM NAME=movie VALUE=\"http://")
        + playerHost
        + QStringLiteral("/videos/player.swf\" /><param name=\"allowscriptaccess\" value=\"always\" />"
                         "<param name=\"wmode\" value=\"Transparent\" />"
                         "<param name=\"flashvars\" value=\"vid=[vid]\" />"
                         "<param name=\"allowFullScreen\" value=\"true\" /><EMBED src=\"http://")
        + playerHost
        + QStringLiteral("/videos/player.swf\" width=\"[width]\" height=\"[height]\"  "
                         "TYPE=\"application/x-shockwave-flash\" allowscriptaccess=\"always\" "
                         "wmode=\"Transparent\" name=\"zavixplayer[vid]\" allowFullScreen=\"true\" "
                         "flashvars=\"vid=[vid]\"></EMBED></OBJECT>");
}

QString scriptTemplate(const QString &playerHost)
{
    const QStringList lines = {
        QStringLiteral("<script src='//") + playerHost
            + QStringLiteral("/script/zavixplayer.min.js'></script>"),
        QStringLiteral("<div id='zvx_[vid]'></div>"),
        QStringLiteral("<script>"),
        QStringLiteral("var player = zavixObject('#zvx_[vid]').videoPlayer({"),
        QStringLiteral("    'width':'[width]',"),
        QStringLiteral("  'height':'[height]',"),
        QStringLiteral("'vid' : '[vid]'"),
        QStringLiteral("});"),
        QStringLiteral("</script>"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString fillTemplate(const QString &text, const QString &vid, const QString &width,
                     const QString &height)
{
    QString code = text;
    code.replace(QLatin1String("[vid]"), vid);
    code.replace(QLatin1String("[width]"), width);
    code.replace(QLatin1String("[height]"), height);
    return code;
}

QString buildCode(int kind, const QString &vid, const QString &width, const QString &height,
                  const QString &playerHost)
{
    switch (kind) {
    case KindVid:
        return vid;
    case KindFlash:
        return fillTemplate(flashTemplate(playerHost), vid, width, height);
    case KindHtml:
        return fillTemplate(objectTemplate(playerHost), vid, width, height);
    case KindJs:
        return fillTemplate(scriptTemplate(playerHost), vid, width, height);
    default:
        return QString();
    }
}

QString codeTypeName(int kind, Page page)
{
    switch (kind) {
    case KindVid:
        return page == Page::Manage ? QStringLiteral("Vid") : QStringLiteral("VID");
    case KindFlash:
        return QStringLiteral("Flash");
    case KindHtml:
        return QStringLiteral("Html");
    case KindJs:
        return QStringLiteral("Js");
    default:
        return QString();
    }
}

QString codeHeader(const QString &title, const QString &vid, const QFontMetrics &metrics)
{
    const QString shortTitle = metrics.elidedText(title, Qt::ElideRight, kHeaderTitleWidth);
    return QCoreApplication::translate("EmbedCode", "标题:%1\r\n%2").arg(shortTitle, vid);
}

QString playerHostName()
{
    return hosts::hostNameOf(hosts::playerHost());
}

CopiedCode nextCopy(const CopiedCode &previous, const CopyInput &input, Page page,
                    const QString &playerHost, const QFontMetrics &metrics)
{
    CopiedCode next = previous;
    next.header = codeHeader(input.title, input.vid, metrics);
    if (input.kind >= KindVid && input.kind <= KindJs) {
        next.type = codeTypeName(input.kind, page);
        next.code = buildCode(input.kind, input.vid, input.width, input.height, playerHost);
    }
    return next;
}

} // namespace embedcode
