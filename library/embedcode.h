#pragma once

#include <QString>

class QFontMetrics;

// The player embed code that the video rows copy to the clipboard.
namespace embedcode {

// Index of the code kind in the pages' code type combo boxes.
enum Kind : int { KindVid = 0, KindFlash = 1, KindHtml = 2, KindJs = 3 };

// The page that copies; only the name of the bare id kind differs.
enum class Page { Manage, Search };

// Templates with the placeholders [vid], [width] and [height]; playerHost is
// the host name (and port) of the player host, without a scheme.
QString flashTemplate(const QString &playerHost);
QString objectTemplate(const QString &playerHost);
QString scriptTemplate(const QString &playerHost);

// Replaces every [vid], then every [width], then every [height].
QString fillTemplate(const QString &text, const QString &vid, const QString &width,
                     const QString &height);

// The code of a kind; an empty text for an index that names no kind.
QString buildCode(int kind, const QString &vid, const QString &width, const QString &height,
                  const QString &playerHost);

// The name shown in the review dialog's title; empty for an unknown index.
QString codeTypeName(int kind, Page page);

// "标题:<title elided to 260 px>\r\n<vid>".
QString codeHeader(const QString &title, const QString &vid, const QFontMetrics &metrics);

// The host name (and port) of the player host of this build.
QString playerHostName();

// What a page remembers of its last copy.
struct CopiedCode
{
    QString type;
    QString header;
    QString code;
};

// What a copy yields from the row's texts and the current combo index.
// Without a valid index the previous type and code stay and only the header
// is renewed.
struct CopyInput
{
    int kind = -1;
    QString vid;
    QString title;
    QString width;
    QString height;
};
CopiedCode nextCopy(const CopiedCode &previous, const CopyInput &input, Page page,
                    const QString &playerHost, const QFontMetrics &metrics);

} // namespace embedcode
