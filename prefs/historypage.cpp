#include "prefs/historypage.h"

#include "ui_historypage.h"

#include "app/messageinfo.h"
#include "prefs/historywidget.h"
#include "upload/uploadtask.h"

#include <QDateTime>
#include <QListWidget>
#include <QPointer>

HistoryPage::HistoryPage(QWidget *parent) : QWidget(parent), m_ui(new Ui::HistoryPage)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("historyPageContent"));
    HistoryWidget *header = m_ui->historyTWidget;
    header->fileNameLbl()->setText(tr("标题/vid"));
    header->videoPathLbl()->setText(tr("视频路径"));
    header->cataBtn()->setText(tr("视频分类"));
    header->finishTimeLbl()->setText(tr("时间/大小"));
    header->statusLbl()->setText(tr("状态"));
    header->vidLbl()->hide();
    header->videoSizeLbl()->hide();
    m_ui->historyFrame->hide();
    showCount(0);
}

HistoryPage::~HistoryPage()
{
    delete m_ui;
}

QListWidget *HistoryPage::listWidget() const
{
    return m_ui->historyListWidget;
}

HistoryWidget *HistoryPage::headerRow() const
{
    return m_ui->historyTWidget;
}

int HistoryPage::rowCount() const
{
    return m_ui->historyListWidget->count();
}

HistoryWidget *HistoryPage::row(int index) const
{
    QListWidgetItem *item = m_ui->historyListWidget->item(index);
    return item ? qobject_cast<HistoryWidget *>(m_ui->historyListWidget->itemWidget(item)) : nullptr;
}

QList<HistoryEntry> HistoryPage::entries() const
{
    QList<HistoryEntry> list;
    for (int i = 0; i < rowCount(); ++i) {
        if (const HistoryWidget *w = row(i))
            list.append(w->entry());
    }
    return list;
}

void HistoryPage::showCount(int rows)
{
    m_ui->fileNumLblH->setText(history::counterText(rows));
}

HistoryWidget *HistoryPage::appendRow(const HistoryEntry &entry, int position)
{
    QListWidget *list = m_ui->historyListWidget;
    auto *item = new QListWidgetItem;
    if (position < 0)
        list->addItem(item);
    else
        list->insertItem(position, item);
    auto *w = new HistoryWidget;
    w->setEntry(entry);
    connect(w, &HistoryWidget::openCata, this, &HistoryPage::openCataHistorySlot);
    item->setSizeHint(QSize(w->width(), 60));
    list->setItemWidget(item, w);
    return w;
}

void HistoryPage::addHistoryEntry(const UploadTask &task, bool secondPass)
{
    HistoryEntry entry;
    entry.path = task.path;
    entry.filename = task.fileName;
    entry.fileSize = task.sizeText;
    entry.finishTime = QDateTime::currentDateTime().toString(history::timeFormat());
    entry.status = secondPass ? tr("已秒传") : tr("已完成");
    entry.vid = task.vid;
    entry.cataid = task.cataid;
    entry.cataname = task.cataStr;
    addEntry(entry);
}

void HistoryPage::addEntry(const HistoryEntry &entry)
{
    m_ui->historyFrame->show();
    appendRow(entry, 0);
    QListWidget *list = m_ui->historyListWidget;
    // One row leaves at most, so a larger list loaded from the file keeps its size.
    if (list->count() > history::kMaxRows) {
        const int last = list->count() - 1;
        QListWidgetItem *item = list->item(last);
        delete list->itemWidget(item);
        delete list->takeItem(last);
    }
    showCount(list->count());
}

void HistoryPage::loadHistoryData()
{
    const history::LoadResult loaded = history::loadFile(m_path);
    if (!loaded.ok) {
        m_ui->historyFrame->hide();
        showCount(0);
        return;
    }
    if (loaded.entries.isEmpty())
        m_ui->historyFrame->hide();
    else
        m_ui->historyFrame->show();
    for (const HistoryEntry &entry : loaded.entries)
        appendRow(entry, -1);
    showCount(loaded.entries.size());
}

bool HistoryPage::saveHistoryData()
{
    if (m_path.isEmpty())
        return false;
    return history::saveFile(m_path, entries());
}

void HistoryPage::clearRows()
{
    m_ui->historyListWidget->clear();
    showCount(0);
    m_ui->historyFrame->hide();
}

void HistoryPage::on_clearHistoryBtn_clicked()
{
    if (rowCount() > 0) {
        QPointer<MessageInfo> dialog =
            new MessageInfo(m_dialogParent ? m_dialogParent : window(), tr("提示"),
                            tr("确定要清空历史记录吗？"), tr("确定"), tr("取消"));
        const int answer = dialog->exec();
        delete dialog.data();
        if (answer != QDialog::Accepted)
            return;
    }
    clearRows();
}

void HistoryPage::openCataHistorySlot()
{
    QPointer<HistoryWidget> sender = qobject_cast<HistoryWidget *>(this->sender());
    if (!sender)
        return;
    const QString cataid = sender->cataid();
    if (m_categoryOpener) {
        m_categoryOpener(cataid);
    } else {
        QPointer<MessageInfo> dialog = new MessageInfo(m_dialogParent ? m_dialogParent : window(),
                                                       tr("提示"), tr("该目录不存在"), tr("确定"),
                                                       QString());
        dialog->exec();
        delete dialog.data();
    }
    // The row may have gone while a notice was open (e.g. the list was cleared).
    if (!sender)
        return;
    for (int i = 0; i < rowCount(); ++i) {
        if (row(i) == sender.data()) {
            m_ui->historyListWidget->setCurrentRow(i);
            break;
        }
    }
}
