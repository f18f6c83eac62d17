#pragma once

#include <QString>

class QLabel;

// Texts that come from the service or from file names are data: they are
// shown as exactly their characters, never read as markup (a title
// "<img src=x>" shows those eleven characters).

// Switches the label to plain text and shows text on it.
void setPlainText(QLabel *label, const QString &text);

// A tool tip that shows text as its characters (tool tips have no plain-text
// mode of their own: a text that would be read as markup is escaped into a
// paragraph, any other stays as it is).
QString plainToolTip(const QString &text);
