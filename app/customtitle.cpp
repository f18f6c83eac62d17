#include "app/customtitle.h"

#include "ui_customtitle.h"

#include "app/plaintext.h"

#include <QMouseEvent>

CustomTitle::CustomTitle(QWidget *window)
    : QWidget(window)
    , m_ui(new Ui::CustomTitle)
    , m_window(window)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground); // the style sheet may give the bar a background
    if (m_window)
        connect(m_ui->close, &QPushButton::clicked, m_window, &QWidget::close);
}

CustomTitle::~CustomTitle()
{
    delete m_ui;
}

QLabel *CustomTitle::titleLabel() const
{
    return m_ui->titleLabel;
}

QPushButton *CustomTitle::closeButton() const
{
    return m_ui->close;
}

void CustomTitle::setTitle(const QString &title)
{
    setPlainText(m_ui->titleLabel, title);
}

void CustomTitle::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    if (m_window)
        m_pressPos = m_window->mapFromGlobal(event->globalPos());
    QWidget::mousePressEvent(event);
}

void CustomTitle::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed && m_window && event->buttons() != Qt::NoButton)
        m_window->move(event->globalPos() - m_pressPos);
    QWidget::mouseMoveEvent(event);
}

void CustomTitle::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
}
