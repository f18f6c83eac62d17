#pragma once

#include <QString>

// What the login learned about the account. Filled by the login dialog, which
// owns it for the whole run; the main window and the upload engine read it.
struct AccountRecord
{
    QString email;       // as typed, trimmed
    QString uid;         // effective user id: childUserId when given, else userId
    QString remainSpace; // remaining storage in GiB, two decimals
    QString packageType;
    QString secretKey; // enters every signature, never sent
    int leftDay = 0;
    QString userId;
    QString uploadType; // "0" selects the OSS channel, anything else WCS
    QString cataJson;   // raw text of the category answer fetched after login
    bool isChild = false;
    QString userLevel;
};
