#include "library/copycodedialog.h"

#include "ui_copycodedialog.h"

#include "app/customtitle.h"

CopyCodeDialog::CopyCodeDialog(QWidget *parent, const QString &codeType, const QString &header,
                               const QString &code)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_ui(new Ui::CopyCodeDialog)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *bar = new CustomTitle(this);
    bar->setTitle(tr("代码已复制至剪贴板(%1)").arg(codeType));
    bar->setMaximumHeight(46);
    m_ui->outerLayout->insertWidget(0, bar);
    m_ui->headerLbl->setText(header);
    m_ui->codeEdit->setPlainText(code);
    connect(m_ui->addBtn, &QPushButton::clicked, this, &CopyCodeDialog::on_copyBtn_clicked);
}

CopyCodeDialog::~CopyCodeDialog()
{
    delete m_ui;
}

void CopyCodeDialog::on_copyBtn_clicked()
{
    close();
}
