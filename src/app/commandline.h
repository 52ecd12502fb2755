#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The files that the arguments name, as absolute paths with "/" between folders, in the order
// given: a relative name is taken from currentFolder. Names that are no existing file go into
// notFiles instead.
QStringList filesFromArguments(
    const QStringList &arguments, const QString &currentFolder, QStringList *notFiles);

// Converts the files named on the command line (Qt's own options taken out already) as if they
// were dropped on the window, which has been shown; says on standard error which names are no
// file.
void convertFilesNamedOn(QWidget &window, const QStringList &arguments);
