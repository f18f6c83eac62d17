#include "prefs/historywidget.h"

#include "app/plaintext.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void setFixedWidthOf(QWidget *w, int width)
{
    w->setMinimumWidth(width);
    w->setMaximumWidth(width);
}

} // namespace

HistoryWidget::HistoryWidget(QWidget *parent) : QWidget(parent)
{
    m_fileNameLbl = new QLabel(this);
    m_fileNameLbl->setObjectName(QStringLiteral("fileNameLbl"));
    m_fileNameLbl->setMinimumWidth(300);
    m_fileNameLbl->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_cataBtn = new QPushButton(this);
    m_cataBtn->setObjectName(QStringLiteral("cataBtn"));
    setFixedWidthOf(m_cataBtn, 250);
    m_vidLbl = new QLabel(this);
    m_vidLbl->setObjectName(QStringLiteral("vidLbl"));
    m_videoPathLbl = new QLabel(this);
    m_videoPathLbl->setObjectName(QStringLiteral("videoPathLbl"));
    setFixedWidthOf(m_videoPathLbl, 300);
    m_finishTimeLbl = new QLabel(this);
    m_finishTimeLbl->setObjectName(QStringLiteral("finishTimeLbl"));
    setFixedWidthOf(m_finishTimeLbl, 150);
    m_videoSizeLbl = new QLabel(this);
    m_videoSizeLbl->setObjectName(QStringLiteral("videoSizeLbl"));
    m_statusLbl = new QLabel(this);
    m_statusLbl->setObjectName(QStringLiteral("statusLbl"));
    m_statusLbl->setMinimumWidth(80);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(30);
    auto *nameColumn = new QVBoxLayout;
    nameColumn->setSpacing(6);
    nameColumn->addWidget(m_fileNameLbl);
    nameColumn->addWidget(m_vidLbl);
    layout->addLayout(nameColumn);
    layout->addWidget(m_videoPathLbl);
    layout->addWidget(m_cataBtn);
    auto *timeColumn = new QVBoxLayout;
    timeColumn->setSpacing(6);
    timeColumn->addWidget(m_finishTimeLbl);
    timeColumn->addWidget(m_videoSizeLbl);
    layout->addLayout(timeColumn);
    layout->addWidget(m_statusLbl);

    connect(m_cataBtn, &QPushButton::clicked, this, &HistoryWidget::cataBtnClickedSlot);
}

HistoryWidget::~HistoryWidget() = default;

void HistoryWidget::setEntry(const HistoryEntry &entry)
{
    const QFontMetrics metrics(font());
    m_filename = entry.filename;
    setPlainText(m_fileNameLbl, entry.filename);
    m_fileNameLbl->setToolTip(plainToolTip(entry.filename));
    m_cataname = entry.cataname;
    m_cataBtn->setText(metrics.elidedText(entry.cataname, Qt::ElideRight, m_cataBtn->width()));
    m_cataBtn->setToolTip(plainToolTip(entry.cataname));
    setPlainText(m_vidLbl, entry.vid);
    setPlainText(m_videoSizeLbl, entry.fileSize);
    m_path = entry.path;
    setPlainText(m_videoPathLbl, metrics.elidedText(entry.path, Qt::ElideRight, m_videoPathLbl->width()));
    m_videoPathLbl->setToolTip(plainToolTip(entry.path));
    m_cataid = entry.cataid;
    setPlainText(m_finishTimeLbl, entry.finishTime);
    setPlainText(m_statusLbl, entry.status);
}

HistoryEntry HistoryWidget::entry() const
{
    HistoryEntry e;
    e.path = m_path;
    e.filename = m_filename;
    e.fileSize = m_videoSizeLbl->text();
    e.finishTime = m_finishTimeLbl->text();
    e.status = m_statusLbl->text();
    e.vid = m_vidLbl->text();
    e.cataid = m_cataid;
    e.cataname = m_cataname;
    return e;
}

void HistoryWidget::cataBtnClickedSlot()
{
    emit openCata();
}

void HistoryWidget::enterEvent(QEvent *event)
{
    // Undoes a resize cursor of the frameless main window.
    setCursor(Qt::ArrowCursor);
    QWidget::enterEvent(event);
}
