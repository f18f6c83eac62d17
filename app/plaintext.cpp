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
    // A tool tip is read as rich text exactly when it looks like it; only
    // then is it escaped, so plain names keep their tool tip as they are.
    if (!Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}
