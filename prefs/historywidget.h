#pragma once

#include "prefs/historyrecord.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// One row of the upload history: file and vid, path, category, finish time
// and size, status. Built with the default constructor it is the header row.
class HistoryWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(HistoryWidget)

public:
    explicit HistoryWidget(QWidget *parent = nullptr);
    ~HistoryWidget() override;

    // Fills the row; elided texts follow the current widths.
    void setEntry(const HistoryEntry &entry);
    // What the row holds, as it is written to the history file.
    HistoryEntry entry() const;

    QString cataid() const { return m_cataid; }
    QString path() const { return m_path; }
    QString cataname() const { return m_cataname; }
    QString filename() const { return m_filename; }

    QLabel *fileNameLbl() const { return m_fileNameLbl; }
    QPushButton *cataBtn() const { return m_cataBtn; }
    QLabel *vidLbl() const { return m_vidLbl; }
    QLabel *videoPathLbl() const { return m_videoPathLbl; }
    QLabel *finishTimeLbl() const { return m_finishTimeLbl; }
    QLabel *videoSizeLbl() const { return m_videoSizeLbl; }
    QLabel *statusLbl() const { return m_statusLbl; }

signals:
    void openCata();

public slots:
    void cataBtnClickedSlot();

protected:
    void enterEvent(QEvent *event) override;

private:
    QLabel *m_fileNameLbl = nullptr;
    QPushButton *m_cataBtn = nullptr;
    QLabel *m_vidLbl = nullptr;
    QLabel *m_videoPathLbl = nullptr;
    QLabel *m_finishTimeLbl = nullptr;
    QLabel *m_videoSizeLbl = nullptr;
    QString m_cataid;
    QString m_path;
    QString m_cataname;
    QString m_filename;
    QLabel *m_statusLbl = nullptr;
};
