#include "app/plaintext.h"

#include <QLabel>
#include <QTextDocument>

void setPlainText(QLabel *label, const QString &text)
{
    if (!label)
        return;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}
