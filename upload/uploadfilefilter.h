#pragma once

#include <QString>
#include <QStringList>

// The extension list of the file dialog, exactly as the dialog shows it.
QString uploadExtensionList();

// Keeps the paths whose lower-cased suffix is not empty, occurs in the
// extension list text (a substring test) and that name an existing file
// (folders are not files and are dropped).
QStringList acceptedUploadPaths(const QStringList &paths);
