#pragma once

#include <QString>

class QLabel;
class QListWidget;

// Fills an empty page list with the items 1 .. pageCount, makes the first
// current, fixes the list's width and sets the count label. Does nothing
// while the list still has items.
void fillVideoPageList(QListWidget *list, QLabel *countLabel, int pageCount);

// The page number that the next request asks for: the current row plus 1
// when that row is greater than 0, otherwise 1.
int requestedVideoPage(const QListWidget *list);

// Makes the previous (step -1) or next (step +1) page current when there is one.
void stepVideoPage(QListWidget *list, int step);

// The row of a typed page number, or -1 when it is outside 1 .. item count.
int typedVideoPageRow(const QString &text, const QListWidget *list);
