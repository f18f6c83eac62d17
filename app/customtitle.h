#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QPushButton;

namespace Ui {
class CustomTitle;
}

// Title bar of every frameless dialog: shows the title, closes the window and
// lets the user drag the window around by the bar.
class CustomTitle final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(CustomTitle)

public:
    explicit CustomTitle(QWidget *window);
    ~CustomTitle() override;

    QLabel *titleLabel() const;
    QPushButton *closeButton() const;
    void setTitle(const QString &title);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Ui::CustomTitle *m_ui;
    QWidget *m_window;
    bool m_pressed = false;
    QPoint m_pressPos; // press point in the window's coordinates
};
