#pragma once

#include <QString>
#include <QTimeZone>

// Text rules shared by the manage and the search page: how a video record of
// the list answer is turned into what a row shows, and how the paging widgets
// are sized. Nothing here needs a widget.
namespace videoformat {

// Rows asked for per page.
constexpr int kVideosPerPage = 20;

// Upper bound of the page list. A total far beyond any real library (the
// number comes from the service as text) would otherwise make the page list
// build millions of items.
constexpr int kMaxPageCount = 100000;

// Replaces the four HTML entities the service leaves in titles.
QString decodeTitle(const QString &title);

// The status text of a video by its exact status code.
QString statusText(const QString &status);

// "Y-M-D hh:mm:ss" of the first ten characters of ptime read as seconds
// since 1970 UTC, in the given zone (year, month and day without leading zeros).
QString modificationText(const QString &ptime, const QTimeZone &zone);
// The same in the local time zone of the machine.
QString modificationText(const QString &ptime);

// Pages needed for the total of a list answer's "message" (a decimal text;
// 0 when it is not a number): total / 20 rounded up, at least 1, at most
// kMaxPageCount.
int pageCount(const QString &totalText);

// Width of the page list item showing page number i.
int pageItemWidth(int i);

// Fixed width of the page list for the given page count.
int pageListWidth(int pageCount);

// "共%1页，跳到：".
QString pageCountText(int pageCount);

// "(文件数量:<font ...>n</font>/20个)".
QString fileCountText(int count);

} // namespace videoformat
