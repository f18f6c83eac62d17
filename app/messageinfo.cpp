#include "app/messageinfo.h"

#include "ui_messageinfo.h"

#include "app/plaintext.h"

MessageInfo::MessageInfo(QWidget *parent, QString title, QString text, QString okText,
                         QString cancelText)
    : QDialog(parent)
    , m_ui(new Ui::MessageInfo)
    , m_text(std::move(text))
    , m_cancelText(std::move(cancelText))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(title);
    m_ui->customTitle->setTitle(title);
    // Messages may carry a text of the service or a file name.
    setPlainText(m_ui->messageLbl, m_text);
    m_ui->addBtn->setText(okText);

    connect(m_ui->addBtn, &QPushButton::clicked, this, &MessageInfo::okBtnClickedSlot);
    if (m_cancelText.isEmpty()) {
        // A notice has a single button: drop the second one from the row.
        delete m_ui->cancelBtn;
        m_ui->cancelBtn = nullptr;
    } else {
        m_ui->cancelBtn->setText(m_cancelText);
        connect(m_ui->cancelBtn, &QPushButton::clicked, this, &MessageInfo::cancelClickedSlot);
    }
}

MessageInfo::~MessageInfo()
{
    delete m_ui;
}

void MessageInfo::okBtnClickedSlot()
{
    if (!m_cancelText.isEmpty())
        accept();
    else
        close(); // a notice has nothing to confirm: closing rejects it
}

void MessageInfo::cancelClickedSlot()
{
    close();
}
