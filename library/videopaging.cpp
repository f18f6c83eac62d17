#include "library/videopaging.h"

#include "library/videoformat.h"

#include <QLabel>
#include <QListWidget>

void fillVideoPageList(QListWidget *list, QLabel *countLabel, int pageCount)
{
    if (list->count() > 0)
        return;
    for (int i = 1; i <= pageCount; ++i) {
        auto *item = new QListWidgetItem(QStringLiteral("%1").arg(i));
        item->setTextAlignment(Qt::AlignCenter);
        item->setSizeHint(QSize(videoformat::pageItemWidth(i), 30));
        list->addItem(item);
    }
    list->setCurrentRow(0);
    list->setFixedWidth(videoformat::pageListWidth(pageCount));
    countLabel->setText(videoformat::pageCountText(pageCount));
}

int requestedVideoPage(const QListWidget *list)
{
    const int row = list->currentRow();
    return row > 0 ? row + 1 : 1;
}

void stepVideoPage(QListWidget *list, int step)
{
    const int row = list->currentRow();
    if (step < 0 && row > 0)
        list->setCurrentRow(row - 1);
    else if (step > 0 && row < list->count() - 1)
        list->setCurrentRow(row + 1);
}

int typedVideoPageRow(const QString &text, const QListWidget *list)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1 || n > list->count())
        return -1;
    return n - 1;
}
