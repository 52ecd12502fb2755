#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The files that the arguments name, as absolute paths with "/" between folders, in the order
// given: a relative name is taken from currentFolder. Names that are no existing file go into
// notFiles instead.
QStringList filesFromArguments(
    const QStringList &arguments, const QString &currentFolder, QStringList *notFiles);

// The files named on the command line (Qt's own options taken out already); says on standard
// error which names are no file.
QStringList filesNamedOnCommandLine(const QStringList &arguments);

// Converts files as if they were dropped on the window's drop area, at temperature where one is
// given, else each at the temperature stored when its turn in the pass comes.
void convertInWindow(
    QWidget &window, const QStringList &files, std::optional<int> temperature = {});
